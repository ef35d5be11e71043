// The partition table and the file systems in it, from literal bytes: MBR
// entries, the extended boot record chain (bounded, loops cut), a GPT with
// its checksums and its backup copy, unreadable table sectors, and what
// libblkid finds in a partition as the engine read it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "TestImages.h"
#include "common/PartitionBytes.h"
#include "disk/BadSectorPolicy.h"
#include "disk/DiskSet.h"
#include "disk/FileSystemProbe.h"
#include "disk/PartitionContents.h"
#include "disk/PartitionTable.h"
#include "disk/SectorReader.h"

namespace {

using disk::kSectorSize;
using partbytes::Entry;
using partbytes::GptDisk;

class PartitionTableTest : public ::testing::Test {
protected:
    void SetUp() override { policy.BadSectorDecision = disk::kSkipAll; }
    void Attach(const std::string& img, const std::string& map = "") {
        path = dir.File("disk.img");
        testutil::WriteFile(path, img);
        ASSERT_TRUE(disks.Attach(0, path, map, nullptr));
    }
    testutil::TempDir dir;
    std::string path;
    disk::DiskSet disks;
    disk::BadSectorPolicy policy;
    disk::SectorReader reader{disks, policy};
};

// Primary 1 (0x65), primary 2 extended; two logical partitions behind it
// (EBR at 8192 and 12288).
std::string MbrWithLogicals() {
    std::string img(20480 * kSectorSize, '\0');
    Entry(img, 0, 0, 0x65, 2048, 4096);
    Entry(img, 0, 1, 0x05, 8192, 8192);
    Entry(img, 0, 3, 0x0b, 16384, 4096);
    Entry(img, 8192, 0, 0x83, 2048, 2048);
    Entry(img, 8192, 1, 0x05, 4096, 4096);
    Entry(img, 12288, 0, 0x07, 2048, 1024);
    return img;
}

TEST_F(PartitionTableTest, MbrPrimariesAndTheLogicalChainNumberedAsLinuxDoes) {
    Attach(MbrWithLogicals());
    const disk::PartitionTable t = disk::ReadPartitionTable(reader, 0);
    EXPECT_EQ(t.scheme, disk::PartitionScheme::Mbr);
    ASSERT_EQ(t.partitions.size(), 5u);
    struct Want {
        unsigned number;
        std::uint64_t start, sectors;
        const char* type;
        bool extended;
    };
    const Want want[] = {{1, 2048, 4096, "0x65", false},
                         {2, 8192, 8192, "0x05", true},
                         {4, 16384, 4096, "0x0b", false},
                         {5, 10240, 2048, "0x83", false},
                         {6, 14336, 1024, "0x07", false}};
    for (std::size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(t.partitions[i].number, want[i].number);
        EXPECT_EQ(t.partitions[i].start, want[i].start);
        EXPECT_EQ(t.partitions[i].sectors, want[i].sectors);
        EXPECT_EQ(t.partitions[i].TypeText(), want[i].type);
        EXPECT_EQ(t.partitions[i].extended, want[i].extended);
    }
    EXPECT_TRUE(t.problems.empty());
    EXPECT_TRUE(t.unread.empty());

    // Without the boot signature there is no table at all.
    std::string bare = MbrWithLogicals();
    bare[511] = 0;
    Attach(bare);
    EXPECT_EQ(disk::ReadPartitionTable(reader, 0).scheme, disk::PartitionScheme::None);
}

TEST_F(PartitionTableTest, DamagedChainsEndWithAProblemAndKeepWhatCameBefore) {
    // The second EBR links to itself: the chain is cut, never followed round.
    std::string loop = MbrWithLogicals();
    Entry(loop, 12288, 1, 0x05, 4096, 4096);
    Attach(loop);
    disk::PartitionTable t = disk::ReadPartitionTable(reader, 0);
    EXPECT_EQ(t.partitions.size(), 5u);
    ASSERT_EQ(t.problems.size(), 1u);
    EXPECT_NE(t.problems[0].find("loops back to sector 12288"), std::string::npos);

    // A link past the extended partition's end is not followed.
    std::string outside = MbrWithLogicals();
    Entry(outside, 8192, 1, 0x05, 9000, 100);
    Attach(outside);
    t = disk::ReadPartitionTable(reader, 0);
    EXPECT_EQ(t.partitions.size(), 4u);
    ASSERT_EQ(t.problems.size(), 1u);

    // An unreadable EBR (a mapfile's bad sector) is named with its sector and reason.
    Attach(MbrWithLogicals(), disktest::MakeMap(dir, 20480, 12288, 1));
    t = disk::ReadPartitionTable(reader, 0);
    EXPECT_EQ(t.partitions.size(), 4u);
    ASSERT_EQ(t.unread.size(), 1u);
    EXPECT_EQ(t.unread[0].sector, 12288u);
    EXPECT_EQ(t.unread[0].reason, disk::Unread::kBadSector);
}

TEST_F(PartitionTableTest, GptEntriesWithTypeNamesAndTheBackupHeader) {
    Attach(GptDisk());
    disk::PartitionTable t = disk::ReadPartitionTable(reader, 0);
    EXPECT_EQ(t.scheme, disk::PartitionScheme::Gpt);
    EXPECT_TRUE(t.problems.empty());
    ASSERT_EQ(t.partitions.size(), 2u);
    EXPECT_EQ(t.partitions[0].number, 1u);
    EXPECT_EQ(t.partitions[0].start, 34u);
    EXPECT_EQ(t.partitions[0].sectors, 1024u);
    EXPECT_EQ(t.partitions[0].TypeText(), "EFI system");
    EXPECT_EQ(t.partitions[0].gptName, "boot");
    EXPECT_EQ(t.partitions[1].number, 3u);
    EXPECT_EQ(t.partitions[1].TypeText(), "13121110-1514-1716-1819-1A1B1C1D1E1F");

    // A changed entry breaks the entries' checksum: said, entries still listed.
    std::string changed = GptDisk();
    changed[2 * kSectorSize + 32] = 35;
    Attach(changed);
    t = disk::ReadPartitionTable(reader, 0);
    EXPECT_EQ(t.partitions.size(), 2u);
    ASSERT_EQ(t.problems.size(), 1u);
    EXPECT_EQ(t.partitions[0].start, 35u);

    // The primary header gone: the backup in the last sector is read.
    std::string noPrimary = GptDisk();
    std::memset(&noPrimary[kSectorSize], 0, kSectorSize);
    Attach(noPrimary);
    t = disk::ReadPartitionTable(reader, 0);
    EXPECT_EQ(t.scheme, disk::PartitionScheme::Gpt);
    EXPECT_EQ(t.partitions.size(), 2u);
}

TEST_F(PartitionTableTest, FileSystemsFromTheBytesTheEngineRead) {
    // NSS by its signature 4 KiB in, whatever its type; NetWare 386 by its type.
    std::string img(24576 * kSectorSize, '\0');
    Entry(img, 0, 0, 0x65, 2048, 2048);
    Entry(img, 0, 1, 0x83, 4096, 2048);
    std::memcpy(&img[(4096 + 8) * kSectorSize], "SPB5", 4);
    Entry(img, 0, 2, 0x0c, 8192, 16384);
    const std::string fat = dir.File("fat.img");
    testutil::WriteFile(fat, std::string(16384 * kSectorSize, '\0'));
    const bool haveMkfs =
        std::system(("mkfs.vfat -F 32 -n PARTLABEL " + fat + " >/dev/null 2>&1").c_str()) == 0;
    if (haveMkfs) {
        const std::string bytes = testutil::ReadFile(fat);
        img.replace(8192 * kSectorSize, bytes.size(), bytes);
    }
    Attach(img);
    const disk::DiskContents c = disk::ReadDiskContents(reader, 0);
    EXPECT_TRUE(c.probeFailure.empty()) << c.probeFailure;
    ASSERT_EQ(c.partitions.size(), 3u);
    EXPECT_EQ(c.partitions[0].fileSystem, "netware386");
    EXPECT_EQ(c.partitions[1].fileSystem, "nss");
    EXPECT_EQ(c.partitions[1].unreadSectors, 0u);
    if (!haveMkfs) GTEST_SKIP() << "mkfs.vfat (dosfstools) is not installed";
    EXPECT_EQ(c.partitions[2].fileSystem, "vfat");
    EXPECT_EQ(c.partitions[2].version, "FAT32");
    EXPECT_EQ(c.partitions[2].label, "PARTLABEL");

    // A bad sector where the signature lies: counted (its piece of 8), read
    // as zeros, and nothing is claimed.
    Attach(img, disktest::MakeMap(dir, 24576, 4096 + 8, 1));
    const disk::DiskContents bad = disk::ReadDiskContents(reader, 0);
    ASSERT_EQ(bad.partitions.size(), 3u);
    EXPECT_EQ(bad.partitions[1].fileSystem, "");
    EXPECT_EQ(bad.partitions[1].unreadSectors, 8u);

    // Zeros are no file system.
    const disk::FileSystemFound none = disk::ProbeFileSystem(std::vector<std::uint8_t>(4096), {}, 1 << 20);
    EXPECT_EQ(none.type, "");
}

}  // namespace
