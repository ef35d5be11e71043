// The document formats raw recovery carves, one file each (FormatCompound,
// FormatExcel5, FormatZip), kept in search order by the registry
// (FormatRegistry). A format gives the header signature its documents begin
// with at a sector start, its signature records (the type markers that may
// end a document, with the kind each stands for), how a document's exact
// length is read from its own structure, and how its kind is read from the
// document itself. Names, prefixes and row texts come from the kinds table
// (FormatKinds.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "raw/DocumentReader.h"
#include "raw/FormatKinds.h"

namespace raw {

constexpr std::uint32_t kWindowSectors = 800;
constexpr std::size_t kWindowBytes = kWindowSectors * kSectorBytes;

// Signature records, over all formats in registry order: the compound
// document's four, the Excel 5 stream's, the archive's.
constexpr int kRecordCount = 6;

struct SignatureRecord {
    const std::uint8_t* header;   // matched at the first byte of a sector
    std::size_t headerLength;
    const std::uint8_t* marker;   // matched at any byte of a window
    std::size_t markerLength;
    int kind;                     // what the marker says the document is
};

// A document beginning in a window: its first sector and the record of its
// format's first signature record.
struct Candidate {
    std::uint64_t sector = 0;
    int record = 0;
};

// Every position of every type marker in a window, ascending per record.
struct MarkerMatches {
    std::array<std::vector<std::uint32_t>, kRecordCount> offsets;
    void Clear() {
        for (auto& o : offsets) o.clear();
    }
};

// What an exact-length reader is given: the document, and the window it is
// worked through in (the one it begins in, or the one that ends it when it
// was carried over from earlier windows).
struct LengthQuery {
    const DocumentReader& read;                   // the document's bytes from its first byte
    std::uint64_t start = 0;                      // its first sector
    std::uint64_t windowBase = 0;                 // the window's first sector
    const MarkerMatches& markers;                 // the window's type markers
    const std::vector<Candidate>& candidates;     // the window's candidates
};

// A document's length as its own structure records it.
struct StructureLength {
    std::uint64_t bytes = 0;
    // Sectors inside the document whose header signature belongs to the
    // document itself (an archive's members), ascending: no other documents.
    std::vector<std::uint64_t> ownHeaders;
};

struct DocumentFormat {
    const char* name;
    int kind;                                     // the kind when the document tells no other
    std::span<const std::uint8_t> header;         // the signature at a sector start
    std::span<const SignatureRecord> records;     // its type markers
    // Whether the sector starting at `p` (at least `available` bytes) carries
    // the header.
    bool (*headerAt)(const std::uint8_t* p, std::size_t available);
    // The document's length from its own structure; nothing when it does not
    // record one or it does not read consistently.
    std::optional<StructureLength> (*exactLength)(const LengthQuery& query);
    // The document's kind from its own structure, reading nothing past
    // `extent` bytes; nothing when it cannot tell.
    std::optional<int> (*kindOf)(const DocumentReader& read, std::uint64_t extent);
    // How many bytes the document's header says it holds at least (the
    // places of its own tables), also when its tables do not read; none
    // when the format records nothing of the kind or the header does not
    // read. A document whose claim reaches past the data found is
    // incomplete.
    std::optional<std::uint64_t> (*claimedLength)(const DocumentReader& read);
    // For a document whose exact length does not read: how far its own
    // records follow one another when they stop before its end (its bytes
    // and the sectors of its own headers); none when the format cannot tell
    // or its records reach their end. Such a document is incomplete: what
    // lies before another document, the disk's end or that point was found.
    std::optional<StructureLength> (*partialLength)(const LengthQuery& query);
};

const DocumentFormat& CompoundDocumentFormat();
const DocumentFormat& Excel5StreamFormat();
const DocumentFormat& ZipArchiveFormat();

// ---- registry -------------------------------------------------------------------

// The formats in search order.
std::span<const DocumentFormat* const> DocumentFormats();
// The signature records of all formats, in search order.
const std::array<SignatureRecord, kRecordCount>& SignatureRecords();
// How many signature records the formats define together (kRecordCount).
int DefinedRecordCount();
// The format a signature record belongs to, and the first record of a format.
const DocumentFormat& FormatOfRecord(int record);
int FirstRecordOf(const DocumentFormat& format);
// Whether the bytes at `p` (at least `available` bytes) carry the header of
// record `record`'s format.
bool HeaderMatches(int record, const std::uint8_t* p, std::size_t available);
// The first record (in search order) whose format's header the sector
// starting at `p` carries, or -1.
int HeaderRecordAt(const std::uint8_t* p, std::size_t available);
// Whether some format's header begins with the byte, and the same for every
// byte value at once.
bool MayStartHeader(std::uint8_t first);
const std::array<bool, 256>& HeaderFirstBytes();

// The largest document whose length is taken from its structure.
constexpr std::uint64_t kMaxStructureLength = 1ull << 32;

}  // namespace raw
