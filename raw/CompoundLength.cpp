#include "raw/CompoundLength.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/Bytes.h"

namespace raw {

namespace {

constexpr std::uint8_t kCompoundSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::uint32_t kDifSect = 0xFFFFFFFC;
constexpr std::uint32_t kFatSect = 0xFFFFFFFD;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFreeSect = 0xFFFFFFFF;
constexpr std::uint32_t kMaxRegSect = 0xFFFFFFFA;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
constexpr std::size_t kHeaderListEntries = 109;
constexpr std::size_t kHeaderBytes = 512;

// Directory entries: 128 bytes each, the name in UTF-16LE (at most 32 code
// units with its terminator) and its byte length, the entry type, the two
// siblings and the child of the red-black tree.
constexpr std::size_t kEntryBytes = 128;
constexpr std::size_t kEntryNameLength = 0x40;
constexpr std::size_t kEntryType = 0x42;
constexpr std::size_t kEntryLeft = 0x44;
constexpr std::size_t kEntryRight = 0x48;
constexpr std::size_t kEntryChild = 0x4C;
constexpr std::uint8_t kStorageEntry = 1;
constexpr std::uint8_t kStreamEntry = 2;
constexpr std::uint8_t kRootEntry = 5;
constexpr std::size_t kEntryStart = 0x74;  // first sector of the entry's stream
constexpr std::size_t kEntrySize = 0x78;   // its length in bytes (the low 32 bits in 512-byte documents)
constexpr std::size_t kMiniCutoff = 0x38;  // header: streams shorter than this lie in the small-stream area

struct Header {
    std::uint32_t sectorSize = 0;
    std::uint32_t fatSectors = 0;
    std::uint32_t firstDirectory = 0;
    std::uint32_t difatSector = 0;
    std::uint32_t difatSectors = 0;
    std::uint32_t miniCutoff = 0;
    std::uint8_t bytes[kHeaderBytes];

    std::uint64_t SectorOffset(std::uint32_t id) const { return (static_cast<std::uint64_t>(id) + 1) * sectorSize; }
};

std::optional<Header> ReadHeader(const DocumentReader& read) {
    Header h;
    if (!read(0, sizeof h.bytes, h.bytes)) return std::nullopt;
    const std::uint8_t* b = h.bytes;
    if (std::memcmp(b, kCompoundSignature, 8) != 0) return std::nullopt;
    if (base::LoadLe16(b + 0x1C) != 0xFFFE) return std::nullopt;
    const std::uint16_t major = base::LoadLe16(b + 0x1A);
    const std::uint16_t shift = base::LoadLe16(b + 0x1E);
    if (!((major == 3 && shift == 9) || (major == 4 && shift == 12))) return std::nullopt;
    h.sectorSize = 1u << shift;
    h.fatSectors = base::LoadLe32(b + 0x2C);
    h.firstDirectory = base::LoadLe32(b + 0x30);
    h.difatSector = base::LoadLe32(b + 0x44);
    h.difatSectors = base::LoadLe32(b + 0x48);
    h.miniCutoff = base::LoadLe32(b + kMiniCutoff);
    return h;
}

// The sector allocation table and its last used sector.
struct Allocation {
    std::vector<std::uint32_t> table;
    std::uint64_t lastUsed = 0;
};

// The allocation table, reached through the header's list and the extra
// table chain, when it reads consistently and maps at most `maxLength`
// bytes.
std::optional<Allocation> ReadAllocation(const DocumentReader& read, const Header& h, std::uint64_t maxLength) {
    const std::uint32_t sectorSize = h.sectorSize;
    const std::uint32_t perSector = sectorSize / 4;  // table entries per sector
    if (h.fatSectors == 0) return std::nullopt;
    // Each table sector maps perSector sectors of perSector... bytes; a table
    // longer than the largest allowed document cannot be right.
    const std::uint64_t mappedPerFatSector = static_cast<std::uint64_t>(perSector) * sectorSize;
    if (h.fatSectors > maxLength / mappedPerFatSector + 1) return std::nullopt;
    const std::uint64_t totalEntries = static_cast<std::uint64_t>(h.fatSectors) * perSector;
    if (totalEntries > kMaxRegSect) return std::nullopt;

    // Where the allocation table lies: the header's list, then the chain of
    // extra list sectors.
    std::vector<std::uint32_t> fatIds;
    fatIds.reserve(h.fatSectors);
    for (std::size_t i = 0; i < kHeaderListEntries && fatIds.size() < h.fatSectors; ++i) {
        const std::uint32_t id = base::LoadLe32(h.bytes + 0x4C + 4 * i);
        if (id >= totalEntries) return std::nullopt;
        fatIds.push_back(id);
    }
    std::vector<std::uint32_t> difatIds;
    std::vector<std::uint8_t> sector(sectorSize);
    std::uint32_t difatSector = h.difatSector;
    while (fatIds.size() < h.fatSectors) {
        if (difatIds.size() >= h.difatSectors || difatSector >= totalEntries) return std::nullopt;
        difatIds.push_back(difatSector);
        if (!read(h.SectorOffset(difatSector), sectorSize, sector.data())) return std::nullopt;
        for (std::uint32_t i = 0; i + 1 < perSector && fatIds.size() < h.fatSectors; ++i) {
            const std::uint32_t id = base::LoadLe32(sector.data() + 4 * i);
            if (id >= totalEntries) return std::nullopt;
            fatIds.push_back(id);
        }
        difatSector = base::LoadLe32(sector.data() + 4 * (perSector - 1));
    }

    // Walk the table: the last used sector, and every link must stay within it.
    Allocation a;
    std::vector<std::uint32_t>& table = a.table;
    table.resize(totalEntries);
    for (std::size_t k = 0; k < fatIds.size(); ++k) {
        if (!read(h.SectorOffset(fatIds[k]), sectorSize, sector.data())) return std::nullopt;
        for (std::uint32_t i = 0; i < perSector; ++i) table[k * perSector + i] = base::LoadLe32(sector.data() + 4 * i);
    }
    bool any = false;
    for (std::uint64_t i = 0; i < totalEntries; ++i) {
        const std::uint32_t v = table[i];
        if (v == kFreeSect) continue;
        if (v > kMaxRegSect && v != kDifSect && v != kFatSect && v != kEndOfChain) return std::nullopt;
        a.lastUsed = i;
        any = true;
    }
    if (!any) return std::nullopt;
    for (std::uint64_t i = 0; i <= a.lastUsed; ++i) {
        const std::uint32_t v = table[i];
        if (v <= kMaxRegSect && v > a.lastUsed) return std::nullopt;
    }
    for (std::uint32_t id : fatIds)
        if (table[id] != kFatSect) return std::nullopt;
    for (std::uint32_t id : difatIds)
        if (table[id] != kDifSect) return std::nullopt;
    const std::uint32_t dir = h.firstDirectory;
    if (dir > a.lastUsed || table[dir] == kFreeSect || table[dir] == kFatSect || table[dir] == kDifSect)
        return std::nullopt;
    if ((a.lastUsed + 2) * sectorSize > maxLength) return std::nullopt;
    return a;
}

// An entry's name as text, each UTF-16 unit outside ASCII as '?'.
std::string EntryName(const std::uint8_t* entry) {
    std::size_t bytes = base::LoadLe16(entry + kEntryNameLength);
    if (bytes > kEntryNameLength) bytes = kEntryNameLength;
    std::string name;
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        const std::uint16_t unit = base::LoadLe16(entry + i);
        if (unit == 0) break;
        name += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    return name;
}

// The directory's sectors, along its chain in `a` or, without a table, its
// first sector alone; only sectors within the first `extent` bytes. False
// when a sector cannot be read.
bool ReadDirectory(const DocumentReader& read, const Header& h, const Allocation* a, std::uint64_t extent,
                   std::vector<std::uint8_t>& dir) {
    const std::uint32_t sectorSize = h.sectorSize;
    std::vector<std::uint32_t> chain;
    if (a) {
        for (std::uint32_t id = h.firstDirectory; id <= a->lastUsed && chain.size() <= a->lastUsed;
             id = a->table[id]) {
            chain.push_back(id);
            if (a->table[id] > kMaxRegSect) break;
        }
    } else if (h.firstDirectory <= kMaxRegSect) {
        chain.push_back(h.firstDirectory);
    }
    dir.clear();
    for (std::uint32_t id : chain) {
        const std::uint64_t at = h.SectorOffset(id);
        if (at + sectorSize > extent) break;
        const std::size_t size = dir.size();
        dir.resize(size + sectorSize);
        if (!read(at, sectorSize, dir.data() + size)) return false;
    }
    return true;
}

}  // namespace

std::optional<std::uint64_t> CompoundDocumentLength(const DocumentReader& read, std::uint64_t maxLength) {
    const std::optional<Header> h = ReadHeader(read);
    if (!h) return std::nullopt;
    const std::optional<Allocation> a = ReadAllocation(read, *h, maxLength);
    if (!a) return std::nullopt;
    return (a->lastUsed + 2) * h->sectorSize;
}

std::optional<std::uint64_t> CompoundHeaderClaim(const DocumentReader& read, std::uint64_t maxLength) {
    const std::optional<Header> h = ReadHeader(read);
    if (!h) return std::nullopt;
    std::uint64_t last = 0;
    bool any = false;
    auto place = [&](std::uint32_t id) {
        if (id > kMaxRegSect) return;
        last = std::max<std::uint64_t>(last, id);
        any = true;
    };
    for (std::size_t i = 0; i < kHeaderListEntries && i < h->fatSectors; ++i) place(base::LoadLe32(h->bytes + 0x4C + 4 * i));
    if (h->difatSectors > 0) place(h->difatSector);
    place(h->firstDirectory);
    if (!any) return std::nullopt;
    const std::uint64_t claim = (last + 2) * h->sectorSize;
    if (claim > maxLength) return std::nullopt;
    return claim;
}

std::optional<std::vector<std::string>> CompoundRootNames(const DocumentReader& read, std::uint64_t extent,
                                                         std::uint64_t maxLength) {
    const std::optional<Header> h = ReadHeader(read);
    if (!h) return std::nullopt;
    // The directory along its chain in the allocation table, or its first
    // sector alone when the table does not read.
    const std::optional<Allocation> a = ReadAllocation(read, *h, maxLength);
    std::vector<std::uint8_t> dir;
    if (!ReadDirectory(read, *h, a ? &*a : nullptr, extent, dir)) return std::nullopt;
    const std::size_t entries = dir.size() / kEntryBytes;
    if (entries == 0 || dir[kEntryType] != kRootEntry) return std::nullopt;

    // The root's children: its child and, from there, every left and right
    // sibling. An id outside the entries read is passed over; each entry is
    // taken once, so a tree that loops still ends.
    std::vector<std::string> names;
    std::vector<bool> seen(entries, false);
    std::vector<std::uint32_t> pending{base::LoadLe32(dir.data() + kEntryChild)};
    while (!pending.empty()) {
        const std::uint32_t id = pending.back();
        pending.pop_back();
        if (id == kNoStream || id == 0 || id >= entries || seen[id]) continue;
        seen[id] = true;
        const std::uint8_t* e = dir.data() + static_cast<std::size_t>(id) * kEntryBytes;
        if (e[kEntryType] == kStreamEntry || e[kEntryType] == kStorageEntry) names.push_back(EntryName(e));
        pending.push_back(base::LoadLe32(e + kEntryLeft));
        pending.push_back(base::LoadLe32(e + kEntryRight));
    }
    return names;
}

std::optional<CompoundLayout> ReadCompoundLayout(const DocumentReader& read, std::uint64_t maxLength) {
    const std::optional<Header> h = ReadHeader(read);
    if (!h) return std::nullopt;
    const std::optional<Allocation> a = ReadAllocation(read, *h, maxLength);
    if (!a) return std::nullopt;
    CompoundLayout layout;
    layout.length = (a->lastUsed + 2) * h->sectorSize;
    layout.sectorSize = h->sectorSize;
    std::vector<std::uint8_t> dir;
    if (!ReadDirectory(read, *h, &*a, layout.length, dir) || dir.size() < kEntryBytes ||
        dir[kEntryType] != kRootEntry)
        return layout;
    for (std::size_t e = kEntryBytes; e + kEntryBytes <= dir.size(); e += kEntryBytes) {
        const std::uint8_t* entry = dir.data() + e;
        if (entry[kEntryType] != kStreamEntry) continue;
        const std::uint64_t size = base::LoadLe32(entry + kEntrySize);
        if (size < h->miniCutoff || size == 0) continue;
        std::vector<std::uint64_t> sectors;
        std::uint32_t id = base::LoadLe32(entry + kEntryStart);
        for (std::uint64_t taken = 0; taken < size && id <= a->lastUsed && sectors.size() <= a->lastUsed;
             taken += h->sectorSize) {
            sectors.push_back(h->SectorOffset(id));
            id = a->table[id];
        }
        layout.streams.push_back(std::move(sectors));
    }
    return layout;
}

}  // namespace raw
