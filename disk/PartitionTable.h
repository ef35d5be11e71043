// The partition table of a disk, read through the session's sector reader
// (so a mapfile, a container and the bad-sector policy apply): a PC master
// boot record with its four primary entries and the chain of extended boot
// records behind an extended partition, or a GUID partition table (header
// at sector 1, or its backup copy in the disk's last sector).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disk/ReadStatus.h"

namespace disk {

class SectorReader;

enum class PartitionScheme { None, Mbr, Gpt };

struct Partition {
    // As Linux numbers them: primary entries 1-4 by their slot, logical
    // partitions 5 and up in chain order; GPT entries 1..n by their slot.
    unsigned number = 0;
    std::uint64_t start = 0;    // first sector on the disk
    std::uint64_t sectors = 0;
    std::uint8_t mbrType = 0;   // the MBR type byte (0 for a GPT entry)
    std::string typeGuid;       // GPT: the type GUID as text (upper case)
    std::string gptName;        // GPT: the entry's own name (UTF-16LE made UTF-8)
    bool extended = false;      // an MBR extended partition (a container of logical ones)
    // "0x65" for an MBR entry; a GPT entry's type by its common name
    // ("Microsoft basic data", "Linux filesystem", ...) or its GUID.
    std::string TypeText() const;
};

// Sectors of the table that could not be read, and why.
struct UnreadTableSectors {
    std::uint64_t sector = 0;
    std::uint32_t count = 0;
    Unread reason = Unread::kBadSector;
};

struct PartitionTable {
    PartitionScheme scheme = PartitionScheme::None;
    std::vector<Partition> partitions;  // in number order
    std::vector<UnreadTableSectors> unread;
    // What was wrong with the table as read ("the extended partition chain
    // loops back to sector 2048", "the GPT header's checksum is wrong"): the
    // entries before it are kept.
    std::vector<std::string> problems;
};

// Bounds on what a damaged table can make the reader do.
constexpr unsigned kMaxLogicalPartitions = 128;
constexpr std::uint32_t kMaxGptEntries = 1024;

// Reads disk `disk`'s table. A sector 0 without 0x55 0xAA, or one whose
// only entry is the protective 0xEE without a GPT behind it, gives no
// partitions. Empty entries (type 0 or no sectors) are skipped, keeping the
// numbers of the others.
PartitionTable ReadPartitionTable(const SectorReader& reader, unsigned disk);

// The common name of a GPT partition type GUID ("EFI system", "Linux
// filesystem", ...); "" when it is not one of them.
std::string GptTypeName(const std::string& typeGuid);

// The standard CRC-32 (as GPT uses it).
std::uint32_t Crc32(const void* data, std::size_t size);

}  // namespace disk
