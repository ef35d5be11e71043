#include "netware/MountedVolume.h"

#include <algorithm>

namespace nw {

void MountedVolume::ClearContents() {
    FolderList.Clear();
    FileList.Clear();
    tree.Clear();
    nameSpaces.Clear();
    // Swapping with empties releases the memory, not just the elements.
    BlockList().swap(FatBlockList);
    BlockList().swap(Det1BlockList);
    BlockList().swap(Det2BlockList);
    detBlockCount = 0;
    SuballocationTable.fill(0);
    folderCount = 0;
    fileCount = 0;
}

std::uint32_t MountedVolume::BlockLimit(std::uint64_t diskSectors) const {
    const VolumeDescriptor& v = currentVolume;
    if (v.sectorsPerBlock == 0) return 0;
    std::uint64_t blocks = v.blockCount;
    if (blocks == 0) blocks = v.sizeInSectors / v.sectorsPerBlock;
    // A volume found by scanning knows no size: take what the disk holds
    // from the volume start on.
    if (blocks == 0 && diskSectors > v.startSector) blocks = (diskSectors - v.startSector) / v.sectorsPerBlock;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(blocks, kFirstNonBlockValue));
}

}  // namespace nw
