// Every partition of a disk with the file system it holds: the partition
// table as the engine reads it, and each partition's first and last MiB,
// read through the same reader (without a bad-sector question: a sector that
// fails reads as zeros and is counted), identified by libblkid. A NetWare 386
// partition (type 0x65) is "netware386"; an NSS pool (type 0x69, or "SPB5"
// 4 KiB into the partition) is "nss", whatever libblkid says.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disk/PartitionTable.h"

namespace disk {

class SectorReader;

inline constexpr const char* kNetWare386FileSystem = "netware386";
inline constexpr const char* kNssFileSystem = "nss";
constexpr std::uint8_t kNetWare386Type = 0x65;
constexpr std::uint8_t kNssType = 0x69;
constexpr std::uint32_t kProbeSectors = 2048;  // 1 MiB at each end of a partition

struct PartitionContents {
    Partition partition;
    std::string fileSystem;  // "netware386", "nss", libblkid's TYPE, or "" (unknown, or an extended partition)
    std::string version;     // libblkid's VERSION ("FAT32")
    std::string label;
    // Sectors of the probed MiBs that could not be read (read as zeros).
    std::uint64_t unreadSectors = 0;
};

struct DiskContents {
    PartitionTable table;
    std::vector<PartitionContents> partitions;
    std::string probeFailure;  // why libblkid could not be asked ("" when it could)
};

// Reads disk `disk`'s partition table and identifies every partition.
DiskContents ReadDiskContents(const SectorReader& reader, unsigned disk);

// Whether the first sectors of a partition (at least 4 KiB + 4 bytes) carry
// an NSS pool's "SPB5" at 4 KiB.
bool HasNssSignature(const std::vector<std::uint8_t>& head);

}  // namespace disk
