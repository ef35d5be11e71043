// One found volume and the table of found volumes.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "app/job/TreeItem.h"

namespace nw {

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
    job::TreeItem treeNode = nullptr;  // the volume's node in the volume tree
};

constexpr unsigned kVolumeListCapacity = 33;
using VolumeListTable = std::array<VolumeDescriptor, kVolumeListCapacity>;

}  // namespace nw
