// The input formats of the fuzz targets, shared by the targets and by the
// seed writer so that seeds and targets agree.
#pragma once

#include <cstdint>
#include <vector>

#include "FuzzSupport.h"

namespace fuzz {

// fuzz_volume_tables: records of a 32-bit sector number (taken modulo the
// disk size) and 512 bytes, laid on an otherwise empty disk.
constexpr std::uint64_t kTableDiskSectors = 8192;

inline void PutLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

inline std::vector<std::uint8_t> EncodeSectorRecords(const SparseSectors& sectors, std::uint64_t limit) {
    std::vector<std::uint8_t> out;
    for (const auto& [n, s] : sectors) {
        if (n >= limit) continue;
        PutLe32(out, static_cast<std::uint32_t>(n));
        out.insert(out.end(), s.begin(), s.end());
    }
    return out;
}

inline SparseSectors DecodeSectorRecords(const std::uint8_t* data, std::size_t size, std::uint64_t limit) {
    SparseSectors sectors;
    InputReader in{data, size};
    while (!in.Done()) {
        const std::uint64_t n = in.U32() % limit;
        Sector s{};
        in.SectorInto(s);
        sectors[n] = s;
    }
    return sectors;
}

// fuzz_mount and fuzz_file_reader work on one fixed builder volume (see
// BaseVolume.h); their inputs replace its allocation and directory sectors.

// fuzz_carving: the bytes are the disk from sector 0, at most this many.
constexpr std::size_t kCarvingMaxBytes = 2 * 409600;

}  // namespace fuzz
