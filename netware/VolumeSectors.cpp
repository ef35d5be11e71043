#include "disk/SectorReader.h"
#include "netware/Records.h"
#include "netware/Volume.h"

namespace nw {

std::uint64_t VolumeSectors::SectorOf(std::uint32_t block, std::uint32_t sectorIndex) const {
    return BlockSector(volume_->startSector, block, volume_->sectorsPerBlock, sectorIndex);
}

int VolumeSectors::Read(std::uint64_t diskSector, std::uint32_t count, void* buffer,
                        std::uint32_t* unreadable) const {
    return reader_->Read(volume_->disk, diskSector, count, buffer, unreadable);
}

bool VolumeSectors::TryRead(std::uint64_t diskSector, std::uint32_t count, void* buffer) const {
    return reader_->TryRead(volume_->disk, diskSector, count, buffer);
}

}  // namespace nw
