// Excel 5 workbook streams lying on their own: they begin with the
// application's name and carry the worksheet text near their end. Nothing
// in them records their length, and they are always workbooks.
#include <cstring>

#include "raw/Format.h"

namespace raw {

namespace {

constexpr std::uint8_t kHeader[] = {'M', 'i', 'c', 'r', 'o', 's', 'o', 'f', 't', ' ',
                                    'E', 'x', 'c', 'e', 'l', ' ', '5', '.', '0'};
// "Microsoft Excel Workshet" and two bytes 00 06.
constexpr std::uint8_t kWorksheetMarker[] = {'M', 'i', 'c', 'r', 'o', 's', 'o', 'f', 't', ' ', 'E', 'x', 'c',
                                             'e', 'l', ' ', 'W', 'o', 'r', 'k', 's', 'h', 'e', 't', 0x00, 0x06};
static_assert(sizeof kHeader == 19 && sizeof kWorksheetMarker == 26);

constexpr SignatureRecord kRecords[] = {
    {kHeader, sizeof kHeader, kWorksheetMarker, sizeof kWorksheetMarker, kinds::kExcel},
};

bool HeaderAt(const std::uint8_t* p, std::size_t available) {
    return available >= sizeof kHeader && std::memcmp(p, kHeader, sizeof kHeader) == 0;
}

std::optional<StructureLength> ExactLength(const LengthQuery&) { return std::nullopt; }

std::optional<int> KindOf(const DocumentReader&, std::uint64_t) { return kinds::kExcel; }

constexpr DocumentFormat kFormat{"Excel 5 stream", kinds::kExcel, kHeader, kRecords, HeaderAt, ExactLength, KindOf, nullptr, nullptr};

}  // namespace

const DocumentFormat& Excel5StreamFormat() { return kFormat; }

}  // namespace raw
