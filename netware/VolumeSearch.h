// Finding the NetWare volumes of a disk.
//
// The quick search trusts the disk's own bookkeeping: partition table,
// hot-fix sector and volume table. The advanced search trusts only the
// directory tables: it scans the disk for the first sector of a DET, finds
// the mirror copy, and proves the volume start and block size from the FAT
// and from both DET chains. A DET that does not prove out that way moves the
// scan past nothing; it may still be copy 2 of a volume, or its only
// readable copy (FindVolumeWithoutMirror). Both fill a FoundVolumes list the caller owns,
// report through a SearchReport and say in their result how they ended;
// the caller decides what the user sees next.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Progress.h"
#include "netware/FoundVolumes.h"
#include "netware/Volume.h"

namespace disk {
class SectorReader;
}

namespace nw {

constexpr std::uint64_t kMirrorWindow = 1000000;   // sectors after DET copy 1
constexpr unsigned kChainTableSize = 2000;          // FAT blocks a proof can hold, end marker included
constexpr std::uint32_t kMaxFirstFatNext = 8192;
constexpr std::uint32_t kScanGroup = 8;             // sectors per scan read
constexpr unsigned kScanReportEvery = 901;
constexpr unsigned kMirrorReportEvery = 888;
constexpr unsigned kStartReportEvery = 901;
constexpr std::uint32_t kBlockSizes[] = {128, 64, 32, 16, 8};

// What a search shows while it runs.
class SearchReport : public base::ProgressSink {
public:
    // A volume was added to the list (volumeCount is the new count).
    virtual void VolumeFound(const VolumeDescriptor& volume, std::uint32_t volumeCount) {
        (void)volume;
        (void)volumeCount;
    }
    // The volume-count text ("Volumes Found : 3").
    virtual void VolumeCountText(const std::string& text) { (void)text; }
};

// How a search ended. What the user sees next is the caller's choice: an
// unopened disk shows UnableToOpenDiskText(openFailure); an advanced search
// that found nothing (stopped or not) "No volume found, use raw mode".
struct SearchResult {
    bool diskOpened = true;      // false: nothing was searched
    std::string openFailure;     // why the disk cannot be opened (names the disk)
    bool stopped = false;        // the cancel flag was set when the search ended
    // Quick search: one MissingSegmentText for every segment of a found
    // volume whose disk is not attached, and the SegmentLayoutWarnings of
    // a found volume whose segments leave blocks out or overlap.
    std::vector<std::string> missingSegments;
    // Advanced search: said when it found a volume. It proves the segment
    // that holds the directory tables and nothing beyond it.
    std::string unprovenSegmentsNote;
};

// "Only the part of each volume that holds its directory tables was proven:
// blocks past it may lie in further segments, on this disk or another."
extern const char* const kUnprovenSegmentsText;

// The where-to-look of a search: the session's reader and a disk number.
struct SearchTarget {
    const disk::SectorReader* reader = nullptr;
    unsigned disk = 0;
};

// The quick search (clears `found` first): the volumes that have an entry
// in the target disk's volume tables, in the order of their first entry
// there. The entries of a volume extended over several segments (the same
// name, segment count and FAT and DET first blocks) make one volume, its
// block size from the entries' block-size code; segments that are not in
// the target disk's tables are looked for in those of the other attached
// disks. Polls `stop` before every read; a stop leaves the volumes of the
// tables read in full and sets `stopped`.
SearchResult QuickVolumeSearch(const SearchTarget& target, FoundVolumes& found, SearchReport& report,
                               const base::CancelFlag* stop = nullptr);

// The segments of a volume a recovery log describes (a log keeps the
// descriptor's numbers, not its segments): the target disk's volume tables
// are read again as the quick search reads them, and the volume of several
// segments with the same name, FAT and DET first blocks, start, size, block
// count and block size gives its segments. False, leaving `volume` as it
// was, when there is none (a volume of one segment, or one that was found
// by scanning).
bool FindVolumeSegments(const SearchTarget& target, VolumeDescriptor& volume);

// The advanced search over sectors [firstSector, totalSectors) (clears
// `found` first; no scan when the range is empty). A volume's mirror and
// start are looked for around a DET as always, inside the range or not. Polls `stop` before every group, every sector of a
// group, every position of the mirror and start searches and every read of
// the search around a DET without a mirror; the caller clears the flag
// before the next search.
SearchResult AdvancedVolumeSearch(const SearchTarget& target, std::uint64_t totalSectors, FoundVolumes& found,
                                  SearchReport& report, const base::CancelFlag& stop, std::uint64_t firstSector = 0);

// ---- the steps of the advanced search, usable on their own ----------------

// The DET copy 2 sector for copy 1 at d1, searched in every eighth sector of
// the window; nullopt when none lies there or the search was stopped.
std::optional<std::uint64_t> FindDetMirror(const SearchTarget& target, std::uint64_t d1, SearchReport& report,
                                           const base::CancelFlag* stop);

enum class StartResult { None, Added };
// Looks for the volume start below the two DET copies and adds the volume.
StartResult FindVolumeStart(const SearchTarget& target, std::uint64_t d1, std::uint64_t d2, FoundVolumes& found,
                            SearchReport& report, const base::CancelFlag* stop);

// A DET at d that did not prove out as copy 1 of the mirror found above it
// (or found none) may still belong to a volume:
//  1. as its copy 2: a DET below d, less than the mirror window away and
//     8-aligned with it, is copy 1 when the start proves for the pair as
//     ProveVolumeStart proves it (starts from the lowest, block sizes from
//     128 down, copy 1 from the nearest);
//  2. as its only readable copy, when no pair proves: the lowest start at
//     which the FAT and d's own DET chain prove stands, provided no other
//     DET within the mirror window either side starts a chain that proves
//     through that FAT. The volume's two directory positions are then both
//     d's block.
// Returns None when nothing proves or `stop` was set.
StartResult FindVolumeWithoutMirror(const SearchTarget& target, std::uint64_t d, FoundVolumes& found,
                                    SearchReport& report, const base::CancelFlag* stop);

struct StartProof {
    std::uint32_t sectorsPerBlock = 0;
    std::vector<std::uint32_t> fatBlocks;  // the FAT's own chain as proven
    std::uint32_t det1Block = 0;
    std::uint32_t det2Block = 0;
};
// Whether the volume starts at p, trying each block size from 128 down to 8:
// the FAT's own chain must prove out from block 0, and both DET chains,
// followed through that FAT, must prove out, have the same length and hold
// the same sectors.
std::optional<StartProof> ProveVolumeStart(const SearchTarget& target, std::uint64_t p, std::uint64_t d1,
                                           std::uint64_t d2);

// The message shown when the disk cannot be opened.
std::string UnableToOpenDiskText(const std::string& reason);

}  // namespace nw
