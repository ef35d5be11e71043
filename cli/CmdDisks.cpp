// disks: Disk<N> <path> <size in bytes> <model>
// disks --partitions: <disk> <partition> <start> <sectors> <type> <file system> <label>
#include <iostream>

#include "cli/Cli.h"
#include "disk/ReadStatus.h"
#include "workflow/Disks.h"
#include "workflow/Partitions.h"

namespace cli {
namespace {

// The partition rows of every listed disk; what could not be read is said
// on stderr and makes the status 3.
int ListPartitions(CommandSession& cs) {
    int status = kExitOk;
    for (const disk::DiskInfo& d : cs.session.diskList) {
        const std::string disk = "disk " + std::to_string(d.number);
        if (const std::string reason = workflow::DiskOpenFailure(cs.session, d.number); !reason.empty()) {
            Note(disk + " cannot be read: " + reason);
            status = CombineStatus(status, kExitDamaged);
            continue;
        }
        const disk::DiskContents contents = workflow::ReadDiskPartitions(cs.session, d.number);
        for (const disk::UnreadTableSectors& u : contents.table.unread) {
            Note(disk + ": partition table sectors " + std::to_string(u.sector) + " to " +
                 std::to_string(u.sector + u.count - 1) + " could not be read (" + disk::UnreadText(u.reason) + ")");
            status = CombineStatus(status, kExitDamaged);
        }
        for (const std::string& problem : contents.table.problems) Note(disk + ": " + problem);
        if (!contents.probeFailure.empty()) Note(disk + ": file systems not identified: " + contents.probeFailure);
        for (const disk::PartitionContents& p : contents.partitions) {
            std::cout << d.number << '\t' << p.partition.number << '\t' << p.partition.start << '\t'
                      << p.partition.sectors << '\t' << Field(p.partition.TypeText()) << '\t' << Field(p.fileSystem)
                      << '\t' << Field(p.label) << '\n';
            if (p.unreadSectors > 0) {
                Note(disk + " partition " + std::to_string(p.partition.number) + ": " +
                     std::to_string(p.unreadSectors) +
                     " sectors of its first and last MiB could not be read (read as zeros)");
                status = CombineStatus(status, kExitDamaged);
            }
        }
    }
    return status;
}

int RunDisks(const Invocation& inv) {
    CommandSession cs(inv.global);
    if (!PrepareDisks(cs)) return kExitBadInput;
    const std::vector<disk::DiskInfo>& disks = cs.session.diskList;
    int status = kExitOk;
    if (inv.parsed.Has("--partitions")) {
        status = ListPartitions(cs);
    } else {
        for (const auto& d : disks)
            std::cout << disk::StoreKey(d.number) << '\t' << Field(d.path) << '\t' << d.sizeBytes << '\t'
                      << Field(d.model) << '\n';
    }
    if (!OutputWritten("disks")) return kExitBadInput;
    if (disks.empty()) {
        Error("no disks found");
        return kExitNothingFound;
    }
    return status;
}

}  // namespace

const Command kDisksCommand{"disks", "", 0,
                            {{"--partitions", nullptr,
                              "list each disk's partitions instead: disk, partition number, start sector, sectors, "
                              "type (MBR code or GPT type name), file system (netware386, nss, vfat, ntfs, ext4, "
                              "...), label"}},
                            "list the disks (or the named images)", RunDisks};

}  // namespace cli
