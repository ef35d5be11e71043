// The length and the top-level directory of a compound document (the
// container of Word, Excel and PowerPoint files) taken from its own header,
// sector allocation table and directory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "raw/DocumentReader.h"

namespace raw {

// (last used sector + 2) x sector size, when the header (512- or 4096-byte
// sectors) and the allocation table, reached through the header's list and
// the extra table chain, read consistently and the length stays within
// `maxLength`; nothing otherwise.
std::optional<std::uint64_t> CompoundDocumentLength(const DocumentReader& read, std::uint64_t maxLength);

// The names of the streams and storages right below the directory's root
// entry ("WordDocument", "Workbook", ...; characters outside ASCII as '?').
// The directory is read along its chain in the allocation table or, when
// the table does not read consistently (see CompoundDocumentLength), from
// its first sector alone; only sectors lying within the first `extent`
// bytes of the document are read. Nothing when the header is not a compound
// document's or the first directory entry is not the root.
std::optional<std::vector<std::string>> CompoundRootNames(const DocumentReader& read, std::uint64_t extent,
                                                         std::uint64_t maxLength);

}  // namespace raw
