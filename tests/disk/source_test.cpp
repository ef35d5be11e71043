// What a disk is made of: only image files and block devices are opened
// (a pipe, folder or character device is refused before it is opened, so
// nothing can hang), raw images split into numbered pieces read as one
// disk, and the format is told by content, never by the name.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "common/TempDir.h"
#include "disk/Disk.h"
#include "disk/SectorReader.h"

#include "TestImages.h"

namespace {

using disk::kSectorSize;
using disktest::Fill;
using disktest::MakeImage;

std::unique_ptr<disk::Disk> Open(const std::string& path, const std::string& map = "", std::string* error = nullptr) {
    return disk::Disk::Open(path, map, error);
}

// Cuts the image at `whole` into pieces of `pieceBytes` named by `suffixes`.
void Cut(const std::string& whole, const std::string& stem, std::uint64_t pieceBytes,
         const std::vector<std::string>& suffixes) {
    const std::string bytes = testutil::ReadFile(whole);
    for (std::size_t i = 0; i < suffixes.size(); ++i)
        testutil::WriteFile(stem + suffixes[i], bytes.substr(i * pieceBytes, pieceBytes));
}

// Every sector of disk 0 read through the policy, in requests of `count`
// (crossing the pieces' and the cache's boundaries), against the filler.
void ExpectEverySector(disk::SectorReader& reader, std::uint64_t sectors, std::uint32_t count) {
    std::vector<std::uint8_t> buf(count * kSectorSize);
    for (std::uint64_t s = 0; s < sectors; s += count) {
        const disk::ReadStatus status = reader.Read(0, s, count, buf.data());
        // only what lies past the end is not read
        ASSERT_EQ(status.Unreadable(), s + count > sectors ? s + count - sectors : 0) << s;
        ASSERT_EQ(status.Count(disk::Unread::kPastEnd), status.Unreadable()) << s;
        for (std::uint32_t i = 0; i < count && s + i < sectors; ++i)
            ASSERT_TRUE(disktest::SectorIs(buf, i, Fill(s + i))) << "sector " << s + i;
    }
}

TEST(SourceTest, PipesFoldersAndCharacterDevicesAreRefusedBeforeOpening) {
    testutil::TempDir dir;
    const std::string fifo = dir.File("pipe.img");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = dir.File("folder.img");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    const std::string image = MakeImage(dir, 64);

    struct Case {
        std::string path, reason;
    } cases[] = {
        {fifo, fifo + ": a named pipe, not an image file or a block device"},
        {folder, folder + ": Is a directory"},
        {"/dev/null", "/dev/null: a character device, not an image file or a block device"},
    };
    for (const Case& c : cases) {
        const auto d = Open(c.path);
        ASSERT_TRUE(d) << c.path;
        EXPECT_FALSE(d->IsOpen());
        EXPECT_EQ(d->OpenFailureReason(), c.reason);
        EXPECT_EQ(d->SizeBytes(), 0u);
        EXPECT_EQ(disk::DeviceSizeBytes(c.path), 0u);
        EXPECT_EQ(c.path + ": " + disk::OpenProblem(c.path), c.reason);
        std::string error;
        const std::vector<std::uint8_t> sector(kSectorSize, 1);
        EXPECT_FALSE(d->Write(0, 1, sector.data(), &error)) << c.path;
    }
    EXPECT_EQ(disk::OpenProblem(image), "");
    EXPECT_EQ(disk::OpenProblem(dir.File("absent.img")), "No such file or directory");
    // a pipe given as the mapfile is refused the same way
    std::string error;
    EXPECT_EQ(Open(image, fifo, &error), nullptr);
    EXPECT_EQ(error, "Unable to open file: " + fifo + ": a named pipe, not a plain file");
    EXPECT_EQ(Open(image, folder, &error), nullptr);
    EXPECT_EQ(error, "Unable to open file: " + folder + ": Is a directory");
    // a missing one and one too large to be a mapfile (sparse: nothing is read)
    EXPECT_EQ(Open(image, dir.File("absent.map"), &error), nullptr);
    EXPECT_EQ(error, "Unable to open file: " + dir.File("absent.map") + ": No such file or directory");
    const std::string huge = dir.File("huge.map");
    testutil::WriteFile(huge, "");
    ASSERT_EQ(::truncate(huge.c_str(), (64ll << 20) + 1), 0);
    EXPECT_EQ(Open(image, huge, &error), nullptr);
    EXPECT_EQ(error, "Unable to open file: " + huge + ": larger than 64 MiB, too large for a ddrescue mapfile");
}

TEST(SourceTest, SplitRawPiecesReadAsOneDiskOpenedByTheFirst) {
    testutil::TempDir dir;
    constexpr std::uint64_t kSectors = 2500;                 // 1.22 MiB
    // 25 pieces, more than are kept open at once; not a multiple of the cache chunk
    constexpr std::uint64_t kPieceBytes = 100 * kSectorSize;
    const std::string whole = MakeImage(dir, kSectors, "whole.img");
    struct Set {
        std::string stem;
        std::vector<std::string> suffixes;
    } sets[] = {{dir.File("numbered."), {}}, {dir.File("lettered."), {}}};
    for (char i = 0; i < 25; ++i) {
        sets[0].suffixes.push_back((i < 9 ? "00" : "0") + std::to_string(i + 1));
        sets[1].suffixes.push_back(std::string("a") + static_cast<char>('a' + i));
    }
    for (const Set& set : sets) {
        SCOPED_TRACE(set.stem);
        Cut(whole, set.stem, kPieceBytes, set.suffixes);
        disk::DiskSet disks;
        disk::BadSectorPolicy policy;
        disk::SectorReader reader(disks, policy);
        ASSERT_TRUE(disks.Attach(0, set.stem + set.suffixes[0], "", nullptr));
        const auto d = disks.At(0);
        ASSERT_TRUE(d->IsOpen()) << d->OpenFailureReason();
        EXPECT_EQ(d->SectorCount(), kSectors);
        EXPECT_EQ(disk::DeviceSizeBytes(set.stem + set.suffixes[0]), kSectors * kSectorSize);
        EXPECT_EQ(d->Facts(), (disk::FactRows{{"Format", "Split raw (25 pieces)"}}));
        ExpectEverySector(reader, kSectors, 7);    // small requests through the cache
        ExpectEverySector(reader, kSectors, 640);  // larger than a cache chunk, across pieces
        // never written: the marking would otherwise cross pieces
        std::string error;
        std::vector<std::uint8_t> sector(kSectorSize, 0);
        EXPECT_FALSE(d->Write(5, 1, sector.data(), &error));
        EXPECT_NE(error.find("opened read-only"), std::string::npos) << error;
        EXPECT_EQ(testutil::ReadFile(set.stem + set.suffixes[0]), testutil::ReadFile(whole).substr(0, kPieceBytes));
    }
    // a later piece opened by itself is a raw image of its own
    const auto second = Open(dir.File("numbered.002"));
    EXPECT_EQ(second->SizeBytes(), kPieceBytes);
    EXPECT_EQ(second->SourceName(), "raw image");
    // a ddrescue mapfile counts bytes of the whole set
    std::string error;
    const auto mapped = Open(dir.File("numbered.001"), disktest::MakeMap(dir, kSectors, 700, 3), &error);
    ASSERT_TRUE(mapped) << error;
    std::vector<std::uint8_t> buf(kSectorSize);
    EXPECT_TRUE(mapped->ReadOneSector(699, buf.data()));
    EXPECT_FALSE(mapped->ReadOneSector(700, buf.data()));
}

TEST(SourceTest, DamagedSplitSetSaysWhichPieceBreaksIt) {
    testutil::TempDir dir;
    const std::string whole = MakeImage(dir, 900, "whole.img");
    Cut(whole, dir.File("set."), 300 * kSectorSize, {"001", "002", "003"});
    testutil::WriteFile(dir.File("set.002"), testutil::ReadFile(dir.File("set.002")).substr(0, 1000));
    const auto d = Open(dir.File("set.001"));
    EXPECT_FALSE(d->IsOpen());
    EXPECT_EQ(d->OpenFailureReason(),
              dir.File("set.002") + ": holds 1000 bytes, the pieces before it 153600 each: the split raw image is damaged");
}

TEST(SourceTest, SplitSetWithAMiddlePieceRemovedKeepsItsLaterPiecesAndReadsTheGapAsUnreadable) {
    testutil::TempDir dir;
    // ten pieces of 100 sectors, the last one of 50; the eighth is removed
    const std::string whole = MakeImage(dir, 950, "whole.img");
    std::vector<std::string> suffixes;
    for (int i = 1; i <= 10; ++i) suffixes.push_back((i < 10 ? "00" : "0") + std::to_string(i));
    Cut(whole, dir.File("x.img."), 100 * kSectorSize, suffixes);
    ASSERT_EQ(::unlink(dir.File("x.img.008").c_str()), 0);
    testutil::WriteFile(dir.File("x.img.1x"), "not a piece");
    disk::DiskSet disks;
    disk::BadSectorPolicy policy;
    int asked = 0;
    struct Count : disk::BadSectorPrompt {
        int* n;
        explicit Count(int* c) : n(c) {}
        std::int32_t Ask(const disk::BadSectorEvent&) override { return ++*n, disk::kSkip; }
    } prompt(&asked);
    policy.SetPrompt(&prompt);
    disk::SectorReader reader(disks, policy);
    ASSERT_TRUE(disks.Attach(0, dir.File("x.img.001"), "", nullptr));
    const auto d = disks.At(0);
    ASSERT_TRUE(d->IsOpen()) << d->OpenFailureReason();
    EXPECT_EQ(d->SectorCount(), 950u);  // the whole disk, not the seven pieces before the gap
    EXPECT_EQ(d->Facts(), (disk::FactRows{{"Format", "Split raw (10 pieces)"},
                                          {"Missing pieces", dir.File("x.img.008")}}));
    EXPECT_NE(d->Remark().find(dir.File("x.img.008") + " is missing"), std::string::npos) << d->Remark();
    // a request across the gap: the sectors before and after it are read,
    // the gap's are zeros named as a missing piece, and nobody is asked
    std::vector<std::uint8_t> buf(120 * kSectorSize, 0xEE);
    const disk::ReadStatus status = reader.Read(0, 690, 120, buf.data());
    ASSERT_EQ(status.Runs().size(), 1u);
    EXPECT_EQ(status.Runs()[0].offset, 10u);
    EXPECT_EQ(status.Runs()[0].count, 100u);
    EXPECT_EQ(status.Runs()[0].reason, disk::Unread::kMissingPiece);
    EXPECT_TRUE(disktest::SectorIs(buf, 9, Fill(699)));
    EXPECT_TRUE(disktest::SectorIs(buf, 10, 0));
    EXPECT_TRUE(disktest::SectorIs(buf, 109, 0));
    EXPECT_TRUE(disktest::SectorIs(buf, 110, Fill(800)));
    EXPECT_TRUE(reader.Read(0, 940, 10, buf.data()).Ok());
    EXPECT_TRUE(disktest::SectorIs(buf, 9, Fill(949)));
    EXPECT_EQ(asked, 0);
    policy.SetPrompt(nullptr);
}

TEST(SourceTest, FormatIsToldByContentNotByName) {
    testutil::TempDir dir;
    for (const char* name : {"disk.vmdk", "disk.E01", "disk.qcow2", "disk.vhd"}) {
        const std::string path = MakeImage(dir, 40, name);
        const auto d = Open(path);
        ASSERT_TRUE(d->IsOpen()) << name << ": " << d->OpenFailureReason();
        EXPECT_EQ(d->SourceName(), "raw image") << name;
        EXPECT_TRUE(d->Facts().empty());
        EXPECT_EQ(d->SectorCount(), 40u);
    }
    // a text file that only mentions a descriptor is still raw
    testutil::WriteFile(dir.File("notes.img"), "notes\n# Disk DescriptorFile\n" + std::string(2048, ' '));
    EXPECT_EQ(Open(dir.File("notes.img"))->SourceName(), "raw image");
}

}  // namespace
