// The builder disk that the mount and file reader targets start from, and
// the sectors of it that their inputs replace: the allocation and directory
// blocks of both copies, in that order.
#pragma once

#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "netware/Volume.h"
#include "tools/nwimage/NwImage.h"

namespace fuzz {

struct BaseVolume {
    nwimage::Image image;
    nw::VolumeDescriptor descriptor;       // as the volume table gives it
    std::vector<std::uint64_t> targets;    // replaceable sectors
};

const BaseVolume& Base();

// Input layout of both targets: a header of `headerWords` 32-bit words, then
// records of one byte (index into Base().targets, modulo its size) and 512
// bytes that replace that sector.
SparseSectors PatchedBase(InputReader& in);

// The header words of a seed, then the records of every target sector that
// holds a nonzero byte: a seed reproduces the base disk exactly.
std::vector<std::uint8_t> BaseSeed(const std::vector<std::uint32_t>& header);

}  // namespace fuzz
