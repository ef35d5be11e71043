#include "raw/ZipLength.h"

#include <algorithm>

#include "base/Bytes.h"

namespace raw {

namespace {
constexpr std::uint32_t kEndRecord = 0x06054B50;
constexpr std::uint32_t kZip64EndRecord = 0x06064B50;
constexpr std::uint32_t kZip64Locator = 0x07064B50;
constexpr std::uint32_t kCentralEntry = 0x02014B50;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kCentralEntrySize = 46;
constexpr std::uint64_t kLargestDirectory = 16u << 20;
}  // namespace

std::optional<std::uint64_t> ZipArchiveLength(const DocumentReader& read, std::uint64_t endRecordOffset) {
    const std::optional<ZipLayout> layout = ReadZipLayout(read, endRecordOffset);
    if (!layout) return std::nullopt;
    return layout->length;
}

std::optional<ZipLayout> ReadZipLayout(const DocumentReader& read, std::uint64_t endRecordOffset) {
    std::uint8_t e[kEndRecordSize];
    if (!read(endRecordOffset, sizeof e, e)) return std::nullopt;
    if (base::LoadLe32(e) != kEndRecord) return std::nullopt;
    const std::uint16_t diskNumber = base::LoadLe16(e + 4);
    const std::uint16_t directoryDisk = base::LoadLe16(e + 6);
    const std::uint16_t entriesHere = base::LoadLe16(e + 8);
    std::uint64_t entries = base::LoadLe16(e + 10);
    std::uint64_t directorySize = base::LoadLe32(e + 12);
    std::uint64_t directoryOffset = base::LoadLe32(e + 16);
    const std::uint16_t commentLength = base::LoadLe16(e + 20);
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
        if (base::LoadLe32(loc) != kZip64Locator || base::LoadLe32(loc + 4) != 0 || base::LoadLe32(loc + 16) > 1) return std::nullopt;
        const std::uint64_t recordOffset = base::LoadLe64(loc + 8);
        if (recordOffset + 56 > endRecordOffset - 20) return std::nullopt;
        std::uint8_t r[56];
        if (!read(recordOffset, sizeof r, r)) return std::nullopt;
        if (base::LoadLe32(r) != kZip64EndRecord || base::LoadLe32(r + 16) != 0 || base::LoadLe32(r + 20) != 0) return std::nullopt;
        if (base::LoadLe64(r + 24) != base::LoadLe64(r + 32)) return std::nullopt;
        entries = base::LoadLe64(r + 32);
        directorySize = base::LoadLe64(r + 40);
        directoryOffset = base::LoadLe64(r + 48);
        directoryEnd = recordOffset;
        // The record's own size field counts what follows its first 12 bytes.
        if (recordOffset + 12 + base::LoadLe64(r + 4) != endRecordOffset - 20) return std::nullopt;
    }
    if (directoryOffset > directoryEnd || directoryEnd - directoryOffset != directorySize) return std::nullopt;
    if (directorySize > 0) {
        std::uint8_t sig[4];
        if (!read(directoryOffset, sizeof sig, sig)) return std::nullopt;
        if (base::LoadLe32(sig) != kCentralEntry) return std::nullopt;
    } else if (entries != 0) {
        return std::nullopt;
    }
    ZipLayout layout;
    layout.length = endRecordOffset + kEndRecordSize + commentLength;
    layout.directoryOffset = directoryOffset;
    layout.directorySize = directorySize;
    layout.entries = entries;
    return layout;
}

bool ZipMemberOffsets(const DocumentReader& read, const ZipLayout& layout, std::vector<std::uint64_t>& offsets) {
    offsets.clear();
    if (layout.directorySize > kLargestDirectory) return false;
    std::vector<std::uint8_t> dir(static_cast<std::size_t>(layout.directorySize));
    if (!dir.empty() && !read(layout.directoryOffset, dir.size(), dir.data())) return false;
    std::size_t at = 0;
    while (at < dir.size()) {
        if (dir.size() - at < kCentralEntrySize) return false;
        const std::uint8_t* c = dir.data() + at;
        if (base::LoadLe32(c) != kCentralEntry) return false;
        const std::size_t nameLength = base::LoadLe16(c + 28), extraLength = base::LoadLe16(c + 30), commentLength = base::LoadLe16(c + 32);
        const std::size_t size = kCentralEntrySize + nameLength + extraLength + commentLength;
        if (dir.size() - at < size) return false;
        std::uint64_t offset = base::LoadLe32(c + 42);
        if (offset == 0xFFFFFFFFu) {
            // The ZIP64 extra field holds, in this order, the sizes that
            // did not fit and then the offset.
            const std::uint8_t* x = c + kCentralEntrySize + nameLength;
            const std::uint8_t* const xEnd = x + extraLength;
            bool found = false;
            while (xEnd - x >= 4) {
                const std::uint16_t id = base::LoadLe16(x), length = base::LoadLe16(x + 2);
                if (xEnd - x - 4 < length) break;
                if (id == 0x0001) {
                    std::size_t skip = (base::LoadLe32(c + 24) == 0xFFFFFFFFu ? 8 : 0) + (base::LoadLe32(c + 20) == 0xFFFFFFFFu ? 8 : 0);
                    if (skip + 8 <= length) {
                        offset = base::LoadLe64(x + 4 + skip);
                        found = true;
                    }
                    break;
                }
                x += 4 + length;
            }
            if (!found) return false;
        }
        if (offset >= layout.directoryOffset) return false;
        offsets.push_back(offset);
        at += size;
    }
    if (offsets.size() != layout.entries) return false;
    std::sort(offsets.begin(), offsets.end());
    return true;
}

}  // namespace raw
