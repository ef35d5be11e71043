// Finding the NetWare volumes of the selected disk.
//
// The quick search trusts the disk's own bookkeeping: partition table,
// hot-fix sector and volume table. The advanced search trusts only the
// directory tables: it scans the disk for the first sector of a DET, finds
// the mirror copy, and proves the volume start and block size from the FAT
// and from both DET chains. Both fill job::Wizard().VolumeList.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "netware/VolumeDescriptor.h"

namespace nw {

constexpr std::uint64_t kMirrorWindow = 1000000;   // sectors after DET copy 1
constexpr unsigned kChainTableSize = 2000;          // FAT blocks a proof can hold, end marker included
constexpr std::uint32_t kMaxFirstFatNext = 8192;
constexpr std::uint32_t kScanGroup = 8;             // sectors per scan read
constexpr unsigned kScanReportEvery = 901;
constexpr unsigned kMirrorReportEvery = 888;
constexpr unsigned kStartReportEvery = 901;
constexpr std::uint32_t kBlockSizes[] = {128, 64, 32, 16, 8};

// Appends a found volume at index volumeCount with its node in the volume
// tree. False when the table is already full (the volume is not stored).
bool AddFoundVolume(VolumeDescriptor d);

// The quick search. Returns false when the disk cannot be opened; the search
// has then said so ("Unable to open disk") and the caller must not add its own
// "No volume found" message.
bool QuickVolumeSearch();

// The advanced search, the body of the search worker. Ends the wizard step
// itself (messages and layouts through the installed controls).
void AdvancedVolumeSearch();

// ---- the steps of the advanced search, usable on their own ----------------

// Total sectors of the selected disk according to the geometry store.
std::int64_t GeometryStoreSectors();

// The DET copy 2 sector for copy 1 at d1, searched in every eighth sector of
// the window; nullopt when none lies there or the search was stopped.
std::optional<std::uint64_t> FindDetMirror(std::uint64_t d1);

enum class StartResult { None, Added, TableFull };
// Looks for the volume start below the two DET copies and adds the volume.
StartResult FindVolumeStart(std::uint64_t d1, std::uint64_t d2);

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
std::optional<StartProof> ProveVolumeStart(std::uint64_t p, std::uint64_t d1, std::uint64_t d2);

// The message shown when the disk cannot be opened.
std::string UnableToOpenDiskText(const std::string& reason);

}  // namespace nw
