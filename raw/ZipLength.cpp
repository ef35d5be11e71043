#include "raw/ZipLength.h"

namespace raw {

namespace {
constexpr std::uint32_t kEndRecord = 0x06054B50;
constexpr std::uint32_t kZip64EndRecord = 0x06064B50;
constexpr std::uint32_t kZip64Locator = 0x07064B50;
constexpr std::uint32_t kCentralEntry = 0x02014B50;
constexpr std::size_t kEndRecordSize = 22;
}  // namespace

std::optional<std::uint64_t> ZipArchiveLength(const DocumentReader& read, std::uint64_t endRecordOffset) {
    std::uint8_t e[kEndRecordSize];
    if (!read(endRecordOffset, sizeof e, e)) return std::nullopt;
    if (Le32(e) != kEndRecord) return std::nullopt;
    const std::uint16_t diskNumber = Le16(e + 4);
    const std::uint16_t directoryDisk = Le16(e + 6);
    const std::uint16_t entriesHere = Le16(e + 8);
    const std::uint16_t entries = Le16(e + 10);
    std::uint64_t directorySize = Le32(e + 12);
    std::uint64_t directoryOffset = Le32(e + 16);
    const std::uint16_t commentLength = Le16(e + 20);
    // A split archive is not one document.
    if (diskNumber != 0 || directoryDisk != 0 || entriesHere != entries) return std::nullopt;

    // The central directory must end where the end record (or the ZIP64
    // records in front of it) begins.
    std::uint64_t directoryEnd = endRecordOffset;
    const bool zip64 = entries == 0xFFFF || directorySize == 0xFFFFFFFFu || directoryOffset == 0xFFFFFFFFu;
    if (zip64) {
        if (endRecordOffset < 20) return std::nullopt;
        std::uint8_t loc[20];
        if (!read(endRecordOffset - 20, sizeof loc, loc)) return std::nullopt;
        if (Le32(loc) != kZip64Locator || Le32(loc + 4) != 0 || Le32(loc + 16) > 1) return std::nullopt;
        const std::uint64_t recordOffset = Le64(loc + 8);
        if (recordOffset + 56 > endRecordOffset - 20) return std::nullopt;
        std::uint8_t r[56];
        if (!read(recordOffset, sizeof r, r)) return std::nullopt;
        if (Le32(r) != kZip64EndRecord || Le32(r + 16) != 0 || Le32(r + 20) != 0) return std::nullopt;
        if (Le64(r + 24) != Le64(r + 32)) return std::nullopt;
        directorySize = Le64(r + 40);
        directoryOffset = Le64(r + 48);
        directoryEnd = recordOffset;
        // The record's own size field counts what follows its first 12 bytes.
        if (recordOffset + 12 + Le64(r + 4) != endRecordOffset - 20) return std::nullopt;
    }
    if (directoryOffset > directoryEnd || directoryEnd - directoryOffset != directorySize) return std::nullopt;
    if (directorySize > 0) {
        std::uint8_t sig[4];
        if (!read(directoryOffset, sizeof sig, sig)) return std::nullopt;
        if (Le32(sig) != kCentralEntry) return std::nullopt;
    } else if (entries != 0) {
        return std::nullopt;
    }
    return endRecordOffset + kEndRecordSize + commentLength;
}

}  // namespace raw
