#include "workflow/Partitions.h"

#include <algorithm>

#include "workflow/Disks.h"

namespace workflow {

disk::DiskContents ReadDiskPartitions(Session& session, unsigned number) {
    // What a disk holds is read without a bad-sector question: it is read
    // beside a search or on choosing a disk, where a question would stand in
    // the search's way; sectors it cannot read are recorded in the contents.
    disk::BadSectorPolicy quiet;
    quiet.BadSectorDecision = disk::kSkipAll;
    const disk::SectorReader reader(session.disks, quiet);
    return disk::ReadDiskContents(reader, number);
}

std::string FileSystemName(const disk::PartitionContents& partition) {
    const std::string& fs = partition.fileSystem;
    if (fs == "vfat") return partition.version.empty() ? "FAT" : partition.version;
    static const struct {
        const char* type;
        const char* name;
    } kNames[] = {
        {"ntfs", "NTFS"},     {"exfat", "exFAT"},    {"msdos", "FAT"},      {"xfs", "XFS"},
        {"btrfs", "Btrfs"},   {"hfsplus", "HFS+"},   {"hfs", "HFS"},        {"apfs", "APFS"},
        {"iso9660", "ISO 9660"}, {"udf", "UDF"},     {"swap", "Linux swap"}, {"LVM2_member", "LVM"},
        {"linux_raid_member", "Linux RAID"},         {"crypto_LUKS", "LUKS"}, {"zfs_member", "ZFS"},
        {"reiserfs", "ReiserFS"}, {"jfs", "JFS"},    {"ufs", "UFS"},        {"f2fs", "F2FS"},
    };
    for (const auto& n : kNames)
        if (fs == n.type) return n.name;
    return fs;  // ext2, ext3, ext4 and the rest as libblkid names them
}

namespace {

// "an" before a name said with a vowel sound (NTFS, ext4, HFS+), else "a".
std::string WithArticle(const std::string& name) {
    static const char* const kAn[] = {"NTFS", "exFAT", "XFS", "HFS+", "HFS", "APFS", "ISO 9660", "LVM", "F2FS"};
    bool an = name.rfind("ext", 0) == 0;
    for (const char* n : kAn) an = an || name == n;
    return (an ? "an " : "a ") + name;
}

}  // namespace

std::string PartitionNote(const disk::DiskContents& contents) {
    std::string nss;
    bool netware = false, allKnown = true;
    std::string others;
    std::size_t counted = 0;
    for (const disk::PartitionContents& p : contents.partitions) {
        if (p.partition.extended) continue;
        const std::string number = std::to_string(p.partition.number);
        if (p.fileSystem == disk::kNssFileSystem) {
            nss += (nss.empty() ? "" : "\n") + std::string("Partition ") + number +
                   " holds an NSS pool (NetWare 5 and later). This program reads NetWare traditional volumes; "
                   "raw mode can still carve documents from it.";
        } else if (p.fileSystem == disk::kNetWare386FileSystem) {
            netware = true;
        } else if (p.fileSystem.empty()) {
            allKnown = false;
        } else {
            others += (others.empty() ? "" : "\n") + std::string("Partition ") + number + " holds " +
                      WithArticle(FileSystemName(p)) + " file system, not a NetWare volume";
        }
        ++counted;
    }
    if (!nss.empty()) return nss;
    if (netware || !allKnown || counted == 0) return "";
    return others;
}

std::optional<SectorRange> PartitionRange(Session& session, unsigned diskNumber, unsigned number,
                                          std::string* error) {
    const disk::SectorReader reader = session.Reader();
    const disk::PartitionTable table = disk::ReadPartitionTable(reader, diskNumber);
    for (const disk::Partition& p : table.partitions) {
        if (p.number != number) continue;
        if (p.extended) {
            if (error)
                *error = "partition " + std::to_string(number) +
                         " is an extended partition: name one of its logical partitions";
            return std::nullopt;
        }
        // A partition that the table says runs past the disk's end (a
        // truncated image) ends with the disk.
        std::uint64_t end = p.start + p.sectors;
        if (const std::uint64_t total = DiskSectorCount(session, diskNumber); total > 0) end = std::min(end, total);
        if (end <= p.start) {
            if (error) *error = "partition " + std::to_string(number) + " lies past the end of the disk";
            return std::nullopt;
        }
        return SectorRange{p.start, end};
    }
    if (error) *error = "disk " + std::to_string(diskNumber) + " has no partition " + std::to_string(number);
    return std::nullopt;
}

}  // namespace workflow
