// Byte access to a document that lies on the disk from a given sector, as the
// length-from-structure readers need it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "base/Bytes.h"

namespace raw {

constexpr std::size_t kSectorBytes = 512;

// Reads `count` bytes at byte `offset` from the document's first byte into
// `out`; false when they cannot be read (no device, a stop was asked).
using DocumentReader = std::function<bool(std::uint64_t offset, std::size_t count, std::uint8_t* out)>;

}  // namespace raw
