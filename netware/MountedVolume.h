// A mounted volume: the chosen volume's descriptor and everything the mount
// (or a reloaded recovery log) built from it. The session owns one; the
// file reader, the save, the listing and the recovery log read it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "netware/EntryList.h"
#include "netware/FolderTree.h"
#include "netware/NameSpaces.h"
#include "netware/Records.h"
#include "netware/Volume.h"

namespace nw {

// One element of a block list: the FAT sequence number and the block.
struct BlockNode {
    std::uint32_t sequence = 0;
    std::uint32_t block = 0;
};
using BlockList = std::vector<BlockNode>;

struct MountedVolume {
    VolumeDescriptor currentVolume;
    std::uint16_t mountedMark = 0;       // 1 once currentVolume has been mounted

    // The rebuilt directory records.
    EntryList FolderList;
    EntryList FileList;
    FolderTree tree;
    // Every name, the fork and the Unix facts of entries with name-space
    // records; the name space whose names the mount shows (set before it).
    NameSpaceTable nameSpaces;
    std::uint8_t preferredNameSpace = kDefaultNameSpace;

    BlockList FatBlockList;   // the chosen FAT copy's own blocks, in chain order
    BlockList Det1BlockList;  // DET copy 1 blocks (an end marker may close it)
    BlockList Det2BlockList;  // DET copy 2 blocks
    std::uint32_t detBlockCount = 0;  // links followed while building Det1BlockList
    std::array<std::uint32_t, kSuballocChains> SuballocationTable{};
    int fatChoice = 0;                // last answer to "Select FAT to use": 1, 2; 0 = never asked
    std::uint32_t folderCount = 0;    // counts of the mount ("LOST" included in the folder count)
    std::uint32_t fileCount = 0;

    // Forgets the records, the tree, the block lists, the suballocation
    // table and the counts. The descriptor, mountedMark and fatChoice stay.
    void ClearContents();

    // Number of blocks walks may visit: the block count, else the size in
    // sectors / sectors per block, else what the disk holds beyond the
    // volume start (`diskSectors`, 0 when unknown).
    std::uint32_t BlockLimit(std::uint64_t diskSectors = 0) const;
};

}  // namespace nw
