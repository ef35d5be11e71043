// The reads and proofs the advanced search is made of, shared by the disk
// scan and by the search around a DET whose mirror does not prove out.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "netware/Records.h"
#include "netware/VolumeSearch.h"

namespace nw::search {

using Sector = std::array<std::uint8_t, kSectorSize>;

// Reads through the session's reader and its bad-sector policy.
void ReadSectors(const SearchTarget& t, std::uint64_t start, std::uint32_t count, void* buffer);
inline void ReadOne(const SearchTarget& t, std::uint64_t sector, Sector& out) {
    ReadSectors(t, sector, 1, out.data());
}

bool BeginsWithDetSignature(const std::uint8_t* sector);
// When `sector` can be the first sector of a FAT (block 0's entry has
// sequence 0 and a next block of 1..8192 or the end marker): that next value.
std::optional<std::uint32_t> FatStartNext(const std::uint8_t* sector);

// The FAT's own chain from block 0 of a volume starting at p with block
// size h, up to the proof table's size. `firstNext` is the next value of
// block 0's entry, already read.
bool ProveFatChain(const SearchTarget& t, std::uint64_t p, std::uint32_t h, std::uint32_t firstNext,
                   std::vector<std::uint32_t>& fat);
// A DET chain from `first` through the proven FAT: sequences 0, 1, 2 ... to
// an end marker, with no free entry on the way.
bool ProveDetChain(const SearchTarget& t, std::uint64_t p, std::uint32_t h, const std::vector<std::uint32_t>& fat,
                   std::uint32_t first, std::vector<std::uint32_t>& chain);
// Whether two DET chains of equal length hold the same bytes, block by block.
bool SameBlocks(const SearchTarget& t, std::uint64_t p, std::uint32_t h, const std::vector<std::uint32_t>& c1,
                const std::vector<std::uint32_t>& c2);

// Stores a volume whose start p and block size h were proven, named
// "Volume " + the count so far, and shows the new count.
StartResult AddProvenVolume(const SearchTarget& t, std::uint64_t p, std::uint32_t h, std::uint32_t det1Block,
                            std::uint32_t det2Block, FoundVolumes& found, SearchReport& report);
// The volume-count text ("Volumes Found : 3").
std::string VolumeCountText(std::uint32_t n);
// Stores a volume and tells the report; returns the new count.
std::uint32_t AddVolume(FoundVolumes& found, const VolumeDescriptor& d, SearchReport& report);

}  // namespace nw::search
