// The partition table and the file systems in it, from literal bytes: MBR
// entries, the extended boot record chain (bounded, loops cut), a GPT with
// its checksums and its backup copy, unreadable table sectors, and what
// libblkid finds in a partition as the engine read it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "TestImages.h"
#include "disk/BadSectorPolicy.h"
#include "disk/DiskSet.h"
#include "disk/FileSystemProbe.h"
#include "disk/PartitionContents.h"
#include "disk/PartitionTable.h"
#include "disk/SectorReader.h"

namespace {

using disk::kSectorSize;

void Put32(std::string& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}
void Put64(std::string& b, std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}
// An MBR-style entry in the boot record at sector `sector`.
void Entry(std::string& img, std::uint64_t sector, unsigned slot, std::uint8_t type, std::uint32_t first,
           std::uint32_t count) {
    const std::size_t at = sector * kSectorSize + 0x1BE + 16 * slot;
    img[at + 4] = static_cast<char>(type);
    Put32(img, at + 8, first);
    Put32(img, at + 12, count);
    img[sector * kSectorSize + 510] = '\x55';
    img[sector * kSectorSize + 511] = '\xAA';
}

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

// A GPT disk of 4096 sectors: protective MBR, header at 1, 128 entries at 2,
// backup header in the last sector.
std::string GptDisk() {
    const std::uint64_t sectors = 4096;
    std::string img(sectors * kSectorSize, '\0');
    Entry(img, 0, 0, 0xEE, 1, sectors - 1);
    // Entry 1: EFI system, written as the GUID's bytes lie on disk.
    const unsigned char efi[16] = {0x28, 0x73, 0x2A, 0xC1, 0x1F, 0xF8, 0xD2, 0x11,
                                   0xBA, 0x4B, 0x00, 0xA0, 0xC9, 0x3E, 0xC9, 0x3B};
    const std::size_t e1 = 2 * kSectorSize;
    std::memcpy(&img[e1], efi, 16);
    img[e1 + 16] = 1;  // a unique GUID that is not zero
    Put64(img, e1 + 32, 34);
    Put64(img, e1 + 40, 1057);
    const char* name = "boot";
    for (int i = 0; name[i]; ++i) img[e1 + 56 + 2 * i] = name[i];
    // Entry 3 (slot 2): an unknown type keeps its GUID.
    const std::size_t e3 = e1 + 2 * 128;
    for (int i = 0; i < 16; ++i) img[e3 + i] = static_cast<char>(0x10 + i);
    Put64(img, e3 + 32, 2048);
    Put64(img, e3 + 40, 4000);
    const std::uint32_t entriesCrc = disk::Crc32(&img[e1], 128 * 128);
    auto header = [&](std::uint64_t at, std::uint64_t entriesAt) {
        const std::size_t h = at * kSectorSize;
        std::memcpy(&img[h], "EFI PART", 8);
        Put32(img, h + 8, 0x00010000);
        Put32(img, h + 12, 92);
        Put64(img, h + 24, at);
        Put64(img, h + 72, entriesAt);
        Put32(img, h + 80, 128);
        Put32(img, h + 84, 128);
        Put32(img, h + 88, entriesCrc);
        Put32(img, h + 16, disk::Crc32(&img[h], 92));
    };
    header(1, 2);
    header(sectors - 1, 2);
    return img;
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
    if (!haveMkfs) GTEST_SKIP() << "mkfs.vfat (dosfstools) is not installed";
    EXPECT_EQ(c.partitions[2].fileSystem, "vfat");
    EXPECT_EQ(c.partitions[2].version, "FAT32");
    EXPECT_EQ(c.partitions[2].label, "PARTLABEL");

    // Zeros are no file system.
    const disk::FileSystemFound none = disk::ProbeFileSystem(std::vector<std::uint8_t>(4096), {}, 1 << 20);
    EXPECT_EQ(none.type, "");
}

}  // namespace
