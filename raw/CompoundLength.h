// The length of a compound document (the container of Word, Excel and
// PowerPoint files) taken from its own header and sector allocation table.
#pragma once

#include <cstdint>
#include <optional>

#include "raw/DocumentReader.h"

namespace raw {

// (last used sector + 2) x sector size, when the header (512- or 4096-byte
// sectors) and the allocation table, reached through the header's list and
// the extra table chain, read consistently and the length stays within
// `maxLength`; nothing otherwise.
std::optional<std::uint64_t> CompoundDocumentLength(const DocumentReader& read, std::uint64_t maxLength);

}  // namespace raw
