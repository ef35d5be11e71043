// The note a search adds about the disk's partitions: NSS pools always, other
// file systems only when no partition may hold a NetWare volume, and how the
// window's message joins it to the search's own text.
#include <gtest/gtest.h>

#include "workflow/Partitions.h"
#include "workflow/Search.h"

namespace {

disk::PartitionContents Part(unsigned number, const std::string& fs, const std::string& version = "",
                             bool extended = false) {
    disk::PartitionContents p;
    p.partition.number = number;
    p.partition.extended = extended;
    p.fileSystem = fs;
    p.version = version;
    return p;
}

TEST(PartitionNoteTest, NssAlwaysOtherFileSystemsOnlyWhenNothingElseCouldHoldAVolume) {
    disk::DiskContents c;
    c.partitions = {Part(1, "ntfs"), Part(2, "", "", true), Part(5, "vfat", "FAT32"), Part(6, "ext4"),
                    Part(7, "xfs")};
    EXPECT_EQ(workflow::PartitionNote(c),
              "Partition 1 holds an NTFS file system, not a NetWare volume\n"
              "Partition 5 holds a FAT32 file system, not a NetWare volume\n"
              "Partition 6 holds an ext4 file system, not a NetWare volume\n"
              "Partition 7 holds an XFS file system, not a NetWare volume");
    // A partition of unknown content, or a NetWare 386 one, may hold what
    // the search looks for: nothing is said then.
    c.partitions.push_back(Part(8, ""));
    EXPECT_EQ(workflow::PartitionNote(c), "");
    c.partitions.back() = Part(8, "netware386");
    EXPECT_EQ(workflow::PartitionNote(c), "");
    // An NSS pool is named whatever else the disk holds.
    c.partitions.push_back(Part(9, "nss"));
    EXPECT_EQ(workflow::PartitionNote(c),
              "Partition 9 holds an NSS pool (NetWare 5 and later). This program reads NetWare traditional "
              "volumes; raw mode can still carve documents from it.");
    EXPECT_EQ(workflow::PartitionNote(disk::DiskContents{}), "");

    // The window's message: the search's text, then the note.
    workflow::SearchOutcome outcome;
    outcome.partitionNote = "Partition 1 holds an NSS pool";
    ASSERT_TRUE(workflow::SearchEndNotice(outcome));
    EXPECT_EQ(workflow::SearchEndNotice(outcome)->icon, workflow::Notice::Icon::Information);
    outcome.notice = workflow::InformationNotice("No volume found, use advance mode");
    EXPECT_EQ(workflow::SearchEndNotice(outcome)->text,
              "No volume found, use advance mode\nPartition 1 holds an NSS pool");
}

}  // namespace
