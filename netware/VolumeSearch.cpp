#include "netware/VolumeSearch.h"

#include <algorithm>
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

// One entry of a disk's volume tables, with where its segment lies by the
// two rules: the running sum of the entries before it (tables that give no
// segment fields) and the entry's own start field.
struct TableRow {
    unsigned disk = 0;
    VolumeTableEntry entry;
    std::uint64_t runningStart = 0;  // V + 128 + the sizes of the earlier entries
    std::uint64_t fieldStart = 0;    // V - 32 + the value at 0x18
};

// Every volume-table entry of the disk, partitions and entries in table order.
std::vector<TableRow> DiskTableRows(const SearchTarget& t, const base::CancelFlag* stop) {
    std::vector<TableRow> rows;
    Sector sector{};
    if (base::Cancelled(stop)) return rows;
    ReadOne(t, 0, sector);
    std::array<PartitionEntry, 4> partitions{};
    if (!DecodePartitionTable(sector.data(), partitions)) return rows;
    for (const PartitionEntry& p : partitions) {
        if (!IsNetWarePartition(p)) continue;
        HotFixSector hotFix{};
        bool hotFixFound = false;
        for (unsigned i = 0; i < kHotFixProbeCount && !hotFixFound; ++i) {
            if (base::Cancelled(stop)) return rows;
            ReadOne(t, HotFixProbeSector(p.firstSector, i), sector);
            hotFixFound = DecodeHotFixSector(sector.data(), hotFix);
        }
        if (!hotFixFound) continue;
        const std::uint64_t v = VolumeAreaSector(p.firstSector, hotFix);
        VolumeTableSector table{};
        bool valid = false;
        for (unsigned j = 0; j < kVolumeTableCopies && !valid; ++j) {
            if (base::Cancelled(stop)) return rows;
            ReadOne(t, v + static_cast<std::uint64_t>(kVolumeTableSpacing) * j, sector);
            valid = DecodeVolumeTableSector(sector.data(), table);
        }
        if (!valid) continue;
        std::uint64_t running = v + kVolumeSegmentsOffset;
        for (unsigned k = 0; k < table.count; ++k) {
            TableRow r;
            r.disk = t.disk;
            r.entry = table.entries[k];
            r.runningStart = running;
            r.fieldStart = v - kVolumeTableSpacing + r.entry.segmentStart;
            rows.push_back(r);
            running += r.entry.segmentSectors;
        }
    }
    return rows;
}

// An entry that is one segment of a volume of several.
bool IsSegmentRow(const TableRow& r) { return r.entry.HasSegmentFields() && r.entry.segmentCount > 1; }

// Entries that are segments of the same volume: the same name, segment
// count, block size and FAT and DET first blocks.
bool SameVolume(const VolumeTableEntry& a, const VolumeTableEntry& b) {
    return a.name == b.name && a.segmentCount == b.segmentCount && a.blockSizeCode == b.blockSizeCode &&
           a.segmentBlocks == b.segmentBlocks && a.fat1FirstBlock == b.fat1FirstBlock &&
           a.fat2FirstBlock == b.fat2FirstBlock && a.det1FirstBlock == b.det1FirstBlock &&
           a.det2FirstBlock == b.det2FirstBlock;
}

VolumeDescriptor DescriptorOf(const VolumeTableEntry& e) {
    VolumeDescriptor d;
    d.name = e.name;
    d.fat1FirstBlock = e.fat1FirstBlock;
    d.fat2FirstBlock = e.fat2FirstBlock;
    d.det1FirstBlock = e.det1FirstBlock;
    d.det2FirstBlock = e.det2FirstBlock;
    return d;
}

// The volume of several segments that `rows` (one per segment found, any
// order) make. Segments not found are listed as missing, holding the blocks
// the found ones leave between them.
VolumeDescriptor SpannedVolume(const std::vector<const TableRow*>& rows) {
    const VolumeTableEntry& e = rows.front()->entry;
    VolumeDescriptor d = DescriptorOf(e);
    const std::uint32_t spb = e.CodedSectorsPerBlock();
    d.sectorsPerBlock = spb;
    d.blockCount = e.segmentBlocks;
    d.sizeInSectors = static_cast<std::uint64_t>(e.segmentBlocks) * spb;
    d.segments.resize(e.segmentCount);
    for (std::uint32_t n = 0; n < e.segmentCount; ++n) {
        d.segments[n].number = n;
        d.segments[n].present = false;
    }
    for (const TableRow* r : rows) {
        VolumeSegment& g = d.segments[r->entry.segmentNumber];
        g.present = true;
        g.disk = r->disk;
        g.startSector = r->fieldStart;
        g.firstBlock = r->entry.segmentFirstBlock;
        g.blockCount = r->entry.segmentSectors / spb;
    }
    for (std::size_t n = 0; n < d.segments.size(); ++n) {
        VolumeSegment& g = d.segments[n];
        if (g.present) continue;
        const VolumeSegment* before = n > 0 ? &d.segments[n - 1] : nullptr;
        g.firstBlock = before ? before->firstBlock + before->blockCount : 0;
        std::uint32_t end = d.blockCount;
        for (std::size_t m = n + 1; m < d.segments.size(); ++m)
            if (d.segments[m].present) {
                end = d.segments[m].firstBlock;
                break;
            }
        g.blockCount = end > g.firstBlock ? end - g.firstBlock : 0;
        // After another missing segment neither number is known, and the
        // segment before it no longer knows where it ends.
        if (before && !before->present) {
            g.firstBlockKnown = false;
            g.blockCountKnown = false;
            d.segments[n - 1].blockCountKnown = false;
        }
    }
    std::stable_sort(d.segments.begin(), d.segments.end(),
                     [](const VolumeSegment& a, const VolumeSegment& b) { return a.firstBlock < b.firstBlock; });
    for (const VolumeSegment& g : d.segments)
        if (g.present) {
            d.disk = g.disk;
            d.startSector = g.startSector;
            break;
        }
    return d;
}

// The quick search's volumes: every entry of the target disk's tables in
// order; the entries of one volume of several segments make one volume,
// whose segments not on the target disk are looked for on the other
// attached disks. A stop ends it before its next read; the volumes added by
// then stay.
void ReadTableVolumes(const SearchTarget& t, FoundVolumes& found, SearchReport& report,
                      std::vector<std::string>& missing, const base::CancelFlag* stop = nullptr) {
    const std::vector<TableRow> rows = DiskTableRows(t, stop);
    // Rows read up to a stop may lack the segments behind them.
    if (base::Cancelled(stop)) return;
    std::optional<std::vector<TableRow>> others;  // the other disks' rows, read when first needed
    std::vector<bool> taken(rows.size(), false);
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const TableRow& r = rows[k];
        const VolumeTableEntry& e = r.entry;
        VolumeDescriptor d;
        if (!IsSegmentRow(r)) {
            // An entry without a block count gives no block size: it cannot
            // be read, but later segments still lie behind it.
            if (e.SectorsPerBlock() == 0) continue;
            d = DescriptorOf(e);
            d.sizeInSectors = e.segmentSectors;
            d.startSector = r.runningStart;
            d.blockCount = e.segmentBlocks;
            d.sectorsPerBlock = e.SectorsPerBlock();
            d.disk = t.disk;
        } else {
            if (taken[k]) continue;
            std::vector<const TableRow*> segments(e.segmentCount, nullptr);
            std::size_t have = 0;
            auto take = [&](const TableRow& row) {
                if (!IsSegmentRow(row) || !SameVolume(row.entry, e) || segments[row.entry.segmentNumber]) return;
                segments[row.entry.segmentNumber] = &row;
                ++have;
            };
            for (std::size_t j = k; j < rows.size(); ++j) {
                const std::size_t before = have;
                take(rows[j]);
                if (have != before || (IsSegmentRow(rows[j]) && SameVolume(rows[j].entry, e))) taken[j] = true;
            }
            if (have < e.segmentCount) {
                if (!others) {
                    others.emplace();
                    for (unsigned n = 0; n < disk::kDeviceCount; ++n) {
                        if (n == t.disk || !t.reader->Disks().At(n)) continue;
                        const SearchTarget other{t.reader, n};
                        if (!OpenFailure(other).empty()) continue;
                        const std::vector<TableRow> more = DiskTableRows(other, stop);
                        if (base::Cancelled(stop)) return;
                        others->insert(others->end(), more.begin(), more.end());
                    }
                }
                for (const TableRow& row : *others) take(row);
            }
            std::vector<const TableRow*> present;
            for (const TableRow* row : segments)
                if (row) present.push_back(row);
            d = SpannedVolume(present);
            for (const VolumeSegment& g : d.segments)
                if (!g.present) {
                    missing.push_back(MissingSegmentText(d.name, g.number));
                    report.Status(missing.back());
                }
            for (const std::string& warning : SegmentLayoutWarnings(d)) {
                missing.push_back(warning);
                report.Status(warning);
            }
        }
        AddVolume(found, d, report);
    }
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

// The disk scan of the advanced search: every 8-sector group from `first`
// to `total`, each DET signature followed up by the mirror and start
// searches, and when they prove nothing by the search around a DET without
// a mirror.
void ScanForVolumes(const SearchTarget& t, std::uint64_t first, std::uint64_t total, FoundVolumes& found,
                    SearchReport& report, const base::CancelFlag& stop) {
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
    unsigned counter = 0;
    std::uint64_t s = first;
    while (s < total) {
        if (base::Cancelled(&stop)) break;
        if (!windowValid || s < windowStart || s + kScanGroup > windowStart + kScanWindow) {
            windowStart = s;
            windowReadable = t.reader->TryRead(t.disk, s, kScanWindow, window.data()).Ok();
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
                // The rest of this group lies before the mirror: scanning
                // goes on behind the mirror.
                s = *d2 + 1;
                break;
            }
            // Not proven as copy 1 of the mirror found: nothing is passed
            // over, and the DET may still be copy 2 of a volume or its only
            // readable copy.
            if (base::Cancelled(&stop)) break;
            FindVolumeWithoutMirror(t, d1, found, report, &stop);
        }
        counter += kScanGroup;
        if (counter >= kScanReportEvery) {
            report.Status("Searching Volumes " + std::to_string(s) + " / " +
                          std::to_string(total) + " ( " + "  Phase 2/2  )");
            report.Percent(base::PercentOf(s - first, total - first));
            counter = 0;
        }
        s += kScanGroup;
    }
}

}  // namespace

const char* const kUnprovenSegmentsText =
    "Only the part of each volume that holds its directory tables was proven: blocks past it may lie in "
    "further segments, on this disk or another.";

std::string UnableToOpenDiskText(const std::string& reason) { return "Unable to open disk: " + reason; }

SearchResult QuickVolumeSearch(const SearchTarget& target, FoundVolumes& found, SearchReport& report,
                               const base::CancelFlag* stop) {
    found.Clear();
    SearchResult result;
    result.openFailure = OpenFailure(target);
    if (!result.openFailure.empty()) {
        result.diskOpened = false;
        return result;
    }
    ReadTableVolumes(target, found, report, result.missingSegments, stop);
    result.stopped = base::Cancelled(stop);
    return result;
}

bool FindVolumeSegments(const SearchTarget& target, VolumeDescriptor& volume) {
    if (volume.sectorsPerBlock == 0 || volume.blockCount == 0 || !OpenFailure(target).empty()) return false;
    SearchReport quiet;
    std::vector<std::string> missing;
    FoundVolumes found;
    ReadTableVolumes(target, found, quiet, missing);
    for (const VolumeDescriptor& d : found.Snapshot()) {
        if (d.Spanned() && d.name == volume.name && d.fat1FirstBlock == volume.fat1FirstBlock &&
            d.fat2FirstBlock == volume.fat2FirstBlock && d.det1FirstBlock == volume.det1FirstBlock &&
            d.det2FirstBlock == volume.det2FirstBlock && d.startSector == volume.startSector &&
            d.sizeInSectors == volume.sizeInSectors && d.blockCount == volume.blockCount &&
            d.sectorsPerBlock == volume.sectorsPerBlock) {
            volume.segments = d.segments;
            volume.disk = d.disk;
            return true;
        }
    }
    return false;
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
                                  SearchReport& report, const base::CancelFlag& stop, std::uint64_t firstSector) {
    found.Clear();
    report.VolumeCountText(VolumeCountText(0));
    SearchResult result;
    result.openFailure = OpenFailure(target);
    if (!result.openFailure.empty()) {
        result.diskOpened = false;
        return result;
    }
    if (!base::Cancelled(&stop) && totalSectors > firstSector)
        ScanForVolumes(target, firstSector, totalSectors, found, report, stop);
    result.stopped = base::Cancelled(&stop);
    if (found.Count() > 0) result.unprovenSegmentsNote = kUnprovenSegmentsText;
    return result;
}

}  // namespace nw
