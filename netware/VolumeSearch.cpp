#include "netware/VolumeSearch.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "disk/SectorReader.h"
#include "netware/Records.h"

namespace nw {

namespace {

constexpr std::uint32_t kScanWindow = 2048;  // sectors per scan read (1 MiB), a multiple of the group

using Sector = std::array<std::uint8_t, kSectorSize>;

void ReadSectors(const SearchTarget& t, std::uint64_t start, std::uint32_t count, void* buffer) {
    t.reader->Read(t.disk, start, count, buffer);
}

void ReadOne(const SearchTarget& t, std::uint64_t sector, Sector& out) { ReadSectors(t, sector, 1, out.data()); }

std::string VolumeCountText(std::uint32_t n) { return "Volumes Found : " + std::to_string(n); }

void ReportTableFull(SearchReport& report) {
    report.Status("Volume table full: only the first " + std::to_string(kVolumeListCapacity) +
                  " volumes are listed, further volumes are not stored");
}

// Why the target disk cannot be read ("" when it can).
std::string OpenFailure(const SearchTarget& t) {
    const auto d = t.reader ? t.reader->Disks().At(t.disk) : nullptr;
    if (!d) return "no device is attached as Disk" + std::to_string(t.disk);
    return d->OpenFailureReason();
}

// Stores a found volume and tells the report; false when the table is full.
bool AddVolume(FoundVolumes& found, const VolumeDescriptor& d, SearchReport& report) {
    if (!found.Add(d)) return false;
    const std::uint32_t n = found.volumeCount.load();
    report.VolumeFound(found.VolumeList[n - 1], n);
    return true;
}

// ---- quick search ------------------------------------------------------------

// Returns false when the table filled up.
bool ReadPartitionVolumes(const SearchTarget& t, std::uint64_t partitionFirst, FoundVolumes& found,
                          SearchReport& report) {
    Sector sector{};
    HotFixSector hotFix{};
    bool hotFixFound = false;
    for (unsigned i = 0; i < kHotFixProbeCount && !hotFixFound; ++i) {
        ReadOne(t, HotFixProbeSector(partitionFirst, i), sector);
        hotFixFound = DecodeHotFixSector(sector.data(), hotFix);
    }
    if (!hotFixFound) return true;

    const std::uint64_t v = VolumeAreaSector(partitionFirst, hotFix);
    VolumeTableSector table{};
    bool valid = false;
    for (unsigned j = 0; j < kVolumeTableCopies && !valid; ++j) {
        ReadOne(t, v + static_cast<std::uint64_t>(kVolumeTableSpacing) * j, sector);
        valid = DecodeVolumeTableSector(sector.data(), table);
    }
    if (!valid) return true;
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
            d.disk = t.disk;
            if (!AddVolume(found, d, report)) {
                ReportTableFull(report);
                return false;
            }
        }
        running += e.segmentSectors;
    }
    return true;
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
class CandidateFat {
public:
    CandidateFat(const SearchTarget& t, std::uint64_t start, std::uint32_t h) : t_(t), start_(start), h_(h) {}
    FatEntry Entry(std::uint32_t fatBlock, std::uint32_t sectorInBlock, std::uint32_t index) {
        const std::uint64_t at = BlockSector(start_, fatBlock, h_, sectorInBlock);
        if (!valid_ || at != cached_) {
            ReadOne(t_, at, sector_);
            cached_ = at;
            valid_ = true;
        }
        return DecodeFatEntry(sector_.data(), index);
    }

private:
    const SearchTarget& t_;
    std::uint64_t start_;
    std::uint32_t h_;
    Sector sector_{};
    std::uint64_t cached_ = 0;
    bool valid_ = false;
};

// The FAT's own chain from block 0 with block size h. `firstNext` is the next
// value of block 0's entry, already read.
bool ProveFatChain(const SearchTarget& t, std::uint64_t p, std::uint32_t h, std::uint32_t firstNext,
                   std::vector<std::uint32_t>& fat) {
    fat.assign(1, 0);
    if (firstNext == kChainEnd) return true;  // a FAT of one block
    std::vector<std::uint32_t> chain{0, firstNext};
    CandidateFat reader(t, p, h);
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
bool ProveDetChain(const SearchTarget& t, std::uint64_t p, std::uint32_t h, const std::vector<std::uint32_t>& fat,
                   std::uint32_t first, std::vector<std::uint32_t>& chain) {
    chain.clear();
    // Blocks the proven FAT describes: anything beyond has no entry.
    const std::uint64_t described = static_cast<std::uint64_t>(fat.size()) * h * kFatEntriesPerSector;
    CandidateFat reader(t, p, h);
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

bool SameBlocks(const SearchTarget& t, std::uint64_t p, std::uint32_t h, const std::vector<std::uint32_t>& c1,
                const std::vector<std::uint32_t>& c2) {
    std::vector<std::uint8_t> a(static_cast<std::size_t>(h) * kSectorSize), b(a.size());
    for (std::size_t i = 0; i < c1.size(); ++i) {
        if (c1[i] == c2[i]) continue;
        ReadSectors(t, BlockSector(p, c1[i], h), h, a.data());
        ReadSectors(t, BlockSector(p, c2[i], h), h, b.data());
        if (a != b) return false;
    }
    return true;
}

// The disk scan of the advanced search: every 8-sector group from sector 0
// to `total`, each DET signature followed up by the mirror and start
// searches. Returns true when the volume table filled up.
bool ScanForVolumes(const SearchTarget& t, std::uint64_t total, FoundVolumes& found, SearchReport& report,
                    const base::CancelFlag& stop) {
    // The groups are examined eight sectors at a time, taken from a 1 MiB
    // read-ahead window. A window that cannot be read whole is not used:
    // its groups are then read one by one, so the bad-sector policy runs
    // for the 8-sector group it concerns and a skipped sector costs only
    // its own group.
    std::vector<std::uint8_t> window(static_cast<std::size_t>(kScanWindow) * kSectorSize);
    std::vector<std::uint8_t> single(static_cast<std::size_t>(kScanGroup) * kSectorSize);
    std::uint64_t windowStart = 0;
    bool windowValid = false;
    bool windowReadable = false;
    bool full = false;
    unsigned counter = 0;
    std::uint64_t s = 0;
    while (s < total && !full) {
        if (base::Cancelled(&stop)) break;
        if (!windowValid || s < windowStart || s + kScanGroup > windowStart + kScanWindow) {
            windowStart = s;
            windowReadable = t.reader->TryRead(t.disk, s, kScanWindow, window.data());
            windowValid = true;
        }
        const std::uint8_t* group = window.data() + (s - windowStart) * kSectorSize;
        if (!windowReadable) {
            ReadSectors(t, s, kScanGroup, single.data());
            group = single.data();
        }
        for (std::uint32_t k = 0; k < kScanGroup; ++k) {
            if (base::Cancelled(&stop)) break;
            if (!BeginsWithDetSignature(group + static_cast<std::size_t>(k) * kSectorSize)) continue;
            const std::uint64_t d1 = s + k;
            const std::optional<std::uint64_t> d2 = FindDetMirror(t, d1, report, &stop);
            if (!d2) continue;
            full = FindVolumeStart(t, d1, *d2, found, report, &stop) == StartResult::TableFull;
            // The rest of this group lies before the mirror: scanning goes
            // on behind the mirror.
            s = *d2 + 1;
            break;
        }
        counter += kScanGroup;
        if (counter >= kScanReportEvery) {
            report.Status("Searching Volumes " + std::to_string(s) + " / " +
                          std::to_string(static_cast<std::uint32_t>(total)) + " ( " + "  Phase 2/2  )");
            report.Percent(base::PercentOf(s, total));
            counter = 0;
        }
        s += kScanGroup;
    }
    return full;
}

}  // namespace

std::string UnableToOpenDiskText(const std::string& reason) { return "Unable to open disk: " + reason; }

SearchResult QuickVolumeSearch(const SearchTarget& target, FoundVolumes& found, SearchReport& report) {
    found.Clear();
    SearchResult result;
    result.openFailure = OpenFailure(target);
    if (!result.openFailure.empty()) {
        result.diskOpened = false;
        return result;
    }
    Sector sector{};
    ReadOne(target, 0, sector);
    std::array<PartitionEntry, 4> entries{};
    if (!DecodePartitionTable(sector.data(), entries)) return result;
    for (const PartitionEntry& e : entries)
        if (IsNetWarePartition(e) && !ReadPartitionVolumes(target, e.firstSector, found, report))
            result.tableFull = true;
    return result;
}

std::optional<std::uint64_t> FindDetMirror(const SearchTarget& target, std::uint64_t d1, SearchReport& report,
                                           const base::CancelFlag* stop) {
    Sector a{}, b{};
    ReadOne(target, d1, a);
    unsigned counter = 0;
    const std::uint64_t end = d1 + kMirrorWindow;
    for (std::uint64_t j = d1 + 1; j < end; ++j) {
        if (base::Cancelled(stop)) return std::nullopt;
        if ((j - d1) % kScanGroup != 0) {
            if (++counter >= kMirrorReportEvery) {
                report.Status("Validating a possible volume " + std::to_string(j) + " / " +
                              std::to_string(static_cast<std::uint32_t>(end)));
                counter = 0;
            }
            continue;
        }
        ReadOne(target, j, b);
        if (SameString(a, b)) return j;
    }
    return std::nullopt;
}

std::optional<StartProof> ProveVolumeStart(const SearchTarget& target, std::uint64_t p, std::uint64_t d1,
                                           std::uint64_t d2) {
    if (d1 < p || d2 < p) return std::nullopt;
    Sector first{};
    ReadOne(target, p, first);
    const FatEntry e0 = DecodeFatEntry(first.data(), 0);
    if (e0.sequence != 0) return std::nullopt;
    if (e0.next != kChainEnd && (e0.next < 1 || e0.next > kMaxFirstFatNext)) return std::nullopt;

    for (std::uint32_t h : kBlockSizes) {
        if ((d1 - p) % h != 0 || (d2 - p) % h != 0) continue;
        const std::uint64_t b1 = (d1 - p) / h, b2 = (d2 - p) / h;
        if (b1 > 0xFFFFFFFFull || b2 > 0xFFFFFFFFull) continue;
        StartProof proof;
        if (!ProveFatChain(target, p, h, e0.next, proof.fatBlocks)) continue;
        std::vector<std::uint32_t> c1, c2;
        if (!ProveDetChain(target, p, h, proof.fatBlocks, static_cast<std::uint32_t>(b1), c1)) continue;
        if (!ProveDetChain(target, p, h, proof.fatBlocks, static_cast<std::uint32_t>(b2), c2)) continue;
        if (c1.size() != c2.size() || !SameBlocks(target, p, h, c1, c2)) continue;
        proof.sectorsPerBlock = h;
        proof.det1Block = static_cast<std::uint32_t>(b1);
        proof.det2Block = static_cast<std::uint32_t>(b2);
        return proof;
    }
    return std::nullopt;
}

StartResult FindVolumeStart(const SearchTarget& target, std::uint64_t d1, std::uint64_t d2, FoundVolumes& found,
                            SearchReport& report, const base::CancelFlag* stop) {
    std::uint64_t p = d2 > kMirrorWindow ? d2 - kMirrorWindow : 0;
    unsigned counter = 0;
    for (; p < d1; ++p) {
        if (base::Cancelled(stop)) return StartResult::None;
        if (++counter >= kStartReportEvery) {
            report.Status("Searching FAT " + std::to_string(p));
            counter = 0;
        }
        if ((d1 - p) % kScanGroup != 0 || (d2 - p) % kScanGroup != 0) continue;
        const std::optional<StartProof> proof = ProveVolumeStart(target, p, d1, d2);
        if (!proof) continue;
        VolumeDescriptor d;
        d.name = "Volume " + std::to_string(found.volumeCount.load());
        d.det1FirstBlock = proof->det1Block;
        d.det2FirstBlock = proof->det2Block;
        d.startSector = p;
        d.sectorsPerBlock = proof->sectorsPerBlock;
        d.disk = target.disk;
        if (!AddVolume(found, d, report)) {
            ReportTableFull(report);
            return StartResult::TableFull;
        }
        report.VolumeCountText(VolumeCountText(found.volumeCount.load()));
        return StartResult::Added;
    }
    return StartResult::None;
}

SearchResult AdvancedVolumeSearch(const SearchTarget& target, std::uint64_t totalSectors, FoundVolumes& found,
                                  SearchReport& report, const base::CancelFlag& stop) {
    found.Clear();
    report.VolumeCountText(VolumeCountText(0));
    SearchResult result;
    result.openFailure = OpenFailure(target);
    if (!result.openFailure.empty()) {
        result.diskOpened = false;
        return result;
    }
    if (!base::Cancelled(&stop) && totalSectors > 0)
        result.tableFull = ScanForVolumes(target, totalSectors, found, report, stop);
    result.stopped = base::Cancelled(&stop);
    return result;
}

}  // namespace nw
