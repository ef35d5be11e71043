// Image files for the disk tests: every sector filled with one byte that
// depends on its number (and on a seed, so two images differ), and GNU
// ddrescue mapfiles marking a run of sectors as unread.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>

#include "common/TempDir.h"
#include "disk/Disk.h"

namespace disktest {

using disk::kSectorSize;

// The byte every sector of a test image is filled with.
inline std::uint8_t Fill(std::uint64_t sector, std::uint8_t seed = 0) {
    return static_cast<std::uint8_t>(sector * 7 + 1 + seed * 101);
}

inline std::string MakeImage(const testutil::TempDir& dir, std::uint64_t sectors, const std::string& name = "disk.img",
                             std::uint8_t seed = 0) {
    std::string bytes(sectors * kSectorSize, '\0');
    for (std::uint64_t s = 0; s < sectors; ++s) std::memset(&bytes[s * kSectorSize], Fill(s, seed), kSectorSize);
    std::string path = dir.File(name);
    testutil::WriteFile(path, bytes);
    return path;
}

// A mapfile marking sectors [badFirst, badFirst + badCount) of an image as unread.
inline std::string MakeMap(const testutil::TempDir& dir, std::uint64_t sectors, std::uint64_t badFirst,
                           std::uint64_t badCount, const std::string& name = "disk.map") {
    auto hex = [](std::uint64_t v) {
        char b[32];
        std::snprintf(b, sizeof b, "0x%08llX", static_cast<unsigned long long>(v));
        return std::string(b);
    };
    std::string text = "# Mapfile\n# current_pos  current_status  current_pass\n0x00000000     +               1\n";
    text += hex(0) + "  " + hex(badFirst * kSectorSize) + "  +\n";
    text += hex(badFirst * kSectorSize) + "  " + hex(badCount * kSectorSize) + "  -\n";
    const std::uint64_t after = badFirst + badCount;
    text += hex(after * kSectorSize) + "  " + hex((sectors - after) * kSectorSize) + "  +\n";
    std::string path = dir.File(name);
    testutil::WriteFile(path, text);
    return path;
}

// True when sector i of buf is filled with v.
template <class Buffer>
bool SectorIs(const Buffer& buf, unsigned i, std::uint8_t v) {
    for (unsigned b = 0; b < kSectorSize; ++b)
        if (buf[static_cast<std::size_t>(i) * kSectorSize + b] != v) return false;
    return true;
}

}  // namespace disktest
