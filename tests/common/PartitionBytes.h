// Partition tables as literal bytes for the tests: an MBR-style entry in a
// boot record, and a small GPT disk with its checksums.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "disk/Disk.h"
#include "disk/PartitionTable.h"

namespace partbytes {

using disk::kSectorSize;

inline void Put32(std::string& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}
inline void Put64(std::string& b, std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}
// An MBR-style entry in the boot record at sector `sector`.
inline void Entry(std::string& img, std::uint64_t sector, unsigned slot, std::uint8_t type, std::uint32_t first,
                  std::uint32_t count) {
    const std::size_t at = sector * kSectorSize + 0x1BE + 16 * slot;
    img[at + 4] = static_cast<char>(type);
    Put32(img, at + 8, first);
    Put32(img, at + 12, count);
    img[sector * kSectorSize + 510] = '\x55';
    img[sector * kSectorSize + 511] = '\xAA';
}

// A GPT disk of 4096 sectors: protective MBR, header at 1, 128 entries at 2,
// backup header in the last sector.
inline std::string GptDisk() {
    const std::uint64_t sectors = 4096;
    std::string img(sectors * kSectorSize, '\0');
    Entry(img, 0, 0, 0xEE, 1, sectors - 1);
    // Entry 1: EFI system, written as the GUID's bytes lie on disk.
    const unsigned char efi[16] = {0x28, 0x73, 0x2A, 0xC1, 0x1F, 0xF8, 0xD2, 0x11,
                                   0xBA, 0x4B, 0x00, 0xA0, 0xC9, 0x3E, 0xC9, 0x3B};
    const std::size_t e1 = 2 * kSectorSize;
    std::memcpy(&img[e1], efi, 16);
    img[e1 + 16] = 1;  // a unique GUID that is not zero
    Put64(img, e1 + 32, 34);
    Put64(img, e1 + 40, 1057);
    const char* name = "boot";
    for (int i = 0; name[i]; ++i) img[e1 + 56 + 2 * i] = name[i];
    // Entry 3 (slot 2): an unknown type keeps its GUID.
    const std::size_t e3 = e1 + 2 * 128;
    for (int i = 0; i < 16; ++i) img[e3 + i] = static_cast<char>(0x10 + i);
    Put64(img, e3 + 32, 2048);
    Put64(img, e3 + 40, 4000);
    const std::uint32_t entriesCrc = disk::Crc32(&img[e1], 128 * 128);
    auto header = [&](std::uint64_t at, std::uint64_t entriesAt) {
        const std::size_t h = at * kSectorSize;
        std::memcpy(&img[h], "EFI PART", 8);
        Put32(img, h + 8, 0x00010000);
        Put32(img, h + 12, 92);
        Put64(img, h + 24, at);
        Put64(img, h + 72, entriesAt);
        Put32(img, h + 80, 128);
        Put32(img, h + 84, 128);
        Put32(img, h + 88, entriesCrc);
        Put32(img, h + 16, disk::Crc32(&img[h], 92));
    };
    header(1, 2);
    header(sectors - 1, 2);
    return img;
}

}  // namespace partbytes
