// A found volume: where its blocks lie and what its tables are called; and
// the mapping from volume blocks to disk sectors that every read of the
// volume goes through.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "disk/ReadStatus.h"

namespace disk {
class SectorReader;
}

namespace nw {

// One segment of a volume extended over several segments: the blocks
// firstBlock .. firstBlock + blockCount - 1 lie from startSector on, on
// `disk`. A segment whose disk is not attached is listed too (present
// false): its disk and start are unknown, its blocks as far as the present
// segments and the volume's block count tell them.
struct VolumeSegment {
    std::uint32_t number = 0;          // the segment's number in the volume tables, 0 = first
    bool present = true;
    unsigned disk = 0;
    std::uint64_t startSector = 0;
    std::uint32_t firstBlock = 0;
    std::uint32_t blockCount = 0;
    // A run of missing segments shares the blocks between the present ones
    // without a table saying how: its first segment holds them all here, and
    // which of these numbers a table gave is told by these flags.
    bool firstBlockKnown = true;
    bool blockCountKnown = true;
};

struct VolumeDescriptor {
    std::string name;                  // at most 19 characters
    std::uint32_t fat1FirstBlock = 0;
    std::uint32_t fat2FirstBlock = 0;
    std::uint32_t det1FirstBlock = 0;
    std::uint32_t det2FirstBlock = 0;
    std::uint64_t sizeInSectors = 0;
    std::uint64_t startSector = 0;     // absolute sector of block 0
    std::uint32_t blockCount = 0;
    std::uint32_t sectorsPerBlock = 0;
    unsigned disk = 0;                 // the disk number the volume was found on
    // Empty for a volume of one segment (block 0 at startSector on `disk`);
    // else every segment in block order, startSector and disk then being
    // those of the first present segment.
    std::vector<VolumeSegment> segments;

    bool Spanned() const { return !segments.empty(); }
    // The first segment whose disk is not attached (nullptr when none).
    const VolumeSegment* FirstMissingSegment() const;
};

// "Segment 2 of volume BIGVOL is missing: attach the disk that holds it to
// complete the volume."
std::string MissingSegmentText(const std::string& volumeName, std::uint32_t segmentNumber);

// One sentence for every run of blocks below the volume's block count that
// no segment holds ("Volume BIG: blocks 64 to 99 lie in no segment: they
// cannot be read.") and every run two segments both claim ("Volume BIG:
// blocks 100 to 119 are claimed by two segments: the first one's place is
// read."), in block order; none for a volume of one segment or segments
// that follow each other.
std::vector<std::string> SegmentLayoutWarnings(const VolumeDescriptor& volume);

// Where one sector of a volume lies.
struct SectorPlace {
    unsigned disk = 0;
    std::uint64_t sector = 0;
};

// Reads sectors of one volume by block number through the session's reader.
// Every block maps through the volume's segments; a block of a segment whose
// disk is not attached is never read from anywhere else.
class VolumeSectors {
public:
    VolumeSectors(const disk::SectorReader& reader, const VolumeDescriptor& volume)
        : reader_(&reader), volume_(&volume) {}
    // Where sector `sectorIndex` of block `block` lies (64-bit; see
    // BlockSector in Records.h). Nullopt on a volume of several segments when
    // the block lies in a missing segment or in none.
    std::optional<SectorPlace> Place(std::uint32_t block, std::uint32_t sectorIndex = 0) const;
    // The sector number of Place (0 when there is none).
    std::uint64_t SectorOf(std::uint32_t block, std::uint32_t sectorIndex = 0) const;
    // The missing segment that holds `block` (nullptr when the block can be
    // read or lies in no segment).
    const VolumeSegment* MissingSegmentOf(std::uint32_t block) const;
    // Reads `count` sectors of one block from `sectorIndex` on through the
    // bad-sector policy; the status names the sectors not read. A block of
    // a segment whose disk is not attached reads as zeros named
    // kMissingSegment, a block no segment holds as zeros named kNoPlace.
    disk::ReadStatus ReadBlockSectors(std::uint32_t block, std::uint32_t sectorIndex, std::uint32_t count,
                                      void* buffer) const;
    // Reads without any prompt (see disk::SectorReader::TryRead).
    disk::ReadStatus TryReadBlockSectors(std::uint32_t block, std::uint32_t sectorIndex, std::uint32_t count,
                                         void* buffer) const;
    // The same addressed by the sector's position in the volume (block x
    // sectors per block + sector in block); the run stays within one block.
    disk::ReadStatus ReadVolumeSectors(std::uint64_t volumeSector, std::uint32_t count, void* buffer) const;
    const VolumeDescriptor& Volume() const { return *volume_; }
    const disk::SectorReader& Reader() const { return *reader_; }

private:
    const disk::SectorReader* reader_;
    const VolumeDescriptor* volume_;
};

}  // namespace nw
