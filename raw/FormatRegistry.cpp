// The formats in search order, and the signature records they make up.
#include "raw/Format.h"

namespace raw {

namespace {

constexpr std::size_t kFormatCount = 3;

struct Registry {
    std::array<const DocumentFormat*, kFormatCount> formats{&CompoundDocumentFormat(), &Excel5StreamFormat(),
                                                             &ZipArchiveFormat()};
    std::array<SignatureRecord, kRecordCount> records{};
    std::array<const DocumentFormat*, kRecordCount> recordFormat{};
    std::array<int, kFormatCount> firstRecord{};
    std::array<bool, 256> startsHeader{};
    int recordsDefined = 0;

    Registry() {
        // The records' numbers are fixed (the end rule orders them); the
        // formats' records add up to them (a test holds them to it), and
        // one too many is never stored.
        int r = 0;
        for (std::size_t f = 0; f < formats.size(); ++f) {
            firstRecord[f] = r;
            startsHeader[formats[f]->header[0]] = true;
            for (const SignatureRecord& rec : formats[f]->records) {
                ++recordsDefined;
                if (r == kRecordCount) break;
                records[r] = rec;
                recordFormat[r] = formats[f];
                ++r;
            }
        }
    }
};

const Registry& Formats() {
    static const Registry registry;
    return registry;
}

}  // namespace

std::span<const DocumentFormat* const> DocumentFormats() { return Formats().formats; }

const std::array<SignatureRecord, kRecordCount>& SignatureRecords() { return Formats().records; }

int DefinedRecordCount() { return Formats().recordsDefined; }

const DocumentFormat& FormatOfRecord(int record) { return *Formats().recordFormat[record]; }

int FirstRecordOf(const DocumentFormat& format) {
    const Registry& reg = Formats();
    for (std::size_t f = 0; f < reg.formats.size(); ++f)
        if (reg.formats[f] == &format) return reg.firstRecord[f];
    return -1;
}

bool HeaderMatches(int record, const std::uint8_t* p, std::size_t available) {
    if (record < 0 || record >= kRecordCount || available == 0) return false;
    return FormatOfRecord(record).headerAt(p, available);
}

int HeaderRecordAt(const std::uint8_t* p, std::size_t available) {
    if (available == 0 || !MayStartHeader(p[0])) return -1;
    const Registry& reg = Formats();
    for (std::size_t f = 0; f < reg.formats.size(); ++f)
        if (reg.formats[f]->headerAt(p, available)) return reg.firstRecord[f];
    return -1;
}

bool MayStartHeader(std::uint8_t first) { return Formats().startsHeader[first]; }

const std::array<bool, 256>& HeaderFirstBytes() { return Formats().startsHeader; }

}  // namespace raw
