// Writes a differencing VHD over a parent VHD (the tools that make the
// other test images cannot make one): a footer copy, the dynamic disk
// header naming the parent, the block table and one block whose sector
// bitmap marks the sectors the child holds; every other sector reads from
// the parent.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ContainerTools.h"
#include "common/TempDir.h"

namespace conttest {

namespace vhd {

constexpr std::uint32_t kBlockBytes = 2u << 20;  // the usual block size
constexpr std::uint32_t kBitmapBytes = kBlockBytes / 512 / 8;
constexpr std::uint32_t kFooterBytes = 512;
constexpr std::uint32_t kHeaderBytes = 1024;
constexpr std::uint32_t kDifferencing = 4;
constexpr std::uint32_t kUnusedBlock = 0xFFFFFFFFu;

inline void Be32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}
inline void Be64(std::uint8_t* p, std::uint64_t v) {
    Be32(p, static_cast<std::uint32_t>(v >> 32));
    Be32(p + 4, static_cast<std::uint32_t>(v));
}
// One's complement of the byte sum (the checksum field counted as zero).
inline std::uint32_t Checksum(const std::uint8_t* p, std::size_t n) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < n; ++i) sum += p[i];
    return ~sum;
}

}  // namespace vhd

// Writes `child` over `parent` (a VHD of `diskBytes`, found beside the
// child by its file name `parentName`): `sectors` hold the bytes for the
// sectors from `first` on, which must lie in one 2 MiB block.
inline void WriteDifferencingVhd(const std::string& child, const std::string& parent, const std::string& parentName,
                                 std::uint64_t diskBytes, std::uint64_t first, const std::vector<std::uint8_t>& sectors) {
    using namespace vhd;
    const std::string parentBytes = testutil::ReadFile(parent);
    const std::uint32_t blocks = static_cast<std::uint32_t>((diskBytes + kBlockBytes - 1) / kBlockBytes);
    const std::uint32_t tableBytes = (blocks * 4 + kSector - 1) / kSector * kSector;
    const std::uint64_t tableOffset = kFooterBytes + kHeaderBytes;
    const std::uint64_t blockOffset = tableOffset + tableBytes;
    const std::uint32_t block = static_cast<std::uint32_t>(first * kSector / kBlockBytes);
    const std::uint32_t within = static_cast<std::uint32_t>(first - std::uint64_t(block) * kBlockBytes / kSector);

    std::vector<std::uint8_t> out(blockOffset + kBitmapBytes + kBlockBytes + kFooterBytes, 0);
    std::uint8_t* footer = out.data();
    std::memcpy(footer, "conectix", 8);
    Be32(footer + 8, 2);
    Be32(footer + 12, 0x00010000);
    Be64(footer + 16, kFooterBytes);  // the dynamic header follows
    std::memcpy(footer + 28, "tstw", 4);
    std::memcpy(footer + 36, "Wi2k", 4);
    Be64(footer + 40, diskBytes);
    Be64(footer + 48, diskBytes);
    Be32(footer + 56, (16u << 16) | (4u << 8) | 17u);  // any geometry: readers go by the size
    Be32(footer + 60, kDifferencing);
    for (int i = 0; i < 16; ++i) footer[68 + i] = static_cast<std::uint8_t>(0xC0 + i);
    Be32(footer + 64, Checksum(footer, kFooterBytes));

    std::uint8_t* header = out.data() + kFooterBytes;
    std::memcpy(header, "cxsparse", 8);
    Be64(header + 8, ~0ull);
    Be64(header + 16, tableOffset);
    Be32(header + 24, 0x00010000);
    Be32(header + 28, blocks);
    Be32(header + 32, kBlockBytes);
    // the parent's identity: the unique id of its footer
    std::memcpy(header + 40, parentBytes.data() + parentBytes.size() - kFooterBytes + 68, 16);
    for (std::size_t i = 0; i < parentName.size(); ++i) header[64 + 2 * i + 1] = static_cast<std::uint8_t>(parentName[i]);
    Be32(header + 36, Checksum(header, kHeaderBytes));

    for (std::uint32_t b = 0; b < blocks; ++b)
        Be32(out.data() + tableOffset + 4 * b, b == block ? static_cast<std::uint32_t>(blockOffset / kSector) : kUnusedBlock);
    std::uint8_t* bitmap = out.data() + blockOffset;
    std::uint8_t* data = bitmap + kBitmapBytes;
    for (std::uint32_t s = 0; s < sectors.size() / kSector; ++s) {
        const std::uint32_t at = within + s;
        bitmap[at / 8] |= static_cast<std::uint8_t>(0x80u >> (at % 8));
        std::memcpy(data + std::uint64_t(at) * kSector, sectors.data() + std::uint64_t(s) * kSector, kSector);
    }
    std::memcpy(out.data() + out.size() - kFooterBytes, footer, kFooterBytes);
    testutil::WriteFile(child, std::string(out.begin(), out.end()));
}

}  // namespace conttest
