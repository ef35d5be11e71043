#include "netware/EntryNumbers.h"

#include "netware/Mount.h"
#include "netware/MountedVolume.h"
#include "netware/Records.h"

namespace nw {

namespace {

std::uint64_t Key(unsigned disk, std::uint64_t sector) { return (static_cast<std::uint64_t>(disk) << 56) ^ sector; }

}  // namespace

EntryNumbers::EntryNumbers(const MountedVolume& volume, const disk::SectorReader& reader) {
    const VolumeSectors sectors(reader, volume.currentVolume);
    const std::uint32_t perBlock = volume.currentVolume.sectorsPerBlock;
    const std::uint32_t limit = VolumeBlockLimit(volume, reader);
    // Copy 1 first: a record names copy 2's sector only when copy 1's is unknown.
    for (const BlockList* list : {&volume.Det1BlockList, &volume.Det2BlockList}) {
        for (std::size_t i = 0; i < list->size(); ++i) {
            const std::uint32_t block = (*list)[i].block;
            if (IsDetChainEnd(block) || block >= limit) continue;
            for (std::uint32_t s = 0; s < perBlock; ++s)
                if (const std::optional<SectorPlace> place = sectors.Place(block, s))
                    sectorPosition_.emplace(Key(place->disk, place->sector), static_cast<std::uint32_t>(i * perBlock + s));
        }
    }
}

std::optional<std::uint32_t> EntryNumbers::Of(const EntryRecord& entry) const {
    if (entry.det1Sector == 0 || entry.slot >= kDetEntriesPerSector) return std::nullopt;
    const auto it = sectorPosition_.find(Key(entry.det1Disk, entry.det1Sector));
    if (it == sectorPosition_.end()) return std::nullopt;
    return it->second * kDetEntriesPerSector + entry.slot;
}

}  // namespace nw
