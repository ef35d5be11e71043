// On-disk structures of a NetWare traditional file system, decoded from
// 512-byte sector buffers with explicit little-endian loads. Only the fields
// this program uses are decoded; all other bytes are ignored.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/Bytes.h"

namespace nw {

constexpr std::uint32_t kSectorSize = 512;

// ---- little-endian helpers ------------------------------------------------
using base::LoadLe16;
using base::LoadLe32;
using base::LoadLe64;
using base::StoreLe16;
using base::StoreLe32;
using base::StoreLe64;

// ---- partition table (sector 0) -------------------------------------------
constexpr std::uint8_t kNetWarePartitionType = 0x65;
constexpr std::size_t kPartitionTableOffset = 0x1BE;

struct PartitionEntry {
    std::uint8_t type = 0;
    std::uint32_t firstSector = 0;
    std::uint32_t sectorCount = 0;
};

// True when bytes 510/511 carry 55 AA; fills all four entries.
bool DecodePartitionTable(const std::uint8_t* sector, std::array<PartitionEntry, 4>& entries);
// A NetWare partition: type 0x65 with a nonzero sector count.
bool IsNetWarePartition(const PartitionEntry& e);

// ---- hot-fix sector -------------------------------------------------------
// Looked for at partition sectors 32, 64, 96, 128.
constexpr std::uint32_t kHotFixProbeCount = 4;
inline std::uint64_t HotFixProbeSector(std::uint64_t partitionFirst, unsigned i) {
    return partitionFirst + 32ull * (i + 1);
}

struct HotFixSector {
    std::uint32_t volumeAreaDistance = 0;  // from partition sector 32 to the volume-definition area
};
bool DecodeHotFixSector(const std::uint8_t* sector, HotFixSector& out);
// First sector of the volume-definition area.
inline std::uint64_t VolumeAreaSector(std::uint64_t partitionFirst, const HotFixSector& h) {
    return partitionFirst + 32 + h.volumeAreaDistance;
}
constexpr unsigned kVolumeTableCopies = 4;      // at V, V+32, V+64, V+96
constexpr std::uint32_t kVolumeTableSpacing = 32;
constexpr std::uint32_t kVolumeSegmentsOffset = 128;  // segments start at V + 128

// ---- volume table ---------------------------------------------------------
constexpr unsigned kMaxVolumeTableEntries = 8;
constexpr std::size_t kVolumeEntrySize = 60;
constexpr std::size_t kVolumeNameKeep = 19;  // characters of a volume name kept

struct VolumeTableEntry {
    std::string name;  // at most 19 characters
    std::uint32_t segmentSectors = 0;
    std::uint32_t segmentBlocks = 0;   // 0x20: on a volume of several segments, the whole volume's block count
    // The segment fields of volumes that can be extended (0x10 .. 0x18 and
    // 0x24). They share bytes with names longer than 15 characters, so such
    // names leave them unset; tables that do not fill them leave 0x14 at 0.
    std::uint32_t lastSegment = 0;     // 0x10: the volume's segment count - 1
    std::uint8_t blockSizeCode = 0;    // 0x14: 3 = 4 KiB .. 7 = 64 KiB, else not given
    std::uint8_t segmentCount = 0;     // 0x15
    std::uint8_t segmentNumber = 0;    // 0x16: 0 = the volume's first segment
    std::uint32_t segmentStart = 0;    // 0x18: counted from the volume-definition area - 32
    std::uint32_t segmentFirstBlock = 0;  // 0x24: the first volume block this segment holds
    std::uint32_t fat1FirstBlock = 0;
    std::uint32_t fat2FirstBlock = 0;
    std::uint32_t det1FirstBlock = 0;
    std::uint32_t det2FirstBlock = 0;
    // segment size in sectors / segment size in blocks (0 when blocks is 0)
    // Sectors per block from the entry's counts: 8, 16, 32, 64 or 128 (4 to
    // 64 KiB, the block sizes a volume can have); 0 for any other quotient
    // (a damaged entry), so that no block of another size is ever read.
    std::uint32_t SectorsPerBlock() const {
        const std::uint32_t spb = segmentBlocks ? segmentSectors / segmentBlocks : 0;
        return spb >= 8 && spb <= 128 && (spb & (spb - 1)) == 0 ? spb : 0;
    }
    // True when the segment fields are given: a valid block-size code, a
    // segment count of at least 1 and this entry's number below it.
    bool HasSegmentFields() const {
        return blockSizeCode >= 3 && blockSizeCode <= 7 && segmentCount >= 1 && segmentNumber < segmentCount;
    }
    // Sectors per block from the block-size code (8 .. 128), 0 when not given.
    std::uint32_t CodedSectorsPerBlock() const { return HasSegmentFields() ? 1u << blockSizeCode : 0; }
};

struct VolumeTableSector {
    std::uint32_t count = 0;
    std::array<VolumeTableEntry, kMaxVolumeTableEntries> entries{};
};
// True when the sector starts with "NetWare Volumes" and the count is 1..8.
bool DecodeVolumeTableSector(const std::uint8_t* sector, VolumeTableSector& out);
VolumeTableEntry DecodeVolumeTableEntry(const std::uint8_t* entry60);

// ---- FAT ------------------------------------------------------------------
constexpr std::uint32_t kFatEntrySize = 8;
constexpr std::uint32_t kFatEntriesPerSector = kSectorSize / kFatEntrySize;  // 64
constexpr std::uint32_t kChainEnd = 0xFFFFFFFFu;

struct FatEntry {
    std::uint32_t sequence = 0;
    std::uint32_t next = 0;
};
// Entry `index` (0..63) of a FAT sector.
FatEntry DecodeFatEntry(const std::uint8_t* sector, unsigned index);

// Where the FAT entry of block b lies, counted from the start of the FAT.
struct FatPosition {
    std::uint32_t fatSector;    // b div 64
    std::uint32_t fatBlock;     // index q into the FAT block list
    std::uint32_t sectorInBlock;
    std::uint32_t entryIndex;   // b mod 64
};
FatPosition LocateFatEntry(std::uint32_t block, std::uint32_t sectorsPerBlock);

// Disk sector of sector `sectorIndex` of block `block`, block 0 beginning at
// `volumeStart`. Every block-to-sector conversion of the program goes through
// here; it is computed in 64 bits, so volumes that lie past sector 2^32 or
// hold more than 2^32 sectors are read where they are.
inline std::uint64_t BlockSector(std::uint64_t volumeStart, std::uint32_t block, std::uint32_t sectorsPerBlock,
                                 std::uint32_t sectorIndex = 0) {
    return volumeStart + static_cast<std::uint64_t>(block) * sectorsPerBlock + sectorIndex;
}

// Chain values.
constexpr std::uint32_t kFirstNonBlockValue = 0x80000000u;  // chain values from here on are not block numbers
inline bool IsFileChainEnd(std::uint32_t v) { return v == 0 || v == kChainEnd; }
inline bool IsSuballocatedPiece(std::uint32_t v) { return (v & 0x80000000u) != 0 && v != kChainEnd; }
inline std::uint32_t SuballocChainOf(std::uint32_t v) { return (v >> 24) & 0x7F; }
inline std::uint32_t SuballocPieceOf(std::uint32_t v) { return v & 0x00FFFFFFu; }
inline std::uint32_t MakeSuballocValue(std::uint32_t chain, std::uint32_t piece) {
    return 0x80000000u | ((chain & 0x7F) << 24) | (piece & 0x00FFFFFFu);
}
// A directory chain ends at 0 or at any value with the top bit set.
inline bool IsDetChainEnd(std::uint32_t v) { return v == 0 || v >= 0x80000000u; }

// ---- DET ------------------------------------------------------------------
constexpr std::uint32_t kDetEntrySize = 128;
constexpr std::uint32_t kDetEntriesPerSector = kSectorSize / kDetEntrySize;  // 4
constexpr std::uint32_t kDetHeaderMarker = 0xFFFFFFFDu;
constexpr std::uint32_t kSuballocMarker = 0xFFFFFFFBu;
constexpr std::uint32_t kAttrFolder = 0x10;
constexpr std::uint32_t kAttrCompressed = 0x04000000u;
constexpr std::uint8_t kNameSpaceDos = 0;
constexpr std::uint8_t kNameSpaceLong = 4;
constexpr std::uint8_t kMaxPrimaryNameLength = 15;
constexpr std::uint8_t kMaxLongNameLength = 80;
constexpr std::uint32_t kRootFolderNumber = 0;
constexpr std::uint32_t kLostFolderNumber = 0xFFFFFFFFu;
// The first 8 bytes of every DET: FD FF FF FF 10 00 00 00.
constexpr std::array<std::uint8_t, 8> kDetSignature = {0xFD, 0xFF, 0xFF, 0xFF, 0x10, 0x00, 0x00, 0x00};

// Field offsets inside a 128-byte entry.
namespace det {
constexpr std::size_t kParent = 0x00;
constexpr std::size_t kAttributes = 0x04;
constexpr std::size_t kAttributesTop = 0x07;
constexpr std::size_t kGroup = 0x09;
constexpr std::size_t kNameSpace = 0x0A;
constexpr std::size_t kNameLength = 0x0B;
constexpr std::size_t kName = 0x0C;
constexpr std::size_t kDateTime = 0x18;    // creation
constexpr std::size_t kModified = 0x28;    // last update (files), last modification (folders)
constexpr std::size_t kAccessDate = 0x62;  // files: last access, a 16-bit date
constexpr std::size_t kFileSize = 0x30;
constexpr std::size_t kFirstBlock = 0x34;
constexpr std::size_t kDeleted = 0x6C;
constexpr std::size_t kFolderNumber = 0x78;
constexpr std::size_t kSuballocBlocks = 0x10;
}  // namespace det

enum class DetKind {
    DetHeader,      // 0xFFFFFFFD: first entry of a DET, never listed
    Suballocation,  // 0xFFFFFFFB: a suballocation record
    Skipped,        // 0xFFFFFFFC/E/F, bad name length, unknown name space
    Primary,        // a folder or file (name space 0, name length 1..15)
    LongName,       // name space 4: the long name of the entry before it
};

struct DetEntry {
    std::uint32_t parent = 0;
    std::uint32_t attributes = 0;
    std::uint8_t group = 0;
    std::uint8_t nameSpace = 0;
    std::uint8_t nameLength = 0;
    std::string name;  // nameLength bytes, clipped to the entry's end
    std::uint32_t dateTime = 0;
    std::uint32_t fileSize = 0;
    std::uint32_t firstBlock = 0;
    std::uint32_t deleted = 0;
    std::uint32_t folderNumber = 0;

    bool IsFolder() const { return (attributes & kAttrFolder) != 0; }
    bool IsCompressed() const { return (attributes & kAttrCompressed) != 0; }
    bool IsDeleted() const { return deleted != 0; }
};

DetEntry DecodeDetEntry(const std::uint8_t* entry128);
DetKind ClassifyDetEntry(const DetEntry& e);
// True when the entry in `slot` (0..3) of a sector gets the long name held by
// the entry in slot+1: that one has name space 4 and a name length of 1..80.
bool HasLongNameFollower(const std::uint8_t* sector, unsigned slot);
// The long name for the primary entry in `slot`, or empty when none.
std::string LongNameFor(const std::uint8_t* sector, unsigned slot);

constexpr unsigned kSuballocChainsPerRecord = 28;
constexpr unsigned kSuballocGroups = 5;  // chains 0..139
constexpr unsigned kSuballocChains = kSuballocChainsPerRecord * kSuballocGroups;

struct SuballocationRecord {
    std::uint8_t group = 0;
    std::array<std::uint32_t, kSuballocChainsPerRecord> firstBlocks{};
    bool Used() const { return group < kSuballocGroups; }  // groups 5 and up are ignored
};
SuballocationRecord DecodeSuballocationRecord(const std::uint8_t* entry128);

// ---- packed date and time -------------------------------------------------
struct PackedDateTime {
    unsigned seconds = 0;  // (bits 0-4) * 2
    unsigned minutes = 0;  // bits 5-10
    unsigned hours = 0;    // bits 11-15
    unsigned day = 0;      // bits 16-20
    unsigned month = 0;    // bits 21-24
    unsigned yearField = 0;  // bits 25-31
};
PackedDateTime DecodePackedDateTime(std::uint32_t v);
std::uint32_t EncodePackedDateTime(const PackedDateTime& t);

}  // namespace nw
