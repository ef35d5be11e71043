// The allocation table lookups and the FAT and DET block lists of a mount.
#include <algorithm>
#include <optional>
#include <unordered_set>
#include <vector>

#include "disk/SectorReader.h"
#include "netware/Mount.h"

namespace nw {

namespace {

// Reads the FAT entry of `block` through `fatBlocks`. `status`, when given,
// gets the read's status (every reason a sector was not read).
bool ReadFatEntryThrough(const MountedVolume& volume, const disk::SectorReader& reader, const BlockList& fatBlocks,
                         std::uint32_t block, FatEntry* entry, disk::ReadStatus* status = nullptr) {
    const VolumeDescriptor& v = volume.currentVolume;
    std::uint64_t offset = 0;
    unsigned slot = 0;
    if (!LocateFatEntryInList(fatBlocks, block, v.sectorsPerBlock, &offset, &slot)) return false;
    std::uint8_t sector[kSectorSize];
    const VolumeSectors sectors(reader, v);
    // A FAT sector without a place (in a segment whose disk is not
    // attached, or in none) is not known; a bad one reads as zeros.
    const disk::ReadStatus read = sectors.ReadVolumeSectors(offset, 1, sector);
    if (status) *status = read;
    if (read.Has(disk::Unread::kMissingSegment) || read.Has(disk::Unread::kNoPlace)) return false;
    *entry = DecodeFatEntry(sector, slot);
    return true;
}

}  // namespace

std::uint32_t VolumeBlockLimit(const MountedVolume& volume, const disk::SectorReader& reader) {
    const VolumeDescriptor& v = volume.currentVolume;
    const bool sized = v.blockCount != 0 || (v.sectorsPerBlock != 0 && v.sizeInSectors / v.sectorsPerBlock != 0);
    return volume.BlockLimit(sized ? 0 : reader.SectorCount(v.disk));
}

bool LocateFatEntryInList(const BlockList& fatBlocks, std::uint32_t block, std::uint32_t sectorsPerBlock,
                          std::uint64_t* volumeSector, unsigned* slot) {
    if (sectorsPerBlock == 0) return false;
    const FatPosition pos = LocateFatEntry(block, sectorsPerBlock);
    if (pos.fatBlock >= fatBlocks.size()) return false;
    const std::uint32_t fatBlock = fatBlocks[pos.fatBlock].block;
    if (fatBlock >= kFirstNonBlockValue) return false;  // the end marker closing the list
    *volumeSector = BlockSector(0, fatBlock, sectorsPerBlock, pos.sectorInBlock);
    *slot = pos.entryIndex;
    return true;
}

bool ReadFatEntry(const MountedVolume& volume, const disk::SectorReader& reader, std::uint32_t block,
                  FatEntry* entry) {
    return ReadFatEntryThrough(volume, reader, volume.FatBlockList, block, entry);
}

namespace {

// Follows a FAT copy's chain of its own blocks from `first` into `list`.
// Each entry is read from the FAT block that holds it: with `throughItself`,
// the chain's own node for that block where the chain has already reached
// it and `guide`'s node beyond; without, always `guide`'s node. A guide node
// the walk used must turn out to be the chain's own node once the chain
// gets there, or the chain ends before it. Returns 1 + the entries matched.
std::uint32_t WalkFatCopy(const MountedVolume& volume, const disk::SectorReader& reader, std::uint32_t first,
                          const BlockList* guide, bool throughItself, BlockList& list) {
    list.clear();
    list.push_back({0, first});
    std::uint32_t count = 1;
    const std::uint32_t limit = VolumeBlockLimit(volume, reader);
    if (first >= limit) return count;
    std::unordered_set<std::uint32_t> seen{first};
    std::vector<bool> guided;  // by node index: the walk read through guide's node
    std::uint32_t expected = 0;
    std::uint32_t b = first;
    while (list.size() <= limit) {
        const std::uint32_t q = LocateFatEntry(b, volume.currentVolume.sectorsPerBlock).fatBlock;
        const bool own = throughItself && q < list.size();
        if (!own) {
            if (!guide) break;  // that FAT block is not known (yet)
            if (guided.size() <= q) guided.resize(q + 1, false);
            guided[q] = true;
        }
        FatEntry e;
        if (!ReadFatEntryThrough(volume, reader, own ? list : *guide, b, &e)) break;
        if (e.sequence != expected) break;
        if (e.next != kChainEnd && (e.next >= limit || !seen.insert(e.next).second)) break;
        const std::size_t at = list.size();
        if (throughItself && at < guided.size() && guided[at] && (*guide)[at].block != e.next) break;
        list.push_back({expected, e.next});
        ++count;
        ++expected;
        if (e.next == kChainEnd) break;
        b = e.next;
    }
    return count;
}

}  // namespace

std::uint32_t LoadFatChain(MountedVolume& volume, const disk::SectorReader& reader, std::uint32_t firstBlock,
                           const BlockList* mirror) {
    const std::uint32_t count = WalkFatCopy(volume, reader, firstBlock, nullptr, true, volume.FatBlockList);
    if (!mirror || volume.FatBlockList.back().block == kChainEnd) return count;
    // The copies mirror each other: the other copy records this copy's
    // chain too, and from it the walk learns where this copy's FAT blocks
    // lie before its own chain has reached them. (The walk through itself
    // above is where this one starts: it differs only where that one
    // stopped for want of a FAT block.)
    BlockList recorded;
    WalkFatCopy(volume, reader, firstBlock, mirror, false, recorded);
    return WalkFatCopy(volume, reader, firstBlock, &recorded, true, volume.FatBlockList);
}

bool FatCopiesDiffer(const MountedVolume& volume, const disk::SectorReader& reader, const BlockList& fat1,
                     const BlockList& fat2) {
    const VolumeDescriptor& v = volume.currentVolume;
    const std::uint32_t S = v.sectorsPerBlock;
    if (S == 0) return false;
    const std::uint64_t fatSectors =
        (static_cast<std::uint64_t>(VolumeBlockLimit(volume, reader)) + kFatEntriesPerSector - 1) /
        kFatEntriesPerSector;
    const std::uint64_t fatBlocks = (fatSectors + S - 1) / S;
    auto blockOf = [](const BlockList& list, std::uint64_t q) -> std::optional<std::uint32_t> {
        if (q >= list.size() || list[q].block >= kFirstNonBlockValue) return std::nullopt;
        return list[q].block;
    };
    const VolumeSectors sectors(reader, v);
    std::vector<std::uint8_t> a(static_cast<std::size_t>(S) * kSectorSize), b(a.size());
    for (std::uint64_t q = 0; q < fatBlocks; ++q) {
        const std::optional<std::uint32_t> one = blockOf(fat1, q), two = blockOf(fat2, q);
        if (!one && !two) return false;  // neither copy reaches further
        if (!one || !two) return true;
        const std::uint32_t count = static_cast<std::uint32_t>(std::min<std::uint64_t>(S, fatSectors - q * S));
        sectors.ReadBlockSectors(*one, 0, count, a.data());
        sectors.ReadBlockSectors(*two, 0, count, b.data());
        if (!std::equal(a.begin(), a.begin() + count * kSectorSize, b.begin())) return true;
    }
    return false;
}

std::uint32_t LoadDetChain(const MountedVolume& volume, const disk::SectorReader& reader, std::uint32_t firstBlock,
                           BlockList& target, bool* cut) {
    if (cut) *cut = false;
    target.clear();
    target.push_back({0, firstBlock});
    std::uint32_t links = 0;
    const std::uint32_t limit = VolumeBlockLimit(volume, reader);
    if (IsDetChainEnd(firstBlock) || firstBlock >= limit) return links;
    std::unordered_set<std::uint32_t> seen{firstBlock};
    std::uint32_t expected = 0;
    std::uint32_t b = firstBlock;
    while (target.size() <= limit) {
        FatEntry e;
        disk::ReadStatus status;
        const bool read = ReadFatEntryThrough(volume, reader, volume.FatBlockList, b, &e, &status);
        if (!read || !status.Ok()) {
            // The entry linking `b` could not be read (its FAT block is
            // unknown or unreadable): where the chain goes on is unknown.
            if (cut) *cut = true;
            break;
        }
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

}  // namespace nw
