#include "netware/VolumeSearch.h"

#include <array>

#include "disk/SectorReader.h"
#include "netware/Records.h"
#include "netware/SearchSteps.h"

namespace nw {

namespace {

using namespace search;

constexpr std::uint32_t kScanWindow = 2048;  // sectors per scan read (1 MiB), a multiple of the group

// Why the target disk cannot be read ("" when it can).
std::string OpenFailure(const SearchTarget& t) {
    const auto d = t.reader ? t.reader->Disks().At(t.disk) : nullptr;
    if (!d) return "no device is attached as Disk" + std::to_string(t.disk);
    return d->OpenFailureReason();
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

// Compares two sectors as zero-terminated byte strings.
bool SameString(const Sector& a, const Sector& b) {
    for (std::size_t i = 0; i < kSectorSize; ++i) {
        if (a[i] != b[i]) return false;
        if (a[i] == 0) return true;
    }
    return true;
}

// The disk scan of the advanced search: every 8-sector group from sector 0
// to `total`, each DET signature followed up by the mirror and start
// searches, and when they prove nothing by the search around a DET without
// a mirror. Returns true when the volume table filled up.
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
            StartResult proven = StartResult::None;
            if (d2) proven = FindVolumeStart(t, d1, *d2, found, report, &stop);
            if (proven != StartResult::None) {
                full = proven == StartResult::TableFull;
                // The rest of this group lies before the mirror: scanning
                // goes on behind the mirror.
                s = *d2 + 1;
                break;
            }
            // Not proven as copy 1 of the mirror found: nothing is passed
            // over, and the DET may still be copy 2 of a volume or its only
            // readable copy.
            if (base::Cancelled(&stop)) break;
            if (FindVolumeWithoutMirror(t, d1, found, report, &stop) == StartResult::TableFull) {
                full = true;
                break;
            }
        }
        counter += kScanGroup;
        if (counter >= kScanReportEvery) {
            report.Status("Searching Volumes " + std::to_string(s) + " / " +
                          std::to_string(total) + " ( " + "  Phase 2/2  )");
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
                              std::to_string(end));
                counter = 0;
            }
            continue;
        }
        ReadOne(target, j, b);
        if (SameString(a, b)) return j;
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
        return AddProvenVolume(target, p, proof->sectorsPerBlock, proof->det1Block, proof->det2Block, found,
                               report);
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
