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

// What a mount shows and asks while it runs: the status texts ("Loading FAT
// 1....", "Mounting Volume 0 / 2....", "Searching Lost Folders", and at the
// end the volume name followed by ":\"), the percentages of the directory
// walk and of the lost-folder pass, and the two calls below.
class MountReport : public base::ProgressSink {
public:
    // "Select FAT to use", asked when the chain lengths differ and the copies
    // hold different entries: 1 (FAT1),
    // 2 (FAT2) or 0 for Cancel, which means FAT1. Called on the mount's
    // thread; implementations block until answered.
    virtual int ChooseFat(std::uint32_t fat1Length, std::uint32_t fat2Length) {
        (void)fat1Length;
        (void)fat2Length;
        return 1;
    }
    // The lost-folder pass starts (true) or has ended (false): the only
    // phase the cancel flag can end ("Stop Searching" is offered meanwhile).
    virtual void LostFolderPhase(bool running) { (void)running; }
};

struct MountResult {
    bool mounted = false;       // false: out of memory (nothing usable was built)
    bool lostScanStopped = false;
    std::uint32_t folderCount = 0;  // "LOST" included
    std::uint32_t fileCount = 0;
    std::string failure;        // why not mounted ("Out Of Memory")
    // Mounted, but neither directory copy could be read (no folder or file
    // was found and the tables' sectors were unreadable or held no
    // directory): `warning` says so in a sentence naming the volume, for the
    // front end to show. Empty otherwise.
    bool directoryUnreadable = false;
    // Mounted with what could be read, but part of the directory could not
    // be: its chain could not be followed to its end (the FAT entry linking
    // a block could not be read) or some of its sectors could be read in
    // neither copy. `warning` names the volume and what was not read.
    bool directoryIncomplete = false;
    std::string warning;
};

// Mounts volume.currentVolume into `volume` (its contents are replaced; an
// earlier fatChoice is kept and overwritten when the question is asked).
// `stopLostScan` ends the lost-folder pass early when set; the mount then
// completes with what it has. The tree's root is labelled `rootText` (the
// volume's name when empty). Out of memory ends the mount with nothing kept.
MountResult Mount(MountedVolume& volume, const disk::SectorReader& reader, MountReport& report,
                  const base::CancelFlag* stopLostScan = nullptr, const std::string& rootText = std::string());

// ---- the pieces, for the file reader, the marking pass and tests -------------

// Number of blocks the walks over `volume` may visit (MountedVolume::BlockLimit,
// asking the reader for the disk's size only when the volume knows no size).
std::uint32_t VolumeBlockLimit(const MountedVolume& volume, const disk::SectorReader& reader);

// Sector of the FAT entry of `block`, counted from the volume start, through
// a FAT block list; false when the FAT block holding it is not in the list.
bool LocateFatEntryInList(const BlockList& fatBlocks, std::uint32_t block, std::uint32_t sectorsPerBlock,
                          std::uint64_t* volumeSector, unsigned* slot);
// Reads the FAT entry of `block` through volume.FatBlockList.
bool ReadFatEntry(const MountedVolume& volume, const disk::SectorReader& reader, std::uint32_t block,
                  FatEntry* entry);
// Builds volume.FatBlockList, a FAT copy's chain of its own blocks from
// `firstBlock`, each entry read from the copy's own FAT block that holds it;
// returns 1 + the number of FAT entries whose sequence matched (bounded as
// the walks are). A copy's entries may lie in its own later blocks (copy 2
// of a large volume lies behind copy 1, so its entries lie in its second
// block and beyond): `mirror`, the other copy's chain, then tells where
// those blocks lie until the chain has reached them.
std::uint32_t LoadFatChain(MountedVolume& volume, const disk::SectorReader& reader, std::uint32_t firstBlock,
                           const BlockList* mirror = nullptr);
// Whether the two FAT copies hold different entries for the volume's blocks:
// a FAT sector one copy reaches and the other does not counts as different.
bool FatCopiesDiffer(const MountedVolume& volume, const disk::SectorReader& reader, const BlockList& fat1,
                     const BlockList& fat2);
// Builds a DET block list through the chosen FAT; returns the links followed.
// `cut`, when given, is set when the chain ended because the FAT entry of its
// last block could not be read (not known or unreadable), so the directory
// may go on beyond it.
std::uint32_t LoadDetChain(const MountedVolume& volume, const disk::SectorReader& reader, std::uint32_t firstBlock,
                           BlockList& target, bool* cut = nullptr);

}  // namespace nw
