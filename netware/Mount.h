// Mounting the chosen volume (job::Wizard().currentVolume): both allocation
// table chains, the choice between them, both directory table chains, the
// directory walk into the entry lists, the suballocation chain heads, the
// "LOST" folder and the folder tree.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "netware/Records.h"

namespace nw {

// One element of a block list: the FAT sequence number and the block.
struct BlockNode {
    std::uint32_t sequence = 0;
    std::uint32_t block = 0;
};
using BlockList = std::vector<BlockNode>;

// The program-wide tables a mount leaves behind for the file reader and the
// recovery log. Only one mount runs at a time.
struct MountTables {
    BlockList FatBlockList;   // the chosen FAT copy's own blocks, in chain order
    BlockList Det1BlockList;  // DET copy 1 blocks (an end marker may close it)
    BlockList Det2BlockList;  // DET copy 2 blocks
    std::uint32_t detBlockCount = 0;  // links followed while building Det1BlockList
    std::array<std::uint32_t, kSuballocChains> SuballocationTable{};  // not cleared between mounts
    int fatChoice = 0;                // last answer to "Select FAT to use": 1, 2; 0 = never asked
    std::uint32_t treeFolderCount = 0;  // folder items the last tree population inserted
    // Counts of the last mount ("LOST" included in the folder count).
    std::uint32_t folderCount = 0;
    std::uint32_t fileCount = 0;
};
MountTables& Mounted();

// Asks which FAT copy to use when their chain lengths differ ("Select FAT
// to use"). Returns 1 (FAT1), 2 (FAT2) or 0 for Cancel, which means FAT1.
// Called on the mount's thread; implementations block until answered.
class FatChoicePrompt {
public:
    virtual ~FatChoicePrompt() = default;
    virtual int Choose(std::uint32_t fat1Length, std::uint32_t fat2Length) = 0;
};
// nullptr restores the default, which answers FAT1 without asking.
void SetFatChoicePrompt(FatChoicePrompt* prompt);

// Number of blocks of the current volume that walks may visit: its block
// count, else its size in sectors / sectors per block, else what the device
// holds beyond the volume start.
std::uint32_t VolumeBlockLimit();

// Sector of the FAT entry of `block`, counted from the volume start, through
// FatBlockList; false when the FAT block holding it is not in the list.
bool LocateFatEntryInList(const BlockList& fatBlocks, std::uint32_t block, std::uint32_t sectorsPerBlock,
                          std::uint64_t* volumeSector, unsigned* slot);
// Reads the FAT entry of `block` through Mounted().FatBlockList (false: no
// such FAT block).
bool ReadFatEntry(std::uint32_t block, FatEntry* entry);

// Builds Mounted().FatBlockList from `firstBlock` and returns 1 + the number
// of FAT entries whose sequence matched. Stops at a broken sequence, at the
// end marker, at a repeated block, at a block beyond the volume, at a FAT
// block not yet known, and after VolumeBlockLimit() links.
std::uint32_t LoadFatChain(std::uint32_t firstBlock);
// Builds a DET block list through the chosen FAT (same bounds); returns the
// number of links followed.
std::uint32_t LoadDetChain(std::uint32_t firstBlock, BlockList& target);

// The mount worker's body: mounts job::Wizard().currentVolume. Uses the
// root item of job::Wizard().directoryTree (one labelled with the volume
// name is inserted when the tree is empty). Progress and texts go through
// the published controls; the two count lines go to the activity report.
void Mount();

// For front ends without a window: clears job::Wizard().directoryTree (when
// one is installed), gives it a root labelled with the volume name, sets
// selectedVolumeName when empty, and runs Mount() on the calling thread.
void MountCurrentVolume();

}  // namespace nw
