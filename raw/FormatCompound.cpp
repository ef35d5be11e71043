// Compound documents: the container Word, Excel 97 and later, and PowerPoint
// files share. The header is the container's signature; the type markers
// are the class name a Word document carries, the workbook stream's name,
// the worksheet text and the presentation stream's name. The length comes
// from the sector allocation table, the kind from the streams below the
// directory's root or, when the directory cannot be read or names none of
// them, from three probes at fixed offsets of the first ten sectors.
#include <algorithm>
#include <cstring>
#include <strings.h>

#include "base/Bytes.h"
#include "raw/CompoundLength.h"
#include "raw/Format.h"

namespace raw {

namespace {

constexpr std::uint8_t kHeader[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::uint8_t kWordMarker[] = {'W', 'o', 'r', 'd', '.', 'D', 'o', 'c', 'u', 'm', 'e', 'n', 't'};
// "Workbook" in UTF-16LE without its last zero byte.
constexpr std::uint8_t kWorkbookMarker[] = {0x57, 0x00, 0x6F, 0x00, 0x72, 0x00, 0x6B, 0x00,
                                            0x62, 0x00, 0x6F, 0x00, 0x6F, 0x00, 0x6B};
// "Microsoft Excel Workshet" and two bytes 00 06.
constexpr std::uint8_t kWorksheetMarker[] = {'M', 'i', 'c', 'r', 'o', 's', 'o', 'f', 't', ' ', 'E', 'x', 'c',
                                             'e', 'l', ' ', 'W', 'o', 'r', 'k', 's', 'h', 'e', 't', 0x00, 0x06};
// "PowerPoint Document" in UTF-16LE without its last zero byte.
constexpr std::uint8_t kPowerPointMarker[] = {'P', 0, 'o', 0, 'w', 0, 'e', 0, 'r', 0, 'P', 0, 'o', 0,
                                              'i', 0, 'n', 0, 't', 0, ' ', 0, 'D', 0, 'o', 0, 'c', 0,
                                              'u', 0, 'm', 0, 'e', 0, 'n', 0, 't'};
static_assert(sizeof kWordMarker == 13 && sizeof kWorkbookMarker == 15);
static_assert(sizeof kWorksheetMarker == 26 && sizeof kPowerPointMarker == 37);

constexpr SignatureRecord kRecords[] = {
    {kHeader, sizeof kHeader, kWordMarker, sizeof kWordMarker, kinds::kWord},
    {kHeader, sizeof kHeader, kWorkbookMarker, sizeof kWorkbookMarker, kinds::kExcel},
    {kHeader, sizeof kHeader, kWorksheetMarker, sizeof kWorksheetMarker, kinds::kExcel},
    {kHeader, sizeof kHeader, kPowerPointMarker, sizeof kPowerPointMarker, kinds::kPowerPoint},
};

// The streams that make a compound document one kind or another; "Book" is
// the workbook stream of Excel 5 and 95 files.
struct StreamKind {
    const char* name;
    int kind;
};
constexpr StreamKind kStreamKinds[] = {
    {"WordDocument", kinds::kWord},
    {"Workbook", kinds::kExcel},
    {"Book", kinds::kExcel},
    {"PowerPoint Document", kinds::kPowerPoint},
};

// The probes, in the order they are tried.
constexpr std::uint8_t kExcel5Text[] = {'M', 'i', 'c', 'r', 'o', 's', 'o', 'f', 't', ' ',
                                        'E', 'x', 'c', 'e', 'l', ' ', '5', '.', '0'};
constexpr std::size_t kExcelTextLength = 15;  // "Microsoft Excel", the start of the above
constexpr std::size_t kExcel5ProbeOffset = 2080;
constexpr std::size_t kExcelProbeOffset = 4768;
constexpr std::size_t kPowerPointProbeOffset = 1152;
constexpr std::size_t kProbeBytes = 10 * kSectorBytes;  // the first ten sectors
struct Probe {
    std::size_t offset;
    const std::uint8_t* bytes;
    std::size_t length;
    int kind;
};
constexpr Probe kProbes[] = {
    {kExcel5ProbeOffset, kExcel5Text, sizeof kExcel5Text, kinds::kExcel},
    {kExcelProbeOffset, kExcel5Text, kExcelTextLength, kinds::kExcel},
    {kPowerPointProbeOffset, kPowerPointMarker, sizeof kPowerPointMarker, kinds::kPowerPoint},
};
static_assert(kExcelProbeOffset + kExcelTextLength <= kProbeBytes);

bool HeaderAt(const std::uint8_t* p, std::size_t available) {
    return available >= sizeof kHeader && std::memcmp(p, kHeader, sizeof kHeader) == 0;
}

// A file kept whole in a stream (an embedded package: a ZIP-based document
// inside an older one, or another compound document) begins at a sector
// start of the document and so of the disk. The sectors of such a stream
// are the document's own, headers included.
std::vector<std::uint64_t> EmbeddedFileSectors(const LengthQuery& q, const CompoundLayout& layout) {
    std::vector<std::uint64_t> own;
    std::uint8_t head[kSectorBytes];
    for (const std::vector<std::uint64_t>& chain : layout.streams) {
        if (chain.empty() || !q.read(chain.front(), sizeof head, head) || HeaderRecordAt(head, sizeof head) < 0)
            continue;
        for (std::uint64_t offset : chain)
            for (std::uint64_t b = 0; b < layout.sectorSize; b += kSectorBytes)
                own.push_back(q.start + (offset + b) / kSectorBytes);
    }
    std::sort(own.begin(), own.end());
    own.erase(std::unique(own.begin(), own.end()), own.end());
    return own;
}

std::optional<StructureLength> ExactLength(const LengthQuery& q) {
    const std::optional<CompoundLayout> layout = ReadCompoundLayout(q.read, kMaxStructureLength);
    if (!layout || layout->length == 0) return std::nullopt;
    return StructureLength{layout->length, EmbeddedFileSectors(q, *layout)};
}

// The kind whose main stream begins with the sector at `p`: a workbook's
// BOF record (BIFF5 or BIFF8, workbook globals), a Word file information
// block, a presentation's document container.
std::optional<int> StreamStartKind(const std::uint8_t* p) {
    const std::uint16_t a = base::LoadLe16(p), b = base::LoadLe16(p + 2), c = base::LoadLe16(p + 4);
    if (a == 0x0809 && b >= 8 && b <= 20 && (c == 0x0500 || c == 0x0600) && base::LoadLe16(p + 6) == 0x0005)
        return kinds::kExcel;
    if (a == 0xA5EC && b >= 0x0065 && b <= 0x0101) return kinds::kWord;
    if (a == 0x000F && b == 0x03E8) return kinds::kPowerPoint;
    return std::nullopt;
}

// The sectors of the document searched for a main stream's start when its
// directory cannot be read.
constexpr std::uint64_t kStreamSearchBytes = 1u << 20;

// The first stream kind (in the order above) among the root's children.
// When the directory cannot be read or names none of them, the first probe
// that matches within the document, then the first sector within it that
// begins a main stream.
std::optional<int> KindOf(const DocumentReader& read, std::uint64_t extent) {
    if (const std::optional<std::vector<std::string>> names = CompoundRootNames(read, extent, kMaxStructureLength))
        for (const StreamKind& s : kStreamKinds)
            for (const std::string& name : *names)
                if (::strcasecmp(name.c_str(), s.name) == 0) return s.kind;
    std::uint8_t head[kProbeBytes];
    if (!read(0, sizeof head, head)) return std::nullopt;
    for (const Probe& p : kProbes)
        if (p.offset + p.length <= extent && std::memcmp(head + p.offset, p.bytes, p.length) == 0) return p.kind;
    std::uint8_t sector[kSectorBytes];
    for (std::uint64_t at = kSectorBytes; at + kSectorBytes <= std::min(extent, kStreamSearchBytes); at += kSectorBytes)
        if (!read(at, sizeof sector, sector)) break;
        else if (const std::optional<int> kind = StreamStartKind(sector)) return kind;
    return std::nullopt;
}

std::optional<std::uint64_t> ClaimedLength(const DocumentReader& read) {
    if (const std::optional<CompoundLayout> layout = ReadCompoundLayout(read, kMaxStructureLength))
        return layout->length;
    return CompoundHeaderClaim(read, kMaxStructureLength);
}

constexpr DocumentFormat kFormat{"compound document", kinds::kWord, kHeader, kRecords, HeaderAt, ExactLength, KindOf,
                                 ClaimedLength, nullptr};

}  // namespace

const DocumentFormat& CompoundDocumentFormat() { return kFormat; }

}  // namespace raw
