#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <deque>
#include <vector>

#include "common/TempDir.h"
#include "disk/RescueMap.h"
#include "disk/SectorReader.h"

#include "TestImages.h"

namespace {

using disk::kSectorSize;
using disktest::Fill;
using disktest::MakeImage;
using disktest::MakeMap;

class ScriptedPrompt : public disk::BadSectorPrompt {
public:
    std::int32_t Ask(const disk::BadSectorEvent& event) override {
        ++asked;
        last = event;
        if (answers.empty()) return disk::kSkip;
        std::int32_t a = answers.front();
        answers.pop_front();
        return a;
    }
    std::deque<std::int32_t> answers;
    int asked = 0;
    disk::BadSectorEvent last;
};

class SectorReaderTest : public ::testing::Test {
protected:
    void SetUp() override { policy.SetPrompt(&prompt); }
    // Reads into a buffer filled with stale bytes; true when every sector was read.
    bool Read(std::uint64_t start, std::uint32_t count, std::vector<std::uint8_t>& buf, std::uint8_t stale = 0xEE) {
        buf.assign(static_cast<std::size_t>(count) * kSectorSize, stale);
        status = reader.Read(0, start, count, buf.data());
        unreadable = status.Unreadable();
        return status.Ok();
    }
    static bool SectorIs(const std::vector<std::uint8_t>& buf, unsigned i, std::uint8_t v) {
        return disktest::SectorIs(buf, i, v);
    }
    testutil::TempDir dir;
    ScriptedPrompt prompt;
    disk::DiskSet disks;
    disk::BadSectorPolicy policy;
    disk::SectorReader reader{disks, policy};
    disk::ReadStatus status;
    std::uint32_t unreadable = 0xFFFF;
};

TEST_F(SectorReaderTest, ReadsHealthySectorsWithoutPrompt) {
    std::string img = MakeImage(dir, 4096);
    ASSERT_TRUE(disks.Attach(0, img, "", nullptr));
    std::vector<std::uint8_t> buf;
    EXPECT_TRUE(Read(2040, 16, buf));  // crosses a cache chunk boundary
    for (unsigned i = 0; i < 16; ++i) EXPECT_TRUE(SectorIs(buf, i, Fill(2040 + i))) << i;
    EXPECT_EQ(prompt.asked, 0);
    // count 0 transfers nothing and touches nothing
    buf.assign(kSectorSize, 0x5A);
    EXPECT_TRUE(reader.Read(0, 3, 0, buf.data()).Ok());
    EXPECT_TRUE(SectorIs(buf, 0, 0x5A));
}

TEST_F(SectorReaderTest, EightSectorReadWithBadThirdSectorAnsweredRetry) {
    std::string img = MakeImage(dir, 64);
    ASSERT_TRUE(disks.Attach(0, img, MakeMap(dir, 64, 10, 1), nullptr));
    prompt.answers = {disk::kRetry};
    std::vector<std::uint8_t> buf;
    EXPECT_FALSE(Read(8, 8, buf));
    EXPECT_EQ(prompt.asked, 1);  // asked once per request, never per sector
    EXPECT_EQ(unreadable, 1u);
    EXPECT_EQ(prompt.last.diskPath, img);
    EXPECT_EQ(prompt.last.startSector, 8u);
    EXPECT_EQ(prompt.last.sectorCount, 8u);
    for (unsigned i = 0; i < 8; ++i) {
        if (i == 2)
            EXPECT_TRUE(SectorIs(buf, i, 0)) << "unreadable sector must read as zeros, not stale data";
        else
            EXPECT_TRUE(SectorIs(buf, i, Fill(8 + i))) << i;
    }
    // Retry is not remembered: the next failing request asks again
    prompt.answers = {disk::kSkip};
    EXPECT_FALSE(Read(10, 1, buf));
    EXPECT_EQ(prompt.asked, 2);
}

TEST_F(SectorReaderTest, SkipZeroesTheWholeRequest) {
    std::string img = MakeImage(dir, 64);
    ASSERT_TRUE(disks.Attach(0, img, MakeMap(dir, 64, 10, 1), nullptr));
    prompt.answers = {disk::kSkip};
    std::vector<std::uint8_t> buf;
    EXPECT_FALSE(Read(8, 8, buf));
    for (unsigned i = 0; i < 8; ++i) EXPECT_TRUE(SectorIs(buf, i, 0)) << i;
    EXPECT_EQ(unreadable, 8u);
    EXPECT_EQ(policy.BadSectorDecision.load(), disk::kSkip);
}

TEST_F(SectorReaderTest, AllAnswersPersistAndAreNotAskedAgain) {
    std::string img = MakeImage(dir, 64);
    ASSERT_TRUE(disks.Attach(0, img, MakeMap(dir, 64, 10, 4), nullptr));
    std::vector<std::uint8_t> buf;

    prompt.answers = {disk::kRetryAll};
    EXPECT_FALSE(Read(9, 3, buf));
    EXPECT_TRUE(SectorIs(buf, 0, Fill(9)));
    EXPECT_TRUE(SectorIs(buf, 1, 0));
    EXPECT_FALSE(Read(12, 4, buf));  // no second prompt, still sector by sector
    EXPECT_TRUE(SectorIs(buf, 1, 0));
    EXPECT_TRUE(SectorIs(buf, 2, Fill(14)));
    EXPECT_EQ(unreadable, 2u);
    EXPECT_EQ(prompt.asked, 1);
    EXPECT_EQ(policy.BadSectorDecision.load(), disk::kRetryAll);

    policy.BadSectorDecision = disk::kSkipAll;
    EXPECT_FALSE(Read(9, 3, buf));
    for (unsigned i = 0; i < 3; ++i) EXPECT_TRUE(SectorIs(buf, i, 0));
    EXPECT_EQ(prompt.asked, 1);
    // a healthy read is unaffected by the remembered answer
    EXPECT_TRUE(Read(20, 2, buf));
    EXPECT_TRUE(SectorIs(buf, 1, Fill(21)));
}

TEST_F(SectorReaderTest, SectorsPastTheEndAreUnreadableWithoutPrompt) {
    std::string img = MakeImage(dir, 16);
    ASSERT_TRUE(disks.Attach(0, img, MakeMap(dir, 16, 12, 1), nullptr));
    std::vector<std::uint8_t> buf;
    EXPECT_FALSE(Read(14, 4, buf));
    EXPECT_TRUE(SectorIs(buf, 0, Fill(14)));
    EXPECT_TRUE(SectorIs(buf, 1, Fill(15)));
    EXPECT_TRUE(SectorIs(buf, 2, 0));
    EXPECT_TRUE(SectorIs(buf, 3, 0));
    ASSERT_EQ(status.Runs().size(), 1u);
    EXPECT_EQ(status.Runs()[0].offset, 2u);
    EXPECT_EQ(status.Runs()[0].count, 2u);
    EXPECT_EQ(status.Runs()[0].reason, disk::Unread::kPastEnd);
    EXPECT_FALSE(Read(1000000, 8, buf));
    for (unsigned i = 0; i < 8; ++i) EXPECT_TRUE(SectorIs(buf, i, 0));
    EXPECT_EQ(unreadable, 8u);
    EXPECT_EQ(prompt.asked, 0);  // nothing to retry
    // a bad sector and the end in one request: the prompt names the bad
    // part only, and Retry recovers what can be read before the end
    prompt.answers = {disk::kRetry};
    EXPECT_FALSE(Read(10, 8, buf));
    EXPECT_EQ(prompt.asked, 1);
    EXPECT_EQ(prompt.last.startSector, 10u);
    EXPECT_EQ(prompt.last.sectorCount, 6u);
    EXPECT_TRUE(SectorIs(buf, 1, Fill(11)));
    EXPECT_TRUE(SectorIs(buf, 2, 0));
    EXPECT_TRUE(SectorIs(buf, 3, Fill(13)));
    EXPECT_EQ(status.Count(disk::Unread::kBadSector), 1u);
    EXPECT_EQ(status.Count(disk::Unread::kPastEnd), 2u);
    EXPECT_EQ(unreadable, 3u);
    // the same without a prompt: the failed part is named whole
    const disk::ReadStatus tried = reader.TryRead(0, 10, 8, buf.data());
    EXPECT_EQ(tried.Count(disk::Unread::kBadSector), 6u);
    EXPECT_EQ(tried.Count(disk::Unread::kPastEnd), 2u);
    EXPECT_TRUE(SectorIs(buf, 0, 0));
}

TEST_F(SectorReaderTest, DeviceThatCannotBeOpenedReadsZerosAndSaysSo) {
    ASSERT_TRUE(disks.Attach(0, dir.File("missing.img"), "", nullptr));
    std::vector<std::uint8_t> buf;
    EXPECT_FALSE(Read(0, 2, buf));
    EXPECT_TRUE(SectorIs(buf, 0, 0));
    EXPECT_EQ(status.Count(disk::Unread::kNoDevice), 2u);
    EXPECT_EQ(prompt.asked, 0);
    EXPECT_NE(disks.At(0)->OpenFailureReason().find("missing.img: "), std::string::npos);
    EXPECT_FALSE(reader.TryRead(0, 0, 1, buf.data()).Ok());
    // an empty table entry behaves the same
    buf.assign(kSectorSize, 0xEE);
    EXPECT_TRUE(reader.Read(5, 0, 1, buf.data()).Has(disk::Unread::kNoDevice));
    EXPECT_TRUE(SectorIs(buf, 0, 0));
}

TEST_F(SectorReaderTest, StartSectorBeyond32BitsIsAddressedIn64Bits) {
    const std::uint64_t far = (1ull << 32) + 5;
    std::string path = dir.File("big.img");
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>((far + 8) * kSectorSize)), 0);
    std::vector<std::uint8_t> marker(kSectorSize, 0xC3);
    ASSERT_EQ(::pwrite(fd, marker.data(), kSectorSize, static_cast<off_t>(far * kSectorSize)), kSectorSize);
    marker.assign(kSectorSize, 0x3C);  // the sector the low 32 bits would name
    ASSERT_EQ(::pwrite(fd, marker.data(), kSectorSize, 5 * kSectorSize), kSectorSize);
    ::close(fd);
    ASSERT_TRUE(disks.Attach(0, path, "", nullptr));
    std::vector<std::uint8_t> buf;
    EXPECT_TRUE(Read(far, 1, buf));
    EXPECT_TRUE(SectorIs(buf, 0, 0xC3));
}

TEST_F(SectorReaderTest, WriteReachesTheDeviceAndLaterReadsSeeIt) {
    std::string img = MakeImage(dir, 64);
    ASSERT_TRUE(disks.Attach(0, img, "", nullptr));
    std::vector<std::uint8_t> buf;
    ASSERT_TRUE(Read(3, 1, buf));  // now cached
    std::vector<std::uint8_t> data(kSectorSize, 0x99);
    std::string error;
    EXPECT_TRUE(reader.Write(0, 3, 1, data.data(), &error)) << error;
    ASSERT_TRUE(Read(3, 1, buf));
    EXPECT_TRUE(SectorIs(buf, 0, 0x99));
    // writing a device that cannot be opened, no device at all, or past the end is refused with the reason
    ASSERT_TRUE(disks.Attach(1, dir.File("nope.img"), "", nullptr));
    EXPECT_FALSE(reader.Write(1, 0, 1, data.data(), &error));
    EXPECT_NE(error.find("nope.img: "), std::string::npos) << error;
    EXPECT_FALSE(reader.Write(7, 0, 1, data.data(), &error));
    EXPECT_EQ(error, "no device is attached as Disk7");
    EXPECT_FALSE(reader.Write(0, 63, 2, data.data(), &error));
    EXPECT_EQ(testutil::ReadFile(img).size(), 64u * kSectorSize);  // the image did not grow
}

TEST_F(SectorReaderTest, ReattachingAnImageDropsItsCachedData) {
    std::string img = MakeImage(dir, 64);
    ASSERT_TRUE(disks.Attach(0, img, "", nullptr));
    std::vector<std::uint8_t> buf;
    ASSERT_TRUE(Read(1, 1, buf));
    testutil::WriteFile(img, std::string(64 * kSectorSize, '\x42'));
    ASSERT_TRUE(disks.Attach(0, img, "", nullptr));
    ASSERT_TRUE(Read(1, 1, buf));
    EXPECT_TRUE(SectorIs(buf, 0, 0x42));
}

TEST_F(SectorReaderTest, TryReadNeverPromptsAndReportsUnreadableWindows) {
    std::string img = MakeImage(dir, 4096);
    ASSERT_TRUE(disks.Attach(0, img, MakeMap(dir, 4096, 3000, 1), nullptr));
    std::vector<std::uint8_t> buf(2048 * kSectorSize, 0xEE);
    // a large window straight from the device, and a small one through the cache
    EXPECT_TRUE(reader.TryRead(0, 0, 2048, buf.data()).Ok());
    EXPECT_TRUE(SectorIs(buf, 2047, Fill(2047)));
    EXPECT_TRUE(reader.TryRead(0, 100, 8, buf.data()).Ok());
    EXPECT_TRUE(SectorIs(buf, 7, Fill(107)));
    // the window holding the unread sector fails, without asking
    EXPECT_FALSE(reader.TryRead(0, 2048, 2048, buf.data()).Ok());
    EXPECT_FALSE(reader.TryRead(0, 2999, 8, buf.data()).Ok());
    // a small request beside it is read although its cache chunk cannot be
    EXPECT_TRUE(reader.TryRead(0, 2990, 8, buf.data()).Ok());
    EXPECT_TRUE(SectorIs(buf, 7, Fill(2997)));
    EXPECT_EQ(prompt.asked, 0);
    EXPECT_EQ(policy.BadSectorDecision.load(), disk::kRetry);
    EXPECT_FALSE(reader.TryRead(7, 0, 1, buf.data()).Ok());
}

// (The floppy label rule belongs to choosing a disk: tests/catalogue.)
TEST_F(SectorReaderTest, DiskSetNamesWhatIsAttachedAtEachNumber) {
    std::string img = MakeImage(dir, 4);
    ASSERT_TRUE(disks.Attach(2, img, "", nullptr));
    EXPECT_EQ(disks.PathOf(2), img);
    EXPECT_EQ(reader.SectorCount(2), 4u);
    EXPECT_EQ(disks.PathOf(12), "");
    EXPECT_EQ(disks.At(12), nullptr);
    disks.Detach(2);
    EXPECT_EQ(disks.PathOf(2), "");
    EXPECT_EQ(reader.SectorCount(2), 0u);
}

TEST(RescueMapTest, ParsesFinishedAreasAndJoinsNeighbours) {
    disk::RescueMap map;
    std::string err;
    ASSERT_TRUE(map.Parse("# comment\n0x1000 ?  2\n0x0 0x400 +\n0x400 0x200 +\n0x600 0x200 *\n0x800 0x800 +  # tail\n",
                          &err))
        << err;
    EXPECT_TRUE(map.IsGood(0, 0x600));
    EXPECT_FALSE(map.IsGood(0x5FF, 2));
    EXPECT_FALSE(map.IsGood(0x600, 0x200));
    EXPECT_TRUE(map.IsGood(0x800, 0x800));
    EXPECT_FALSE(map.IsGood(0xE00, 0x400));  // past the last area: never read
    ASSERT_EQ(map.GoodAreas().size(), 2u);
}

TEST(RescueMapTest, RejectsMalformedMapfilesWithTheLine) {
    disk::RescueMap map;
    std::string err;
    EXPECT_FALSE(map.Parse("", &err));
    EXPECT_NE(err.find("status line"), std::string::npos);
    EXPECT_FALSE(map.Parse("0x0 +\n0x0 0x200 x\n", &err));
    EXPECT_NE(err.find("line 2"), std::string::npos);
    EXPECT_FALSE(map.Parse("0x0 +\n0x400 0x200 +\n0x0 0x200 +\n", &err));  // out of order
    EXPECT_FALSE(map.Parse("0x0 +\n0x0 zz +\n", &err));
    EXPECT_FALSE(map.Parse("0x0 +\n0xFFFFFFFFFFFFFFF0 0x100 +\n", &err));
    EXPECT_FALSE(map.Parse("hello world\n", &err));
}

TEST(RescueMapTest, AttachRefusesAnUnreadableMapfile) {
    testutil::TempDir dir;
    testutil::WriteFile(dir.File("img"), std::string(1024, 'x'));
    testutil::WriteFile(dir.File("bad.map"), "not a mapfile\n");
    disk::DiskSet disks;
    ASSERT_TRUE(disks.Attach(0, dir.File("img"), "", nullptr));
    std::string err;
    EXPECT_FALSE(disks.Attach(0, dir.File("img"), dir.File("bad.map"), &err));
    EXPECT_NE(err.find("bad.map"), std::string::npos);
    EXPECT_FALSE(disks.Attach(0, dir.File("img"), dir.File("absent.map"), &err));
    EXPECT_FALSE(disks.Attach(10, dir.File("img"), "", &err));
    EXPECT_FALSE(disks.Attach(1, "", "", &err));
    EXPECT_EQ(disks.PathOf(0), dir.File("img"));  // a refused attach leaves the disk there as it was
}

}  // namespace
