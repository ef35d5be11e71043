#include "netware/Mount.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <unordered_set>

#include "app/job/Controls.h"
#include "app/job/Tree.h"
#include "app/job/WizardState.h"
#include "disk/SectorReader.h"
#include "netware/TreeModel.h"
#include "records/ActivityLog.h"

namespace nw {

namespace {

std::atomic<FatChoicePrompt*> gFatPrompt{nullptr};

constexpr std::uint32_t kLargestBlockValue = 0x80000000u;  // values from here on are not blocks
constexpr int kRootTreeImage = 2;

job::WizardState& W() { return job::Wizard(); }

void ReadVolumeSector(std::uint64_t sector, std::uint8_t* buffer) {
    job::WizardState& w = W();
    disk::SectorReadRequest r = disk::MakeRequest(w.selectedDiskNumber, w.selectedDiskLabel, sector, 1, buffer);
    disk::ReadSectors(r);
}

std::uint64_t VolumeSector(std::uint32_t block, std::uint32_t sectorIndex) {
    const VolumeDescriptor& v = W().currentVolume;
    return v.startSector + static_cast<std::uint64_t>(block) * v.sectorsPerBlock + sectorIndex;
}

// Percentage of a / b, 64-bit, capped at 100; 100 when b is 0.
int Percent(std::uint64_t a, std::uint64_t b) {
    if (b == 0) return 100;
    return static_cast<int>(std::min<std::uint64_t>(a * 100 / b, 100));
}

}  // namespace

MountTables& Mounted() {
    static MountTables tables;
    return tables;
}

void SetFatChoicePrompt(FatChoicePrompt* prompt) { gFatPrompt = prompt; }

std::uint32_t VolumeBlockLimit() {
    const job::WizardState& w = W();
    const VolumeDescriptor& v = w.currentVolume;
    if (v.sectorsPerBlock == 0) return 0;
    std::uint64_t blocks = v.blockCount;
    if (blocks == 0) blocks = v.sizeInSectors / v.sectorsPerBlock;
    if (blocks == 0) {
        // A volume found by scanning knows no size: take what the device
        // holds from the volume start on.
        const std::string device = disk::DeviceNameFor(w.selectedDiskNumber, w.selectedDiskLabel);
        const std::uint64_t sectors = disk::DeviceSizeBytes(device) / disk::kSectorSize;
        if (sectors > v.startSector) blocks = (sectors - v.startSector) / v.sectorsPerBlock;
    }
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(blocks, kLargestBlockValue));
}

bool LocateFatEntryInList(const BlockList& fatBlocks, std::uint32_t block, std::uint32_t sectorsPerBlock,
                          std::uint64_t* volumeSector, unsigned* slot) {
    if (sectorsPerBlock == 0) return false;
    const FatPosition pos = LocateFatEntry(block, sectorsPerBlock);
    if (pos.fatBlock >= fatBlocks.size()) return false;
    const std::uint32_t fatBlock = fatBlocks[pos.fatBlock].block;
    if (fatBlock >= kLargestBlockValue) return false;  // the end marker closing the list
    *volumeSector = static_cast<std::uint64_t>(fatBlock) * sectorsPerBlock + pos.sectorInBlock;
    *slot = pos.entryIndex;
    return true;
}

namespace {

bool ReadFatEntryThrough(const BlockList& fatBlocks, std::uint32_t block, FatEntry* entry) {
    const VolumeDescriptor& v = W().currentVolume;
    std::uint64_t offset = 0;
    unsigned slot = 0;
    if (!LocateFatEntryInList(fatBlocks, block, v.sectorsPerBlock, &offset, &slot)) return false;
    std::uint8_t sector[disk::kSectorSize];
    ReadVolumeSector(v.startSector + offset, sector);
    *entry = DecodeFatEntry(sector, slot);
    return true;
}

}  // namespace

bool ReadFatEntry(std::uint32_t block, FatEntry* entry) {
    return ReadFatEntryThrough(Mounted().FatBlockList, block, entry);
}

std::uint32_t LoadFatChain(std::uint32_t firstBlock) {
    BlockList& list = Mounted().FatBlockList;
    list.clear();
    list.push_back({0, firstBlock});
    std::uint32_t count = 1;
    const std::uint32_t limit = VolumeBlockLimit();
    if (firstBlock >= limit) return count;
    std::unordered_set<std::uint32_t> seen{firstBlock};
    std::uint32_t expected = 0;
    std::uint32_t b = firstBlock;
    while (list.size() <= limit) {
        FatEntry e;
        if (!ReadFatEntryThrough(list, b, &e)) break;  // its FAT block is not known (yet)
        if (e.sequence != expected) break;
        if (e.next != kChainEnd && (e.next >= limit || !seen.insert(e.next).second)) break;
        list.push_back({expected, e.next});
        ++count;
        ++expected;
        if (e.next == kChainEnd) break;
        b = e.next;
    }
    return count;
}

std::uint32_t LoadDetChain(std::uint32_t firstBlock, BlockList& target) {
    target.clear();
    target.push_back({0, firstBlock});
    std::uint32_t links = 0;
    const std::uint32_t limit = VolumeBlockLimit();
    if (IsDetChainEnd(firstBlock) || firstBlock >= limit) return links;
    std::unordered_set<std::uint32_t> seen{firstBlock};
    std::uint32_t expected = 0;
    std::uint32_t b = firstBlock;
    while (target.size() <= limit) {
        FatEntry e;
        if (!ReadFatEntry(b, &e)) break;
        if (e.sequence != expected) break;
        if (!IsDetChainEnd(e.next) && (e.next >= limit || !seen.insert(e.next).second)) break;
        target.push_back({expected, e.next});
        ++expected;
        ++links;
        if (IsDetChainEnd(e.next)) break;
        b = e.next;
    }
    return links;
}

namespace {

struct WalkCounters {
    std::uint32_t folders = 0;
    std::uint32_t files = 0;
    std::uint64_t sectorsProcessed = 0;
};

void TakeSector(const std::uint8_t* sector, std::uint64_t v, std::uint64_t u, WalkCounters& c) {
    MountTables& t = Mounted();
    for (unsigned j = 0; j < kDetEntriesPerSector; ++j) {
        const std::uint8_t* e = sector + kDetEntrySize * j;
        const std::uint32_t marker = LoadLe32(e + det::kParent);
        if (marker == kSuballocMarker) {
            const SuballocationRecord rec = DecodeSuballocationRecord(e);
            if (rec.Used())
                std::copy(rec.firstBlocks.begin(), rec.firstBlocks.end(),
                          t.SuballocationTable.begin() + kSuballocChainsPerRecord * rec.group);
        }
        if (marker >= kSuballocMarker) continue;
        const std::uint8_t nameLength = e[det::kNameLength];
        if (e[det::kNameSpace] != kNameSpaceDos || nameLength == 0 || nameLength > kMaxPrimaryNameLength) continue;

        EntryRecord r;
        const std::uint32_t attributes = LoadLe32(e + det::kAttributes);
        r.attributes = static_cast<std::uint8_t>(attributes);
        r.attributesHigh = e[det::kAttributesTop];
        r.name = LongNameFor(sector, j);
        if (r.name.empty()) r.name.assign(reinterpret_cast<const char*>(e + det::kName), nameLength);
        r.parentNumber = marker;
        r.ownNumber = LoadLe32(e + det::kFolderNumber);
        r.size = LoadLe32(e + det::kFileSize);
        r.firstBlock = LoadLe32(e + det::kFirstBlock);
        r.timestamp = LoadLe32(e + det::kDateTime);
        r.deletedMarker = LoadLe32(e + det::kDeleted);
        r.det1Sector = v;
        r.det2Sector = u;
        r.slot = static_cast<std::uint16_t>(j);
        if (attributes & kAttrFolder) {
            r.ordinal = ++c.folders;
            AppendEntry(true, std::move(r));
        } else {
            r.ordinal = ++c.files;
            AppendEntry(false, std::move(r));
        }
    }
}

void WalkDirectory(WalkCounters& c) {
    MountTables& t = Mounted();
    const VolumeDescriptor& vol = W().currentVolume;
    const std::uint32_t S = vol.sectorsPerBlock;
    const std::uint32_t limit = VolumeBlockLimit();
    const std::uint64_t total = static_cast<std::uint64_t>(t.detBlockCount) * S;
    int shown = -1;
    std::uint8_t sector[disk::kSectorSize];
    for (std::size_t i = 0; i < t.Det1BlockList.size(); ++i) {
        const std::uint32_t block = t.Det1BlockList[i].block;
        if (IsDetChainEnd(block) || block >= limit) continue;
        job::ReportStatus("Mounting Volume " + std::to_string(i) + " / " + std::to_string(t.detBlockCount) + "....");
        bool hasCopy2 = i < t.Det2BlockList.size() && !IsDetChainEnd(t.Det2BlockList[i].block) &&
                        t.Det2BlockList[i].block < limit;
        std::uint64_t v = VolumeSector(block, 0);
        std::uint64_t u = hasCopy2 ? VolumeSector(t.Det2BlockList[i].block, 0) : 0;
        for (std::uint32_t s = 0; s < S; ++s) {
            ReadVolumeSector(v, sector);
            TakeSector(sector, v, u, c);
            ++c.sectorsProcessed;
            const int pct = Percent(c.sectorsProcessed, total);
            if (pct != shown) {
                job::ReportProgress(pct);
                shown = pct;
            }
            ++v;
            if (hasCopy2) ++u;
        }
    }
}

void MountBody() {
    job::WizardState& w = W();
    MountTables& t = Mounted();
    const VolumeDescriptor& vol = w.currentVolume;

    ClearEntryLists();
    t.FatBlockList.clear();
    t.Det1BlockList.clear();
    t.Det2BlockList.clear();
    t.detBlockCount = 0;
    t.folderCount = 0;
    t.fileCount = 0;
    w.mountedMark = 1;

    job::ReportStatus("Loading FAT 1....");
    const std::uint32_t a = LoadFatChain(vol.fat1FirstBlock);
    t.FatBlockList.clear();
    job::ReportStatus("Loading FAT 2....");
    const std::uint32_t b = LoadFatChain(vol.fat2FirstBlock);
    t.FatBlockList.clear();
    job::ReportStatus("Loading FAT ....");
    if (a == b) {
        LoadFatChain(vol.fat1FirstBlock);
    } else {
        FatChoicePrompt* prompt = gFatPrompt.load();
        int answer = prompt ? prompt->Choose(a, b) : 1;
        t.fatChoice = answer == 2 ? 2 : 1;  // Cancel keeps FAT1
        LoadFatChain(t.fatChoice == 2 ? vol.fat2FirstBlock : vol.fat1FirstBlock);
    }

    job::ReportStatus("Loading DET ....");
    t.detBlockCount = LoadDetChain(vol.det1FirstBlock, t.Det1BlockList);
    LoadDetChain(vol.det2FirstBlock, t.Det2BlockList);

    job::ReportProgress(0);
    WalkCounters c;
    WalkDirectory(c);

    AppendLostFolder(++c.folders);
    t.folderCount = c.folders;
    t.fileCount = c.files;

    job::ReportStatus("Searching Lost Folders");
    job::ReportProgress(0);
    if (w.controls) w.controls->EnableStopButton(true);
    w.lostFolderScanActive = 1;
    int shown = 0;
    ResolveLostFolders(
        c.folders,
        [&](int pct) {
            if (pct != shown) job::ReportProgress(pct);
            shown = pct;
        },
        [&] { return w.lostFolderScanActive.load() == 0; });
    w.lostFolderScanActive = 0;
    if (w.controls) w.controls->EnableStopButton(false);

    if (w.controls) w.controls->ShowStep(5);
    t.treeFolderCount = 0;
    job::TreeItem root = nullptr;
    if (job::TreeView* tree = w.directoryTree) {
        root = tree->Root();
        if (!root) {
            const std::string label = w.selectedVolumeName.empty() ? vol.name : w.selectedVolumeName;
            root = tree->InsertItem(nullptr, label, kRootTreeImage, job::kUnchecked);
        }
        t.treeFolderCount = PopulateFolderTree(root, kRootFolderNumber);
    }
    if (w.controls) w.controls->ShowStep(6);
    w.currentStep += 1;

    job::ReportStatus(vol.name + ":\\");
    w.currentFolderItem = root;
    ListFolder(kRootFolderNumber);
    w.treeHasFocus = 0;

    records::AppendActivityLog("\r\nNo of Folders Found : " + std::to_string(c.folders) +
                               "\r\nNo of Files Found : " + std::to_string(c.files));
}

}  // namespace

void Mount() {
    try {
        MountBody();
    } catch (const std::bad_alloc&) {
        job::ShowMessage("Out Of Memory", job::MessageIcon::Error);
        std::exit(1);
    }
}

void MountCurrentVolume() {
    job::WizardState& w = W();
    if (w.selectedVolumeName.empty()) w.selectedVolumeName = w.currentVolume.name;
    if (job::TreeView* tree = w.directoryTree) {
        tree->Clear();
        w.currentFolderItem = nullptr;
        tree->InsertItem(nullptr, w.selectedVolumeName, kRootTreeImage, job::kUnchecked);
    }
    Mount();
}

}  // namespace nw
