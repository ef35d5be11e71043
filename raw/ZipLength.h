// The length of a ZIP archive taken from its end-of-central-directory record.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "raw/DocumentReader.h"

namespace raw {

// For an end record at `endRecordOffset` bytes from the archive's first
// byte: the offset plus 22 plus the comment length, when the record (and the
// ZIP64 record it points to, where present) places the central directory
// right before it and the directory begins with its signature; nothing
// otherwise.
std::optional<std::uint64_t> ZipArchiveLength(const DocumentReader& read, std::uint64_t endRecordOffset);

// Where an archive keeps its central directory, as its end record gives it
// (offsets from the archive's first byte).
struct ZipLayout {
    std::uint64_t length = 0;            // as ZipArchiveLength
    std::uint64_t directoryOffset = 0;
    std::uint64_t directorySize = 0;
    std::uint64_t entries = 0;
};
std::optional<ZipLayout> ReadZipLayout(const DocumentReader& read, std::uint64_t endRecordOffset);

// The offsets of the members' local headers that the central directory
// lists, ascending; false when the directory does not read consistently
// (a wrong signature, an entry running past the directory, an offset at or
// past the directory, a different entry count) or is larger than 16 MiB.
bool ZipMemberOffsets(const DocumentReader& read, const ZipLayout& layout, std::vector<std::uint64_t>& offsets);

// How far an archive's own records follow one another from its first byte:
// the members' local headers with their data (and data descriptors), then
// the central directory, the ZIP64 records and the end record.
struct ZipRecordWalk {
    std::uint64_t extent = 0;             // bytes the records read account for
    bool complete = false;                // the walk read the end record to its last byte
    std::vector<std::uint64_t> members;   // offsets of the local headers read, ascending
};
// Walks the records as far as they read consistently, reading nothing at or
// past `limit` bytes. A member whose sizes the local header leaves to a data
// descriptor is measured by the descriptor that follows its data; the search
// for it ends at a sector start where `otherHeader` says another document
// begins (the member is then taken to run to that sector), or at `limit`.
ZipRecordWalk WalkZipRecords(const DocumentReader& read, std::uint64_t limit,
                             const std::function<bool(const std::uint8_t* sector)>& otherHeader);

}  // namespace raw
