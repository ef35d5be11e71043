// What is on a disk besides NetWare volumes: its partitions with the file
// systems libblkid finds in them, and the note a search adds after its own
// result when a partition holds an NSS pool, or when every partition holds
// another known file system.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "disk/PartitionContents.h"
#include "workflow/Notice.h"
#include "workflow/Session.h"

namespace workflow {

// Disk `number`'s partitions, read through the session's reader.
disk::DiskContents ReadDiskPartitions(Session& session, unsigned number);

// The file system's name as a person reads it: "NTFS", "FAT32", "ext4",
// "an NSS pool" is not one of them (see PartitionNote).
std::string FileSystemName(const disk::PartitionContents& partition);

// One line per partition holding an NSS pool ("Partition 2 holds an NSS
// pool (NetWare 5 and later). This program reads NetWare traditional
// volumes; raw mode can still carve documents from it."); when there is
// none and no NetWare 386 partition, but every partition holds a known
// file system, one line per partition ("Partition 1 holds an NTFS file
// system, not a NetWare volume"). "" when there is nothing to say.
std::string PartitionNote(const disk::DiskContents& contents);

// The sectors [first, end) of partition `number` of disk `diskNumber`, cut
// at the disk's end; nothing with *error ("disk 0 has no partition 7", "partition 2 is an
// extended partition: name one of its logical partitions") when it has none.
struct SectorRange {
    std::uint64_t first = 0;
    std::uint64_t end = 0;
};
std::optional<SectorRange> PartitionRange(Session& session, unsigned diskNumber, unsigned number,
                                          std::string* error);

}  // namespace workflow
