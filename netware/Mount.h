// Mounting a volume: both allocation table chains, the choice between them,
// both directory table chains, the directory walk into the entry lists, the
// suballocation chain heads, the "LOST" folder and the folder tree.
#pragma once

#include <cstdint>
#include <string>

#include "base/Progress.h"
#include "netware/MountedVolume.h"

namespace disk {
class SectorReader;
}

namespace nw {

// What a mount shows and asks while it runs.
class MountReport : public base::ProgressSink {
public:
    // "Select FAT to use", asked when the chain lengths differ: 1 (FAT1),
    // 2 (FAT2) or 0 for Cancel, which means FAT1. Called on the mount's
    // thread; implementations block until answered.
    virtual int ChooseFat(std::uint32_t fat1Length, std::uint32_t fat2Length) {
        (void)fat1Length;
        (void)fat2Length;
        return 1;
    }
};

struct MountResult {
    bool mounted = false;       // false: out of memory (nothing usable was built)
    bool lostScanStopped = false;
    std::uint32_t folderCount = 0;
    std::uint32_t fileCount = 0;
    std::string failure;        // why not mounted ("Out Of Memory")
};

// Mounts volume.currentVolume into `volume` (its contents are replaced).
// `stopLostScan` ends the lost-folder pass early when set.
MountResult Mount(MountedVolume& volume, const disk::SectorReader& reader, MountReport& report,
                  const base::CancelFlag* stopLostScan = nullptr);

// ---- the pieces, for the file reader, the marking pass and tests -------------

// Sector of the FAT entry of `block`, counted from the volume start, through
// a FAT block list; false when the FAT block holding it is not in the list.
bool LocateFatEntryInList(const BlockList& fatBlocks, std::uint32_t block, std::uint32_t sectorsPerBlock,
                          std::uint64_t* volumeSector, unsigned* slot);
// Reads the FAT entry of `block` through volume.FatBlockList.
bool ReadFatEntry(const MountedVolume& volume, const disk::SectorReader& reader, std::uint32_t block,
                  FatEntry* entry);
// Builds volume.FatBlockList from `firstBlock`; returns 1 + the number of FAT
// entries whose sequence matched (bounded as the walks are).
std::uint32_t LoadFatChain(MountedVolume& volume, const disk::SectorReader& reader, std::uint32_t firstBlock);
// Builds a DET block list through the chosen FAT; returns the links followed.
std::uint32_t LoadDetChain(const MountedVolume& volume, const disk::SectorReader& reader, std::uint32_t firstBlock,
                           BlockList& target);

}  // namespace nw
