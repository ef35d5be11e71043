// The length of a ZIP archive taken from its end-of-central-directory record.
#pragma once

#include <cstdint>
#include <optional>

#include "raw/DocumentReader.h"

namespace raw {

// For an end record at `endRecordOffset` bytes from the archive's first
// byte: the offset plus 22 plus the comment length, when the record (and the
// ZIP64 record it points to, where present) places the central directory
// right before it and the directory begins with its signature; nothing
// otherwise.
std::optional<std::uint64_t> ZipArchiveLength(const DocumentReader& read, std::uint64_t endRecordOffset);

}  // namespace raw
