#include "netware/VolumeSearch.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

#include "app/job/Controls.h"
#include "app/job/Identity.h"
#include "app/job/Settings.h"
#include "app/job/WizardState.h"
#include "disk/DiskCatalogue.h"
#include "disk/SectorReader.h"
#include "netware/Records.h"

namespace nw {

namespace {

constexpr std::uint32_t kScanWindow = 2048;  // sectors per scan read (1 MiB), a multiple of the group

using Sector = std::array<std::uint8_t, kSectorSize>;

void ReadDisk(std::uint64_t start, std::uint32_t count, void* buffer) {
    auto& w = job::Wizard();
    disk::ReadSectors(disk::MakeRequest(w.selectedDiskNumber.load(), w.selectedDiskLabel, start, count, buffer));
}

void ReadOne(std::uint64_t sector, Sector& out) { ReadDisk(sector, 1, out.data()); }

bool StopRequested() { return job::Wizard().searchStopRequested.load() != 0; }

std::string VolumeCountText(std::uint32_t n) { return "Volumes Found : " + std::to_string(n); }

// A fresh volume tree: its root is the selected disk.
job::TreeItem FreshVolumeTree() {
    auto& w = job::Wizard();
    if (!w.volumeTree) return nullptr;
    w.volumeTree->Clear();
    return w.volumeTree->InsertItem(nullptr, "Disk " + std::to_string(w.selectedDiskNumber.load()), 2,
                                    job::kUnchecked);
}

job::TreeItem VolumeTreeRoot() {
    auto& w = job::Wizard();
    if (!w.volumeTree) return nullptr;
    if (job::TreeItem root = w.volumeTree->Root()) return root;
    return FreshVolumeTree();
}

void ExpandVolumeTreeRoot() {
    auto& w = job::Wizard();
    if (w.volumeTree)
        if (job::TreeItem root = w.volumeTree->Root()) w.volumeTree->Expand(root);
}

void ReportTableFull() {
    job::ReportStatus("Volume table full: only the first " + std::to_string(kVolumeListCapacity) +
                      " volumes are listed, further volumes are not stored");
}

// ---- quick search ------------------------------------------------------------

void ReadPartitionVolumes(std::uint64_t partitionFirst) {
    Sector sector{};
    HotFixSector hotFix{};
    bool found = false;
    for (unsigned i = 0; i < kHotFixProbeCount && !found; ++i) {
        ReadOne(HotFixProbeSector(partitionFirst, i), sector);
        found = DecodeHotFixSector(sector.data(), hotFix);
    }
    if (!found) return;

    const std::uint64_t v = VolumeAreaSector(partitionFirst, hotFix);
    VolumeTableSector table{};
    bool valid = false;
    for (unsigned j = 0; j < kVolumeTableCopies && !valid; ++j) {
        ReadOne(v + static_cast<std::uint64_t>(kVolumeTableSpacing) * j, sector);
        valid = DecodeVolumeTableSector(sector.data(), table);
    }
    if (valid) {
        const std::uint64_t base = v + kVolumeSegmentsOffset;
        std::uint64_t running = 0;
        for (unsigned k = 0; k < table.count; ++k) {
            const VolumeTableEntry& e = table.entries[k];
            // An entry without a block count gives no block size: it cannot be
            // read, but later segments still lie behind it.
            if (e.SectorsPerBlock() != 0) {
                VolumeDescriptor d;
                d.name = e.name;
                d.fat1FirstBlock = e.fat1FirstBlock;
                d.fat2FirstBlock = e.fat2FirstBlock;
                d.det1FirstBlock = e.det1FirstBlock;
                d.det2FirstBlock = e.det2FirstBlock;
                d.sizeInSectors = e.segmentSectors;
                d.startSector = base + running;
                d.blockCount = e.segmentBlocks;
                d.sectorsPerBlock = e.SectorsPerBlock();
                if (!AddFoundVolume(d)) {
                    ReportTableFull();
                    break;
                }
            }
            running += e.segmentSectors;
        }
    }
    ExpandVolumeTreeRoot();
}

// ---- advanced search -----------------------------------------------------------

bool BeginsWithDetSignature(const std::uint8_t* s) {
    return std::memcmp(s, kDetSignature.data(), kDetSignature.size()) == 0;
}

// Compares two sectors as zero-terminated byte strings.
bool SameString(const Sector& a, const Sector& b) {
    for (std::size_t i = 0; i < kSectorSize; ++i) {
        if (a[i] != b[i]) return false;
        if (a[i] == 0) return true;
    }
    return true;
}

// Reads FAT entries of a candidate volume, keeping the last sector read.
class FatReader {
public:
    FatReader(std::uint64_t start, std::uint32_t h) : start_(start), h_(h) {}
    FatEntry Entry(std::uint32_t fatBlock, std::uint32_t sectorInBlock, std::uint32_t index) {
        const std::uint64_t at = BlockSector(start_, fatBlock, h_, sectorInBlock);
        if (!valid_ || at != cached_) {
            ReadOne(at, sector_);
            cached_ = at;
            valid_ = true;
        }
        return DecodeFatEntry(sector_.data(), index);
    }

private:
    std::uint64_t start_;
    std::uint32_t h_;
    Sector sector_{};
    std::uint64_t cached_ = 0;
    bool valid_ = false;
};

// The FAT's own chain from block 0 with block size h. `firstNext` is the next
// value of block 0's entry, already read.
bool ProveFatChain(std::uint64_t p, std::uint32_t h, std::uint32_t firstNext, std::vector<std::uint32_t>& fat) {
    fat.assign(1, 0);
    if (firstNext == kChainEnd) return true;  // a FAT of one block
    std::vector<std::uint32_t> chain{0, firstNext};
    FatReader reader(p, h);
    for (;;) {
        const std::uint32_t b = chain.back();
        const std::uint32_t s = b / kFatEntriesPerSector;
        const std::uint32_t q = s / h;
        if (q > chain.size() - 1) return false;  // that FAT block is not proven yet
        const FatEntry e = reader.Entry(chain[q], s - q * h, b % kFatEntriesPerSector);
        if (e.sequence != chain.size() - 1 || e.next == 0) return false;
        if (chain.size() >= kChainTableSize) return false;  // longer than the proof table
        chain.push_back(e.next);
        if (e.next == kChainEnd) break;
    }
    chain.pop_back();  // the end marker
    fat = std::move(chain);
    return true;
}

// A DET chain from `first` through the proven FAT: sequences 0, 1, 2 ... to an
// end marker, with no free entry on the way.
bool ProveDetChain(std::uint64_t p, std::uint32_t h, const std::vector<std::uint32_t>& fat, std::uint32_t first,
                   std::vector<std::uint32_t>& chain) {
    chain.clear();
    // Blocks the proven FAT describes: anything beyond has no entry.
    const std::uint64_t described = static_cast<std::uint64_t>(fat.size()) * h * kFatEntriesPerSector;
    FatReader reader(p, h);
    std::uint32_t b = first;
    for (;;) {
        if (b >= described || chain.size() >= described) return false;
        const std::uint32_t s = b / kFatEntriesPerSector;
        const std::uint32_t q = s / h;
        const FatEntry e = reader.Entry(fat[q], s - q * h, b % kFatEntriesPerSector);
        if (e.sequence != chain.size() || e.next == 0) return false;
        chain.push_back(b);
        if (IsDetChainEnd(e.next)) return true;
        b = e.next;
    }
}

bool SameBlocks(std::uint64_t p, std::uint32_t h, const std::vector<std::uint32_t>& c1,
                const std::vector<std::uint32_t>& c2) {
    std::vector<std::uint8_t> a(static_cast<std::size_t>(h) * kSectorSize), b(a.size());
    for (std::size_t i = 0; i < c1.size(); ++i) {
        if (c1[i] == c2[i]) continue;
        ReadDisk(BlockSector(p, c1[i], h), h, a.data());
        ReadDisk(BlockSector(p, c2[i], h), h, b.data());
        if (a != b) return false;
    }
    return true;
}

}  // namespace

std::string UnableToOpenDiskText(const std::string& reason) { return "Unable to open disk: " + reason; }

bool AddFoundVolume(VolumeDescriptor d) {
    auto& w = job::Wizard();
    const std::uint32_t n = w.volumeCount.load();
    if (n >= kVolumeListCapacity) return false;
    if (job::TreeItem root = VolumeTreeRoot()) d.treeNode = w.volumeTree->InsertItem(root, d.name, 1, job::kUnchecked);
    w.VolumeList[n] = d;
    w.volumeCount = n + 1;
    return true;
}

bool QuickVolumeSearch() {
    auto& w = job::Wizard();
    w.volumeCount = 0;
    const std::string reason = disk::OpenFailureReason(w.selectedDiskNumber.load(), w.selectedDiskLabel);
    if (!reason.empty()) {
        job::ShowMessage(UnableToOpenDiskText(reason), job::MessageIcon::Error);
        return false;
    }
    FreshVolumeTree();
    Sector sector{};
    ReadOne(0, sector);
    std::array<PartitionEntry, 4> entries{};
    if (!DecodePartitionTable(sector.data(), entries)) return true;
    for (const PartitionEntry& e : entries)
        if (IsNetWarePartition(e)) ReadPartitionVolumes(e.firstSector);
    return true;
}

std::int64_t GeometryStoreSectors() {
    auto& w = job::Wizard();
    const std::string text =
        job::RegistryTextRead(job::kClassesRoot, "TRV WINDOWS\\Size", disk::StoreKey(w.selectedDiskNumber.load()));
    std::int64_t bytes = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), bytes);
    if (r.ec != std::errc()) return 0;
    return bytes / 512;
}

std::optional<std::uint64_t> FindDetMirror(std::uint64_t d1) {
    Sector a{}, b{};
    ReadOne(d1, a);
    unsigned counter = 0;
    const std::uint64_t end = d1 + kMirrorWindow;
    for (std::uint64_t j = d1 + 1; j < end; ++j) {
        if (StopRequested()) return std::nullopt;
        if ((j - d1) % kScanGroup != 0) {
            if (++counter >= kMirrorReportEvery) {
                job::ReportStatus("Validating a possible volume " + std::to_string(j) + " / " +
                                  std::to_string(static_cast<std::uint32_t>(end)));
                counter = 0;
            }
            continue;
        }
        ReadOne(j, b);
        if (SameString(a, b)) return j;
    }
    return std::nullopt;
}

std::optional<StartProof> ProveVolumeStart(std::uint64_t p, std::uint64_t d1, std::uint64_t d2) {
    if (d1 < p || d2 < p) return std::nullopt;
    Sector first{};
    ReadOne(p, first);
    const FatEntry e0 = DecodeFatEntry(first.data(), 0);
    if (e0.sequence != 0) return std::nullopt;
    if (e0.next != kChainEnd && (e0.next < 1 || e0.next > kMaxFirstFatNext)) return std::nullopt;

    for (std::uint32_t h : kBlockSizes) {
        if ((d1 - p) % h != 0 || (d2 - p) % h != 0) continue;
        const std::uint64_t b1 = (d1 - p) / h, b2 = (d2 - p) / h;
        if (b1 > 0xFFFFFFFFull || b2 > 0xFFFFFFFFull) continue;
        StartProof proof;
        if (!ProveFatChain(p, h, e0.next, proof.fatBlocks)) continue;
        std::vector<std::uint32_t> c1, c2;
        if (!ProveDetChain(p, h, proof.fatBlocks, static_cast<std::uint32_t>(b1), c1)) continue;
        if (!ProveDetChain(p, h, proof.fatBlocks, static_cast<std::uint32_t>(b2), c2)) continue;
        if (c1.size() != c2.size() || !SameBlocks(p, h, c1, c2)) continue;
        proof.sectorsPerBlock = h;
        proof.det1Block = static_cast<std::uint32_t>(b1);
        proof.det2Block = static_cast<std::uint32_t>(b2);
        return proof;
    }
    return std::nullopt;
}

StartResult FindVolumeStart(std::uint64_t d1, std::uint64_t d2) {
    auto& w = job::Wizard();
    std::uint64_t p = d2 > kMirrorWindow ? d2 - kMirrorWindow : 0;
    unsigned counter = 0;
    for (; p < d1; ++p) {
        if (StopRequested()) return StartResult::None;
        if (++counter >= kStartReportEvery) {
            job::ReportStatus("Searching FAT " + std::to_string(p));
            counter = 0;
        }
        if ((d1 - p) % kScanGroup != 0 || (d2 - p) % kScanGroup != 0) continue;
        const std::optional<StartProof> proof = ProveVolumeStart(p, d1, d2);
        if (!proof) continue;
        VolumeDescriptor d;
        d.name = "Volume " + std::to_string(w.volumeCount.load());
        d.det1FirstBlock = proof->det1Block;
        d.det2FirstBlock = proof->det2Block;
        d.startSector = p;
        d.sectorsPerBlock = proof->sectorsPerBlock;
        if (!AddFoundVolume(d)) {
            ReportTableFull();
            return StartResult::TableFull;
        }
        ExpandVolumeTreeRoot();
        job::ReportVolumeCount(VolumeCountText(w.volumeCount.load()));
        return StartResult::Added;
    }
    return StartResult::None;
}

void AdvancedVolumeSearch() {
    auto& w = job::Wizard();
    w.volumeCount = 0;
    unsigned counter = 0;
    const std::int64_t total = GeometryStoreSectors();
    job::ReportVolumeCount(VolumeCountText(0));

    const std::string reason = disk::OpenFailureReason(w.selectedDiskNumber.load(), w.selectedDiskLabel);
    if (!reason.empty()) {
        w.searchStopRequested = 0;
        job::ShowMessage(UnableToOpenDiskText(reason), job::MessageIcon::Error);
        if (w.controls) w.controls->ShowStep(1);
        return;
    }

    if (!StopRequested() && total > 0) {
        const auto t = static_cast<std::uint64_t>(total);
        // The groups are examined eight sectors at a time, taken from a 1 MiB
        // read-ahead window. A window that cannot be read whole is not used:
        // its groups are then read one by one, so the bad-sector policy runs
        // for the 8-sector group it concerns and a skipped sector costs only
        // its own group.
        std::vector<std::uint8_t> window(static_cast<std::size_t>(kScanWindow) * kSectorSize);
        disk::SectorReadRequest request = disk::MakeRequest(w.selectedDiskNumber.load(), w.selectedDiskLabel, 0,
                                                            kScanWindow, window.data());
        std::vector<std::uint8_t> single(static_cast<std::size_t>(kScanGroup) * kSectorSize);
        disk::SectorReadRequest groupRequest = disk::MakeRequest(w.selectedDiskNumber.load(), w.selectedDiskLabel, 0,
                                                                 kScanGroup, single.data());
        std::uint64_t windowStart = 0;
        bool windowValid = false;
        bool windowReadable = false;
        bool full = false;
        std::uint64_t s = 0;
        while (s < t && !full) {
            if (StopRequested()) break;
            if (!windowValid || s < windowStart || s + kScanGroup > windowStart + kScanWindow) {
                request.startSector = windowStart = s;
                windowReadable = disk::TryReadSectors(request);
                windowValid = true;
            }
            const std::uint8_t* group = window.data() + (s - windowStart) * kSectorSize;
            if (!windowReadable) {
                groupRequest.startSector = s;
                disk::ReadSectors(groupRequest);
                group = single.data();
            }
            for (std::uint32_t k = 0; k < kScanGroup; ++k) {
                if (StopRequested()) break;
                if (!BeginsWithDetSignature(group + static_cast<std::size_t>(k) * kSectorSize)) continue;
                const std::uint64_t d1 = s + k;
                const std::optional<std::uint64_t> d2 = FindDetMirror(d1);
                if (!d2) continue;
                full = FindVolumeStart(d1, *d2) == StartResult::TableFull;
                // The rest of this group lies before the mirror: scanning
                // goes on behind the mirror.
                s = *d2 + 1;
                break;
            }
            counter += kScanGroup;
            if (counter >= kScanReportEvery) {
                job::ReportStatus("Searching Volumes " + std::to_string(s) + " / " +
                                  std::to_string(static_cast<std::uint32_t>(t)) + " ( " + "  Phase 2/2  )");
                job::ReportProgress(static_cast<int>(std::min<std::uint64_t>(100, s * 100 / t)));
                counter = 0;
            }
            s += kScanGroup;
        }
    }

    w.searchStopRequested = 0;
    if (w.volumeCount.load() == 0) {
        job::ShowMessage("No volume found, use raw mode", job::MessageIcon::Error);
        if (w.controls) w.controls->ShowStep(1);
    } else {
        if (w.controls) w.controls->ShowStep(3);
        w.currentStep += 1;
    }
}

}  // namespace nw
