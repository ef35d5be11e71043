#include "netware/Records.h"

#include <algorithm>
#include <cstring>

namespace nw {

bool DecodePartitionTable(const std::uint8_t* sector, std::array<PartitionEntry, 4>& entries) {
    for (unsigned i = 0; i < 4; ++i) {
        const std::uint8_t* e = sector + kPartitionTableOffset + 16 * i;
        entries[i].type = e[4];
        entries[i].firstSector = LoadLe32(e + 8);
        entries[i].sectorCount = LoadLe32(e + 12);
    }
    return sector[510] == 0x55 && sector[511] == 0xAA;
}

bool IsNetWarePartition(const PartitionEntry& e) {
    return e.type == kNetWarePartitionType && e.sectorCount != 0;
}

bool DecodeHotFixSector(const std::uint8_t* sector, HotFixSector& out) {
    if (std::memcmp(sector, "HOTFIX00", 8) != 0) return false;
    out.volumeAreaDistance = LoadLe32(sector + 0x18);
    return true;
}

VolumeTableEntry DecodeVolumeTableEntry(const std::uint8_t* e) {
    VolumeTableEntry v;
    // The name field runs from 0x01 up to the segment fields at 0x1C.
    std::size_t len = std::min<std::size_t>({e[0], 0x1C - 1, kVolumeNameKeep});
    v.name.assign(reinterpret_cast<const char*>(e + 1), len);
    if (e[0] <= 15) {
        v.lastSegment = LoadLe32(e + 0x10);
        v.blockSizeCode = e[0x14];
        v.segmentCount = e[0x15];
        v.segmentNumber = e[0x16];
        v.segmentStart = LoadLe32(e + 0x18);
        v.segmentFirstBlock = LoadLe32(e + 0x24);
    }
    v.segmentSectors = LoadLe32(e + 0x1C);
    v.segmentBlocks = LoadLe32(e + 0x20);
    v.fat1FirstBlock = LoadLe32(e + 0x28);
    v.fat2FirstBlock = LoadLe32(e + 0x2C);
    v.det1FirstBlock = LoadLe32(e + 0x30);
    v.det2FirstBlock = LoadLe32(e + 0x34);
    return v;
}

bool DecodeVolumeTableSector(const std::uint8_t* sector, VolumeTableSector& out) {
    if (std::memcmp(sector, "NetWare Volumes", 15) != 0) return false;
    std::uint32_t n = LoadLe32(sector + 0x10);
    if (n < 1 || n > kMaxVolumeTableEntries) return false;
    out.count = n;
    for (unsigned k = 0; k < n; ++k) out.entries[k] = DecodeVolumeTableEntry(sector + 0x20 + kVolumeEntrySize * k);
    for (unsigned k = n; k < kMaxVolumeTableEntries; ++k) out.entries[k] = VolumeTableEntry{};
    return true;
}

FatEntry DecodeFatEntry(const std::uint8_t* sector, unsigned index) {
    const std::uint8_t* p = sector + kFatEntrySize * (index % kFatEntriesPerSector);
    return FatEntry{LoadLe32(p), LoadLe32(p + 4)};
}

FatPosition LocateFatEntry(std::uint32_t block, std::uint32_t sectorsPerBlock) {
    FatPosition pos{};
    pos.fatSector = block / kFatEntriesPerSector;
    pos.entryIndex = block % kFatEntriesPerSector;
    if (sectorsPerBlock == 0) sectorsPerBlock = 1;
    pos.fatBlock = pos.fatSector / sectorsPerBlock;
    pos.sectorInBlock = pos.fatSector % sectorsPerBlock;
    return pos;
}

DetEntry DecodeDetEntry(const std::uint8_t* e) {
    DetEntry d;
    d.parent = LoadLe32(e + det::kParent);
    d.attributes = LoadLe32(e + det::kAttributes);
    d.group = e[det::kGroup];
    d.nameSpace = e[det::kNameSpace];
    d.nameLength = e[det::kNameLength];
    std::size_t len = std::min<std::size_t>(d.nameLength, kDetEntrySize - det::kName);
    d.name.assign(reinterpret_cast<const char*>(e + det::kName), len);
    d.dateTime = LoadLe32(e + det::kDateTime);
    d.fileSize = LoadLe32(e + det::kFileSize);
    d.firstBlock = LoadLe32(e + det::kFirstBlock);
    d.deleted = LoadLe32(e + det::kDeleted);
    d.folderNumber = LoadLe32(e + det::kFolderNumber);
    return d;
}

DetKind ClassifyDetEntry(const DetEntry& e) {
    if (e.parent == kDetHeaderMarker) return DetKind::DetHeader;
    if (e.parent == kSuballocMarker) return DetKind::Suballocation;
    if (e.parent > kSuballocMarker) return DetKind::Skipped;  // FC, FE, FF
    if (e.nameSpace == kNameSpaceDos) {
        return (e.nameLength >= 1 && e.nameLength <= kMaxPrimaryNameLength) ? DetKind::Primary : DetKind::Skipped;
    }
    if (e.nameSpace == kNameSpaceLong) return DetKind::LongName;
    return DetKind::Skipped;
}

bool HasLongNameFollower(const std::uint8_t* sector, unsigned slot) {
    if (slot + 1 >= kDetEntriesPerSector) return false;
    const std::uint8_t* f = sector + kDetEntrySize * (slot + 1);
    std::uint8_t len = f[det::kNameLength];
    return f[det::kNameSpace] == kNameSpaceLong && len >= 1 && len <= kMaxLongNameLength;
}

std::string LongNameFor(const std::uint8_t* sector, unsigned slot) {
    if (!HasLongNameFollower(sector, slot)) return {};
    const std::uint8_t* f = sector + kDetEntrySize * (slot + 1);
    return std::string(reinterpret_cast<const char*>(f + det::kName), f[det::kNameLength]);
}

SuballocationRecord DecodeSuballocationRecord(const std::uint8_t* e) {
    SuballocationRecord r;
    r.group = e[det::kGroup];
    for (unsigned i = 0; i < kSuballocChainsPerRecord; ++i) r.firstBlocks[i] = LoadLe32(e + det::kSuballocBlocks + 4 * i);
    return r;
}

PackedDateTime DecodePackedDateTime(std::uint32_t v) {
    PackedDateTime t;
    t.seconds = (v & 0x1F) * 2;
    t.minutes = (v >> 5) & 0x3F;
    t.hours = (v >> 11) & 0x1F;
    t.day = (v >> 16) & 0x1F;
    t.month = (v >> 21) & 0x0F;
    t.yearField = (v >> 25) & 0x7F;
    return t;
}

std::uint32_t EncodePackedDateTime(const PackedDateTime& t) {
    return ((t.seconds / 2) & 0x1F) | ((t.minutes & 0x3F) << 5) | ((t.hours & 0x1F) << 11) |
           ((t.day & 0x1F) << 16) | ((t.month & 0x0F) << 21) | ((t.yearField & 0x7F) << 25);
}

}  // namespace nw
