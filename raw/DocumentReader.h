// Byte access to a document that lies on the disk from a given sector, as the
// length-from-structure readers need it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace raw {

constexpr std::size_t kSectorBytes = 512;

// Reads `count` bytes at byte `offset` from the document's first byte into
// `out`; false when they cannot be read (no device, a stop was asked).
using DocumentReader = std::function<bool(std::uint64_t offset, std::size_t count, std::uint8_t* out)>;

inline std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t Le64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(Le32(p)) | (static_cast<std::uint64_t>(Le32(p + 4)) << 32);
}

}  // namespace raw
