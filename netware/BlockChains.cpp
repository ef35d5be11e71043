// The allocation table lookups and the FAT and DET block lists of a mount.
#include <unordered_set>

#include "disk/SectorReader.h"
#include "netware/Mount.h"

namespace nw {

namespace {

bool ReadFatEntryThrough(const MountedVolume& volume, const disk::SectorReader& reader, const BlockList& fatBlocks,
                         std::uint32_t block, FatEntry* entry) {
    const VolumeDescriptor& v = volume.currentVolume;
    std::uint64_t offset = 0;
    unsigned slot = 0;
    if (!LocateFatEntryInList(fatBlocks, block, v.sectorsPerBlock, &offset, &slot)) return false;
    std::uint8_t sector[kSectorSize];
    VolumeSectors(reader, v).Read(v.startSector + offset, 1, sector);
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

std::uint32_t LoadFatChain(MountedVolume& volume, const disk::SectorReader& reader, std::uint32_t firstBlock) {
    BlockList& list = volume.FatBlockList;
    list.clear();
    list.push_back({0, firstBlock});
    std::uint32_t count = 1;
    const std::uint32_t limit = VolumeBlockLimit(volume, reader);
    if (firstBlock >= limit) return count;
    std::unordered_set<std::uint32_t> seen{firstBlock};
    std::uint32_t expected = 0;
    std::uint32_t b = firstBlock;
    while (list.size() <= limit) {
        FatEntry e;
        if (!ReadFatEntryThrough(volume, reader, list, b, &e)) break;  // its FAT block is not known (yet)
        if (e.sequence != expected) break;
        if (e.next != kChainEnd && (e.next >= limit || !seen.insert(e.next).second)) break;
        list.push_back({expected, e.next});
        ++count;
        ++expected;
        if (e.next == kChainEnd) break;
        b = e.next;
    }
    return count;
}

std::uint32_t LoadDetChain(const MountedVolume& volume, const disk::SectorReader& reader, std::uint32_t firstBlock,
                           BlockList& target) {
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
        if (!ReadFatEntry(volume, reader, b, &e)) break;
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
