// The blocks of a dynamic or differencing VHD (version 1), read from the
// file directly: its block table, and the sector bitmap in front of each
// block (a set bit, most significant first, marks a sector the image holds;
// the others are zeros in a dynamic image and its parent's in a
// differencing one). The VHD reader reads these blocks itself rather than
// through its library, whose version in use reads them about ten times
// slower than the file gives them and takes the sectors after a run of set
// bits in one bitmap byte from the child instead of the parent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disk/PosixFile.h"

namespace disk {

class VhdSectorMap {
public:
    // Reads the footer, the dynamic disk header and the block table of the
    // image at `path`; false with *reason when they cannot be read or make
    // no sense.
    bool Load(const std::string& path, std::string* reason);

    // How many sectors from `sector` on (at most `count`, at least 1) lie
    // on the same side; *inImage says whether the image holds them, and
    // then *fileByte where the first of them lies in the file. False when a
    // sector bitmap cannot be read. Not for two threads at once.
    bool Run(std::uint64_t sector, std::uint64_t count, std::uint64_t* run, bool* inImage, std::uint64_t* fileByte);
    // Reads bytes of the file (false when they are not all there).
    bool ReadFile(std::uint64_t fileByte, std::uint64_t length, std::uint8_t* out) const;

private:
    bool Bitmap(std::uint32_t block);

    UniqueFd fd_;
    std::uint64_t fileSize_ = 0;
    std::uint32_t blockSectors_ = 0;
    std::uint32_t bitmapBytes_ = 0;
    std::vector<std::uint32_t> table_;  // sector of each block's bitmap, or kUnused
    std::uint32_t cachedBlock_ = 0;
    bool cached_ = false;
    std::vector<std::uint8_t> bitmap_;
};

}  // namespace disk
