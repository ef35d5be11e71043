#include "netware/Mount.h"

#include <algorithm>
#include <new>

#include "disk/SectorReader.h"

namespace nw {

namespace {

constexpr const char* kOutOfMemoryText = "Out Of Memory";

struct WalkCounters {
    std::uint32_t folders = 0;
    std::uint32_t files = 0;
    std::uint64_t sectorsProcessed = 0;
};

// The four entries of one directory sector: suballocation records into the
// table, folders and files appended to their lists.
void TakeSector(MountedVolume& volume, const std::uint8_t* sector, std::uint64_t v, std::uint64_t u,
                WalkCounters& c) {
    for (unsigned j = 0; j < kDetEntriesPerSector; ++j) {
        const std::uint8_t* e = sector + kDetEntrySize * j;
        const std::uint32_t marker = LoadLe32(e + det::kParent);
        if (marker == kSuballocMarker) {
            const SuballocationRecord rec = DecodeSuballocationRecord(e);
            if (rec.Used())
                std::copy(rec.firstBlocks.begin(), rec.firstBlocks.end(),
                          volume.SuballocationTable.begin() + kSuballocChainsPerRecord * rec.group);
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
            volume.FolderList.Append(std::move(r));
        } else {
            r.ordinal = ++c.files;
            volume.FileList.Append(std::move(r));
        }
    }
}

// Reads every sector of the DET copy 1 blocks, one sector a request, with the
// copy 2 sector of the same entry beside it.
void WalkDirectory(MountedVolume& volume, const disk::SectorReader& reader, MountReport& report, WalkCounters& c) {
    const VolumeSectors sectors(reader, volume.currentVolume);
    const std::uint32_t S = volume.currentVolume.sectorsPerBlock;
    const std::uint32_t limit = VolumeBlockLimit(volume, reader);
    const std::uint64_t total = static_cast<std::uint64_t>(volume.detBlockCount) * S;
    int shown = -1;
    std::uint8_t sector[kSectorSize];
    for (std::size_t i = 0; i < volume.Det1BlockList.size(); ++i) {
        const std::uint32_t block = volume.Det1BlockList[i].block;
        if (IsDetChainEnd(block) || block >= limit) continue;
        report.Status("Mounting Volume " + std::to_string(i) + " / " + std::to_string(volume.detBlockCount) +
                      "....");
        const bool hasCopy2 = i < volume.Det2BlockList.size() && !IsDetChainEnd(volume.Det2BlockList[i].block) &&
                              volume.Det2BlockList[i].block < limit;
        std::uint64_t v = sectors.SectorOf(block);
        std::uint64_t u = hasCopy2 ? sectors.SectorOf(volume.Det2BlockList[i].block) : 0;
        for (std::uint32_t s = 0; s < S; ++s) {
            sectors.Read(v, 1, sector);
            TakeSector(volume, sector, v, u, c);
            ++c.sectorsProcessed;
            const int pct = base::PercentOf(c.sectorsProcessed, total);
            if (pct != shown) {
                report.Percent(pct);
                shown = pct;
            }
            ++v;
            if (hasCopy2) ++u;
        }
    }
}

void MountBody(MountedVolume& volume, const disk::SectorReader& reader, MountReport& report,
               const base::CancelFlag* stopLostScan, const std::string& rootText, MountResult& result) {
    const VolumeDescriptor& vol = volume.currentVolume;
    volume.ClearContents();
    volume.mountedMark = 1;

    report.Status("Loading FAT 1....");
    LoadFatChain(volume, reader, vol.fat1FirstBlock);
    const BlockList fat1Alone = std::move(volume.FatBlockList);
    report.Status("Loading FAT 2....");
    const std::uint32_t b = LoadFatChain(volume, reader, vol.fat2FirstBlock, &fat1Alone);
    BlockList fat2 = std::move(volume.FatBlockList);
    const std::uint32_t a = LoadFatChain(volume, reader, vol.fat1FirstBlock, &fat2);
    report.Status("Loading FAT ....");
    // Equal chain lengths, or copies that hold the same entries, need no choice.
    if (a != b && FatCopiesDiffer(volume, reader, volume.FatBlockList, fat2)) {
        volume.fatChoice = report.ChooseFat(a, b) == 2 ? 2 : 1;  // Cancel keeps FAT1
        if (volume.fatChoice == 2) volume.FatBlockList = std::move(fat2);
    }

    report.Status("Loading DET ....");
    volume.detBlockCount = LoadDetChain(volume, reader, vol.det1FirstBlock, volume.Det1BlockList);
    LoadDetChain(volume, reader, vol.det2FirstBlock, volume.Det2BlockList);

    report.Percent(0);
    WalkCounters c;
    WalkDirectory(volume, reader, report, c);

    AppendLostFolder(volume.FolderList, ++c.folders);
    volume.folderCount = c.folders;
    volume.fileCount = c.files;

    report.Status("Searching Lost Folders");
    report.Percent(0);
    report.LostFolderPhase(true);
    int shown = 0;
    result.lostScanStopped = !ResolveLostFolders(
        volume.FolderList, c.folders,
        [&](int pct) {
            if (pct != shown) report.Percent(pct);
            shown = pct;
        },
        [&] { return base::Cancelled(stopLostScan); });
    report.LostFolderPhase(false);

    PopulateFolderTree(volume, rootText);
    report.Status(vol.name + ":\\");

    result.folderCount = c.folders;
    result.fileCount = c.files;
    result.mounted = true;
}

}  // namespace

MountResult Mount(MountedVolume& volume, const disk::SectorReader& reader, MountReport& report,
                  const base::CancelFlag* stopLostScan, const std::string& rootText) {
    MountResult result;
    try {
        MountBody(volume, reader, report, stopLostScan, rootText, result);
    } catch (const std::bad_alloc&) {
        // Nothing half-built is kept: the memory goes back and the caller
        // shows the reason.
        volume.ClearContents();
        result = MountResult{};
        result.failure = kOutOfMemoryText;
    }
    return result;
}

}  // namespace nw
