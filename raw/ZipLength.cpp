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
constexpr std::uint32_t kLocalHeader = 0x04034B50;
constexpr std::uint32_t kDataDescriptor = 0x08074B50;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::uint16_t kSizesInDescriptor = 0x0008;
constexpr std::size_t kSector = 512;

// The compressed size of a member whose local header gives 0xFFFFFFFF: its
// ZIP64 extra field (uncompressed size, then compressed size).
std::optional<std::uint64_t> Zip64CompressedSize(const std::uint8_t* x, std::size_t length) {
    while (length >= 4) {
        const std::uint16_t id = base::LoadLe16(x), size = base::LoadLe16(x + 2);
        if (length - 4 < size) return std::nullopt;
        if (id == 0x0001) return size >= 16 ? std::optional<std::uint64_t>(base::LoadLe64(x + 12)) : std::nullopt;
        x += 4 + size;
        length -= 4 + size;
    }
    return std::nullopt;
}

// Where the data descriptor after a member's data starting at `dataStart`
// ends: a descriptor with its signature whose compressed size (32 or 64 bits)
// is the data's length, or one without whose next record (a local header or
// a central directory entry) follows it. `stop` gets where the search ended
// without one (another document's sector, `limit`, or what could not be read).
std::optional<std::uint64_t> FindDescriptorEnd(const DocumentReader& read, std::uint64_t dataStart,
                                               std::uint64_t limit,
                                               const std::function<bool(const std::uint8_t*)>& otherHeader,
                                               std::uint64_t& stop) {
    constexpr std::size_t kPiece = 64 * 1024;
    constexpr std::size_t kOverlap = 24;
    std::vector<std::uint8_t> piece(kPiece + kOverlap);
    // Pieces begin at sector starts so that a sector's header is seen whole.
    for (std::uint64_t from = dataStart - dataStart % kSector; from < limit; from += kPiece) {
        std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), limit - from));
        bool last = false;
        if (!read(from, length, piece.data())) {
            // what can be read of the piece, a sector at a time, is the last searched
            std::size_t readable = 0;
            while (readable < length) {
                const std::size_t n = std::min(kSector, length - readable);
                if (!read(from + readable, n, piece.data() + readable)) break;
                readable += n;
            }
            length = readable;
            last = true;
        }
        const std::size_t scanned = last ? length : std::min(kPiece, length);
        for (std::size_t i = 0; i < scanned; ++i) {
            const std::uint64_t at = from + i;
            if (i % kSector == 0 && at > dataStart && length - i >= kSector && otherHeader(piece.data() + i)) {
                // a member of this archive beginning here follows its descriptor
                const bool ownMember = at >= dataStart + 12 && base::LoadLe32(piece.data() + i) == kLocalHeader &&
                                       i >= 12 && base::LoadLe32(piece.data() + i - 8) == at - 12 - dataStart;
                if (!ownMember) {
                    stop = at;
                    return std::nullopt;
                }
            }
            if (at < dataStart || length - i < 4) continue;
            const std::uint32_t sig = base::LoadLe32(piece.data() + i);
            if (sig == kDataDescriptor && length - i >= 24) {
                const std::uint64_t data = at - dataStart;
                if (base::LoadLe32(piece.data() + i + 8) == data) return at + 16;
                if (base::LoadLe64(piece.data() + i + 8) == data) return at + 24;
            }
            if ((sig == kLocalHeader || sig == kCentralEntry) && at >= dataStart + 12 && i >= 12 &&
                base::LoadLe32(piece.data() + i - 8) == at - 12 - dataStart)
                return at;
        }
        if (last) {
            stop = std::max(from + length, dataStart);
            return std::nullopt;
        }
    }
    stop = limit;
    return std::nullopt;
}

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

ZipRecordWalk WalkZipRecords(const DocumentReader& read, std::uint64_t limit,
                             const std::function<bool(const std::uint8_t* sector)>& otherHeader) {
    ZipRecordWalk walk;
    std::uint64_t at = 0;
    bool inDirectory = false;  // local headers come before the directory only
    std::uint8_t h[kCentralEntrySize];
    while (at < limit) {
        if (limit - at < 4 || !read(at, 4, h)) break;
        const std::uint32_t sig = base::LoadLe32(h);
        std::uint64_t next = 0;
        if (sig == kLocalHeader && !inDirectory) {
            if (limit - at < kLocalHeaderSize || !read(at, kLocalHeaderSize, h)) break;
            const std::uint16_t flags = base::LoadLe16(h + 6);
            const std::uint16_t nameLength = base::LoadLe16(h + 26), extraLength = base::LoadLe16(h + 28);
            std::uint64_t compressed = base::LoadLe32(h + 18);
            const std::uint64_t dataStart = at + kLocalHeaderSize + nameLength + extraLength;
            if (dataStart > limit) break;
            if (compressed == 0xFFFFFFFFu) {
                std::vector<std::uint8_t> extra(extraLength);
                if (!read(at + kLocalHeaderSize + nameLength, extra.size(), extra.data())) break;
                const std::optional<std::uint64_t> size = Zip64CompressedSize(extra.data(), extra.size());
                if (!size) break;
                compressed = *size;
            }
            walk.members.push_back(at);
            if ((flags & kSizesInDescriptor) && compressed == 0) {
                std::uint64_t stop = 0;
                const std::optional<std::uint64_t> end = FindDescriptorEnd(read, dataStart, limit, otherHeader, stop);
                if (!end) {
                    // the member's data runs on past what could be searched
                    walk.extent = stop;
                    return walk;
                }
                next = *end;
            } else {
                next = dataStart + compressed;
                if (flags & kSizesInDescriptor) {
                    std::uint8_t d[4];
                    if (next < limit && limit - next >= 4 && read(next, 4, d) && base::LoadLe32(d) == kDataDescriptor)
                        next += 16;
                    else
                        next += 12;
                }
            }
        } else if (sig == kCentralEntry) {
            if (limit - at < kCentralEntrySize || !read(at, kCentralEntrySize, h)) break;
            inDirectory = true;
            next = at + kCentralEntrySize + base::LoadLe16(h + 28) + base::LoadLe16(h + 30) + base::LoadLe16(h + 32);
        } else if (sig == kZip64EndRecord) {
            if (limit - at < 12 || !read(at, 12, h)) break;
            inDirectory = true;
            next = at + 12 + base::LoadLe64(h + 4);
            if (next < at) break;
        } else if (sig == kZip64Locator) {
            inDirectory = true;
            next = at + 20;
        } else if (sig == kEndRecord) {
            if (limit - at < kEndRecordSize || !read(at, kEndRecordSize, h)) break;
            next = at + kEndRecordSize + base::LoadLe16(h + 20);
            if (next <= limit) {
                walk.complete = true;
                walk.extent = next;
            } else {
                walk.extent = limit;
            }
            return walk;
        } else {
            break;  // no record of the archive where one should begin
        }
        if (next > limit) {
            walk.extent = limit;
            return walk;
        }
        at = next;
    }
    walk.extent = std::min(at, limit);
    return walk;
}

}  // namespace raw
