// ZIP archives (also the xlsx, docx, pptx and OpenDocument files built on
// them). The header is a member's local header with a version byte a
// current tool writes; the type marker is the end-of-central-directory
// record, which also gives the archive's exact length. An archive is always
// of the Zip kind.
#include <algorithm>
#include <cstring>

#include "raw/Format.h"
#include "raw/ZipLength.h"

namespace raw {

namespace {

// "PK", 3, 4, then the version needed to extract: 1.0 in the written rules;
// every version from 1.0 to 6.3 is taken.
constexpr std::uint8_t kHeader[] = {0x50, 0x4B, 0x03, 0x04, 0x0A};
constexpr std::size_t kHeaderSignatureLength = 4;
constexpr std::uint8_t kLowestVersion = 0x0A;
constexpr std::uint8_t kHighestVersion = 0x3F;
// "PK", 5, 6, then the low byte of the disk number, 0.
constexpr std::uint8_t kEndMarker[] = {0x50, 0x4B, 0x05, 0x06, 0x00};

constexpr SignatureRecord kRecords[] = {
    {kHeader, sizeof kHeader, kEndMarker, sizeof kEndMarker, kinds::kZip},
};

// An end record lies past the first member's local header.
constexpr std::uint64_t kLocalHeaderBytes = 30;
// How far past the window an archive's end record is sought, and in what
// pieces.
constexpr std::uint64_t kLookAheadBytes = 32u << 20;
constexpr std::size_t kLookAheadPiece = 64 * 1024;
static_assert(kLookAheadPiece % kSectorBytes == 0);

bool HeaderAt(const std::uint8_t* p, std::size_t available) {
    return available >= sizeof kHeader && std::memcmp(p, kHeader, kHeaderSignatureLength) == 0 &&
           p[kHeaderSignatureLength] >= kLowestVersion && p[kHeaderSignatureLength] <= kHighestVersion;
}

const DocumentFormat& Self();

bool OtherFormatsHeader(const std::uint8_t* p, std::size_t available) {
    if (!MayStartHeader(p[0])) return false;
    const int record = HeaderRecordAt(p, available);
    return record >= 0 && &FormatOfRecord(record) != &Self();
}

// The archive whose end record lies `endRecord` bytes from its first byte,
// when the record places the central directory consistently (`decided`);
// members whose local headers start a sector are its own headers.
std::optional<StructureLength> FromEndRecord(const LengthQuery& q, std::uint64_t endRecord, bool& decided) {
    const std::optional<ZipLayout> layout = ReadZipLayout(q.read, endRecord);
    if (!layout || layout->length == 0 || layout->length > kMaxStructureLength) return std::nullopt;
    decided = true;
    StructureLength s{layout->length, {}};
    std::vector<std::uint64_t> members;
    if (ZipMemberOffsets(q.read, *layout, members))
        for (std::uint64_t m : members)
            if (m > 0 && m % kSectorBytes == 0) s.ownHeaders.push_back(q.start + m / kSectorBytes);
    return s;
}

// The first end record above the archive's start that places the central
// directory consistently: among the window's markers, then read ahead past
// the window. The search stops at the first header of another format (the
// archive ends before it, or is broken).
std::optional<StructureLength> ExactLength(const LengthQuery& q) {
    const std::uint64_t first = q.start * kSectorBytes;
    const std::uint64_t windowFirst = q.windowBase * kSectorBytes;
    const std::uint64_t windowEnd = windowFirst + kWindowBytes;
    std::uint64_t bound = windowEnd;
    for (const Candidate& c : q.candidates)
        if (c.sector > q.start && &FormatOfRecord(c.record) != &Self()) {
            bound = c.sector * kSectorBytes;
            break;
        }
    bool decided = false;
    for (std::uint32_t off : q.markers.offsets[FirstRecordOf(Self())]) {
        const std::uint64_t at = windowFirst + off;
        if (at < first + kLocalHeaderBytes) continue;
        if (at >= bound) break;
        std::optional<StructureLength> s = FromEndRecord(q, at - first, decided);
        if (decided) return s;
    }
    if (bound < windowEnd || windowEnd <= first) return std::nullopt;

    // Each piece is read with the first bytes of the next, so that an end
    // record across the boundary is seen.
    constexpr std::size_t kOverlap = sizeof kEndMarker - 1;
    std::vector<std::uint8_t> piece(kLookAheadPiece + kOverlap);
    for (std::uint64_t from = windowEnd - first; from < windowEnd - first + kLookAheadBytes;
         from += kLookAheadPiece) {
        if (!q.read(from, piece.size(), piece.data())) return std::nullopt;
        std::size_t stop = kLookAheadPiece;
        for (std::size_t s = 0; s < kLookAheadPiece; s += kSectorBytes)
            if (OtherFormatsHeader(piece.data() + s, piece.size() - s)) {
                stop = s;
                break;
            }
        for (const std::uint8_t* p = piece.data(); p < piece.data() + stop; ++p) {
            p = static_cast<const std::uint8_t*>(std::memchr(p, kEndMarker[0], piece.data() + stop - p));
            if (!p) break;
            if (std::memcmp(p, kEndMarker, sizeof kEndMarker) != 0) continue;
            std::optional<StructureLength> s = FromEndRecord(q, from + static_cast<std::uint64_t>(p - piece.data()), decided);
            if (decided) return s;
        }
        if (stop < kLookAheadPiece) return std::nullopt;
    }
    return std::nullopt;
}

// An archive without an end record that places its central directory (cut
// short, or followed by another document before its end): its records
// followed as far as they read, within the reach of the end record's search.
std::optional<StructureLength> PartialLength(const LengthQuery& q) {
    const std::uint64_t first = q.start * kSectorBytes;
    const std::uint64_t reach = q.windowBase * kSectorBytes + kWindowBytes + kLookAheadBytes;
    if (reach <= first) return std::nullopt;
    const ZipRecordWalk walk = WalkZipRecords(q.read, std::min(reach - first, kMaxStructureLength),
                                              [](const std::uint8_t* p) { return HeaderRecordAt(p, kSectorBytes) >= 0; });
    if (walk.complete || walk.extent == 0) return std::nullopt;
    StructureLength s{walk.extent, {}};
    for (std::uint64_t m : walk.members)
        if (m > 0 && m % kSectorBytes == 0) s.ownHeaders.push_back(q.start + m / kSectorBytes);
    return s;
}

std::optional<int> KindOf(const DocumentReader&, std::uint64_t) { return kinds::kZip; }

constexpr DocumentFormat kFormat{"ZIP archive", kinds::kZip, kHeader, kRecords, HeaderAt, ExactLength, KindOf, nullptr,
                                 PartialLength};

const DocumentFormat& Self() { return kFormat; }

}  // namespace

const DocumentFormat& ZipArchiveFormat() { return kFormat; }

}  // namespace raw
