#include "raw/CompoundLength.h"

#include <cstring>
#include <vector>

namespace raw {

namespace {

constexpr std::uint8_t kCompoundSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::uint32_t kDifSect = 0xFFFFFFFC;
constexpr std::uint32_t kFatSect = 0xFFFFFFFD;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFreeSect = 0xFFFFFFFF;
constexpr std::uint32_t kMaxRegSect = 0xFFFFFFFA;
constexpr std::size_t kHeaderListEntries = 109;

}  // namespace

std::optional<std::uint64_t> CompoundDocumentLength(const DocumentReader& read, std::uint64_t maxLength) {
    std::uint8_t header[512];
    if (!read(0, sizeof header, header)) return std::nullopt;
    if (std::memcmp(header, kCompoundSignature, 8) != 0) return std::nullopt;
    if (Le16(header + 0x1C) != 0xFFFE) return std::nullopt;
    const std::uint16_t major = Le16(header + 0x1A);
    const std::uint16_t shift = Le16(header + 0x1E);
    if (!((major == 3 && shift == 9) || (major == 4 && shift == 12))) return std::nullopt;
    const std::uint32_t sectorSize = 1u << shift;
    const std::uint32_t perSector = sectorSize / 4;  // table entries per sector

    const std::uint32_t fatSectors = Le32(header + 0x2C);
    const std::uint32_t firstDirectory = Le32(header + 0x30);
    std::uint32_t difatSector = Le32(header + 0x44);
    const std::uint32_t difatSectors = Le32(header + 0x48);
    if (fatSectors == 0) return std::nullopt;
    // Each table sector maps perSector sectors of perSector... bytes; a table
    // longer than the largest allowed document cannot be right.
    const std::uint64_t mappedPerFatSector = static_cast<std::uint64_t>(perSector) * sectorSize;
    if (fatSectors > maxLength / mappedPerFatSector + 1) return std::nullopt;
    const std::uint64_t totalEntries = static_cast<std::uint64_t>(fatSectors) * perSector;
    if (totalEntries > kMaxRegSect) return std::nullopt;

    auto sectorOffset = [&](std::uint32_t id) { return (static_cast<std::uint64_t>(id) + 1) * sectorSize; };

    // Where the allocation table lies: the header's list, then the chain of
    // extra list sectors.
    std::vector<std::uint32_t> fatIds;
    fatIds.reserve(fatSectors);
    for (std::size_t i = 0; i < kHeaderListEntries && fatIds.size() < fatSectors; ++i) {
        const std::uint32_t id = Le32(header + 0x4C + 4 * i);
        if (id >= totalEntries) return std::nullopt;
        fatIds.push_back(id);
    }
    std::vector<std::uint32_t> difatIds;
    std::vector<std::uint8_t> sector(sectorSize);
    while (fatIds.size() < fatSectors) {
        if (difatIds.size() >= difatSectors || difatSector >= totalEntries) return std::nullopt;
        difatIds.push_back(difatSector);
        if (!read(sectorOffset(difatSector), sectorSize, sector.data())) return std::nullopt;
        for (std::uint32_t i = 0; i + 1 < perSector && fatIds.size() < fatSectors; ++i) {
            const std::uint32_t id = Le32(sector.data() + 4 * i);
            if (id >= totalEntries) return std::nullopt;
            fatIds.push_back(id);
        }
        difatSector = Le32(sector.data() + 4 * (perSector - 1));
    }

    // Walk the table: the last used sector, and every link must stay within it.
    std::vector<std::uint32_t> table(totalEntries);
    for (std::size_t k = 0; k < fatIds.size(); ++k) {
        if (!read(sectorOffset(fatIds[k]), sectorSize, sector.data())) return std::nullopt;
        for (std::uint32_t i = 0; i < perSector; ++i) table[k * perSector + i] = Le32(sector.data() + 4 * i);
    }
    std::uint64_t lastUsed = 0;
    bool any = false;
    for (std::uint64_t i = 0; i < totalEntries; ++i) {
        const std::uint32_t v = table[i];
        if (v == kFreeSect) continue;
        if (v > kMaxRegSect && v != kDifSect && v != kFatSect && v != kEndOfChain) return std::nullopt;
        lastUsed = i;
        any = true;
    }
    if (!any) return std::nullopt;
    for (std::uint64_t i = 0; i <= lastUsed; ++i) {
        const std::uint32_t v = table[i];
        if (v <= kMaxRegSect && v > lastUsed) return std::nullopt;
    }
    for (std::uint32_t id : fatIds)
        if (table[id] != kFatSect) return std::nullopt;
    for (std::uint32_t id : difatIds)
        if (table[id] != kDifSect) return std::nullopt;
    if (firstDirectory > lastUsed || table[firstDirectory] == kFreeSect || table[firstDirectory] == kFatSect ||
        table[firstDirectory] == kDifSect)
        return std::nullopt;

    const std::uint64_t length = (lastUsed + 2) * sectorSize;
    if (length > maxLength) return std::nullopt;
    return length;
}

}  // namespace raw
