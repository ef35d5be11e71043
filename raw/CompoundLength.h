// The length, the top-level directory and the stream sectors of a compound
// document (the container of Word, Excel and PowerPoint files) taken from
// its own header, sector allocation table and directory.
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

// The document's length (as CompoundDocumentLength gives it) with where the
// streams kept in its own sectors lie (streams below the small-stream cutoff
// lie inside the small-stream area and are not listed): for each, the byte
// offsets from the document's first byte of its sectors in chain order,
// each `sectorSize` bytes long. A chain that ends early or loops is taken as
// far as it goes; no streams are listed when the directory cannot be read.
// The bytes the header says the document holds at least: through the last
// of the sectors it places (the allocation table's sectors in its own list,
// the extra table chain's first sector, the directory's first sector);
// nothing when the header is not a compound document's or the claim passes
// `maxLength`.
std::optional<std::uint64_t> CompoundHeaderClaim(const DocumentReader& read, std::uint64_t maxLength);

struct CompoundLayout {
    std::uint64_t length = 0;
    std::uint32_t sectorSize = 0;
    std::vector<std::vector<std::uint64_t>> streams;
};
std::optional<CompoundLayout> ReadCompoundLayout(const DocumentReader& read, std::uint64_t maxLength);

}  // namespace raw
