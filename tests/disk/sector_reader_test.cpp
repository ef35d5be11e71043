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
    int Read(std::uint64_t start, std::uint32_t count, std::vector<std::uint8_t>& buf, std::uint8_t stale = 0xEE) {
        buf.assign(static_cast<std::size_t>(count) * kSectorSize, stale);
        return reader.Read(0, start, count, buf.data(), &unreadable);
    }
    static bool SectorIs(const std::vector<std::uint8_t>& buf, unsigned i, std::uint8_t v) {
        return disktest::SectorIs(buf, i, v);
    }
    testutil::TempDir dir;
    ScriptedPrompt prompt;
    disk::DiskSet disks;
    disk::BadSectorPolicy policy;
    disk::ReadPath path;
    disk::SectorReader reader{disks, policy, &path};
    std::uint32_t unreadable = 0xFFFF;
};

TEST_F(SectorReaderTest, ReadsHealthySectorsWithoutPrompt) {
    std::string img = MakeImage(dir, 4096);
    ASSERT_TRUE(disks.Attach(0, img, "", nullptr));
    std::vector<std::uint8_t> buf;
    EXPECT_EQ(Read(2040, 16, buf), disk::kReadOk);  // crosses a cache chunk boundary
    for (unsigned i = 0; i < 16; ++i) EXPECT_TRUE(SectorIs(buf, i, Fill(2040 + i))) << i;
    EXPECT_EQ(prompt.asked, 0);
    // count 0 transfers nothing and touches nothing
    buf.assign(kSectorSize, 0x5A);
    EXPECT_EQ(reader.Read(0, 3, 0, buf.data()), disk::kReadOk);
    EXPECT_TRUE(SectorIs(buf, 0, 0x5A));
}

TEST_F(SectorReaderTest, EightSectorReadWithBadThirdSectorAnsweredRetry) {
    std::string img = MakeImage(dir, 64);
    ASSERT_TRUE(disks.Attach(0, img, MakeMap(dir, 64, 10, 1), nullptr));
    prompt.answers = {disk::kRetry};
    std::vector<std::uint8_t> buf;
    EXPECT_EQ(Read(8, 8, buf), disk::kReadFailed);
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
    EXPECT_EQ(Read(10, 1, buf), disk::kReadFailed);
    EXPECT_EQ(prompt.asked, 2);
}

TEST_F(SectorReaderTest, SkipZeroesTheWholeRequest) {
    std::string img = MakeImage(dir, 64);
    ASSERT_TRUE(disks.Attach(0, img, MakeMap(dir, 64, 10, 1), nullptr));
    prompt.answers = {disk::kSkip};
    std::vector<std::uint8_t> buf;
    EXPECT_EQ(Read(8, 8, buf), disk::kReadFailed);
    for (unsigned i = 0; i < 8; ++i) EXPECT_TRUE(SectorIs(buf, i, 0)) << i;
    EXPECT_EQ(unreadable, 8u);
    EXPECT_EQ(policy.BadSectorDecision.load(), disk::kSkip);
}

TEST_F(SectorReaderTest, AllAnswersPersistAndAreNotAskedAgain) {
    std::string img = MakeImage(dir, 64);
    ASSERT_TRUE(disks.Attach(0, img, MakeMap(dir, 64, 10, 4), nullptr));
    std::vector<std::uint8_t> buf;

    prompt.answers = {disk::kRetryAll};
    EXPECT_EQ(Read(9, 3, buf), disk::kReadFailed);
    EXPECT_TRUE(SectorIs(buf, 0, Fill(9)));
    EXPECT_TRUE(SectorIs(buf, 1, 0));
    EXPECT_EQ(Read(12, 4, buf), disk::kReadFailed);  // no second prompt, still sector by sector
    EXPECT_TRUE(SectorIs(buf, 1, 0));
    EXPECT_TRUE(SectorIs(buf, 2, Fill(14)));
    EXPECT_EQ(unreadable, 2u);
    EXPECT_EQ(prompt.asked, 1);
    EXPECT_EQ(policy.BadSectorDecision.load(), disk::kRetryAll);

    policy.BadSectorDecision = disk::kSkipAll;
    EXPECT_EQ(Read(9, 3, buf), disk::kReadFailed);
    for (unsigned i = 0; i < 3; ++i) EXPECT_TRUE(SectorIs(buf, i, 0));
    EXPECT_EQ(prompt.asked, 1);
    // a healthy read is unaffected by the remembered answer
    EXPECT_EQ(Read(20, 2, buf), disk::kReadOk);
    EXPECT_TRUE(SectorIs(buf, 1, Fill(21)));
}

TEST_F(SectorReaderTest, ReadsAtOrPastTheEndAreZerosWithoutPrompt) {
    std::string img = MakeImage(dir, 16);
    ASSERT_TRUE(disks.Attach(0, img, "", nullptr));
    std::vector<std::uint8_t> buf;
    EXPECT_EQ(Read(14, 4, buf), disk::kReadOk);
    EXPECT_TRUE(SectorIs(buf, 0, Fill(14)));
    EXPECT_TRUE(SectorIs(buf, 1, Fill(15)));
    EXPECT_TRUE(SectorIs(buf, 2, 0));
    EXPECT_TRUE(SectorIs(buf, 3, 0));
    EXPECT_EQ(Read(1000000, 8, buf), disk::kReadOk);
    for (unsigned i = 0; i < 8; ++i) EXPECT_TRUE(SectorIs(buf, i, 0));
    EXPECT_EQ(unreadable, 0u);  // past the end is not damage
    EXPECT_EQ(prompt.asked, 0);
}

TEST_F(SectorReaderTest, DeviceThatCannotBeOpenedReadsZerosAndSaysSo) {
    ASSERT_TRUE(disks.Attach(0, dir.File("missing.img"), "", nullptr));
    std::vector<std::uint8_t> buf;
    EXPECT_EQ(Read(0, 2, buf), disk::kReadNoDevice);
    EXPECT_TRUE(SectorIs(buf, 0, 0));
    EXPECT_EQ(unreadable, 2u);
    EXPECT_EQ(prompt.asked, 0);
    EXPECT_NE(disks.At(0)->OpenFailureReason().find("missing.img: "), std::string::npos);
    EXPECT_FALSE(reader.TryRead(0, 0, 1, buf.data()));
    // an empty table entry behaves the same
    buf.assign(kSectorSize, 0xEE);
    EXPECT_EQ(reader.Read(5, 0, 1, buf.data()), disk::kReadNoDevice);
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
    EXPECT_EQ(Read(far, 1, buf), disk::kReadOk);
    EXPECT_TRUE(SectorIs(buf, 0, 0xC3));
}

TEST_F(SectorReaderTest, WriteReachesTheDeviceAndLaterReadsSeeIt) {
    std::string img = MakeImage(dir, 64);
    ASSERT_TRUE(disks.Attach(0, img, "", nullptr));
    std::vector<std::uint8_t> buf;
    ASSERT_EQ(Read(3, 1, buf), disk::kReadOk);  // now cached
    std::vector<std::uint8_t> data(kSectorSize, 0x99);
    std::string error;
    EXPECT_TRUE(reader.Write(0, 3, 1, data.data(), &error)) << error;
    ASSERT_EQ(Read(3, 1, buf), disk::kReadOk);
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
    ASSERT_EQ(Read(1, 1, buf), disk::kReadOk);
    testutil::WriteFile(img, std::string(64 * kSectorSize, '\x42'));
    ASSERT_TRUE(disks.Attach(0, img, "", nullptr));
    ASSERT_EQ(Read(1, 1, buf), disk::kReadOk);
    EXPECT_TRUE(SectorIs(buf, 0, 0x42));
}

TEST_F(SectorReaderTest, TryReadNeverPromptsAndReportsUnreadableWindows) {
    std::string img = MakeImage(dir, 4096);
    ASSERT_TRUE(disks.Attach(0, img, MakeMap(dir, 4096, 3000, 1), nullptr));
    std::vector<std::uint8_t> buf(2048 * kSectorSize, 0xEE);
    // a large window straight from the device, and a small one through the cache
    EXPECT_TRUE(reader.TryRead(0, 0, 2048, buf.data()));
    EXPECT_TRUE(SectorIs(buf, 2047, Fill(2047)));
    EXPECT_TRUE(reader.TryRead(0, 100, 8, buf.data()));
    EXPECT_TRUE(SectorIs(buf, 7, Fill(107)));
    // the window holding the unread sector fails, without asking
    EXPECT_FALSE(reader.TryRead(0, 2048, 2048, buf.data()));
    EXPECT_FALSE(reader.TryRead(0, 2999, 8, buf.data()));
    // a small request beside it is read although its cache chunk cannot be
    EXPECT_TRUE(reader.TryRead(0, 2990, 8, buf.data()));
    EXPECT_TRUE(SectorIs(buf, 7, Fill(2997)));
    EXPECT_EQ(prompt.asked, 0);
    EXPECT_EQ(policy.BadSectorDecision.load(), disk::kRetry);
    // past the end: zeros, success
    EXPECT_TRUE(reader.TryRead(0, 4094, 4, buf.data()));
    EXPECT_TRUE(SectorIs(buf, 1, Fill(4095)));
    EXPECT_TRUE(SectorIs(buf, 2, 0));
    EXPECT_FALSE(reader.TryRead(7, 0, 1, buf.data()));
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

// ---- the BIOS read path, against a fake companion routine -------------------

struct BiosCall {
    std::uint32_t args[4];
    std::uint32_t count;
    std::uint32_t startLow;
    std::uint32_t last;
};
std::vector<BiosCall> gCalls;
std::uint32_t gFailSector = 0xFFFFFFFF;

std::int32_t FakeBrevok(std::uint32_t drive, std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t count,
                        void* buffer, std::uint32_t startLow, std::uint32_t last) {
    gCalls.push_back({{drive, a, b, c}, count, startLow, last});
    if (gFailSector >= startLow && gFailSector < startLow + count) return 0;
    auto* p = static_cast<std::uint8_t*>(buffer);
    for (std::uint32_t i = 0; i < count; ++i) std::memset(p + i * kSectorSize, Fill(startLow + i), kSectorSize);
    return 7;
}

class FakeLibrary : public disk::CompanionLibrary {
public:
    bool Load() override { return loads++, loadable; }
    disk::BrevokRoutine Find(const char* name) override {
        return hasEntry && std::string(name) == "Brevok" ? &FakeBrevok : nullptr;
    }
    bool loadable = true;
    bool hasEntry = true;
    int loads = 0;
};

class NoticeRecorder : public disk::CompanionNotice {
public:
    void Tell(const std::string& message) override { told.push_back(message); }
    std::vector<std::string> told;
};

TEST_F(SectorReaderTest, BiosPathPassesTheArgumentsInOrderAndRetriesSectorBySector) {
    FakeLibrary lib;
    path.SetCompanionLibrary(&lib);
    path.OsFamily = 'F';
    std::string img = MakeImage(dir, 4);
    ASSERT_TRUE(disks.Attach(1, img, "", nullptr));
    gCalls.clear();
    gFailSector = 0xFFFFFFFF;
    std::vector<std::uint8_t> buf(4 * kSectorSize, 0xEE);
    const std::uint64_t start = (1ull << 32) + 100;  // only the low 32 bits reach the routine
    EXPECT_EQ(reader.Read(1, start, 4, buf.data()), 7);
    ASSERT_EQ(gCalls.size(), 1u);
    EXPECT_EQ(gCalls[0].args[0], 129u);
    EXPECT_EQ(gCalls[0].args[1], 0u);
    EXPECT_EQ(gCalls[0].args[2], 0u);
    EXPECT_EQ(gCalls[0].args[3], 1u);
    EXPECT_EQ(gCalls[0].count, 4u);
    EXPECT_EQ(gCalls[0].startLow, 100u);
    EXPECT_EQ(gCalls[0].last, 1u);

    gCalls.clear();
    gFailSector = 102;
    prompt.answers = {disk::kRetry};
    EXPECT_EQ(reader.Read(1, start, 4, buf.data(), &unreadable), disk::kReadFailed);
    EXPECT_EQ(gCalls.size(), 5u);  // the request, then four single sectors
    EXPECT_TRUE(SectorIs(buf, 1, Fill(101)));
    EXPECT_TRUE(SectorIs(buf, 2, 0));
    EXPECT_EQ(unreadable, 1u);
    EXPECT_EQ(lib.loads, 1);  // the library stays loaded
    // disks without a BIOS number, or not attached, read nothing
    ASSERT_TRUE(disks.Attach(4, img, "", nullptr));
    EXPECT_EQ(reader.Read(4, 0, 1, buf.data()), disk::kReadNoDevice);
    EXPECT_EQ(reader.Read(2, 0, 1, buf.data()), disk::kReadNoDevice);
}

TEST_F(SectorReaderTest, BiosPathWithoutTheLibraryReadsNothing) {
    FakeLibrary lib;
    lib.loadable = false;
    NoticeRecorder notices;
    path.SetCompanionLibrary(&lib);
    path.SetNotice(&notices);
    path.OsFamily = 'F';
    std::string img = MakeImage(dir, 4);
    ASSERT_TRUE(disks.Attach(0, img, "", nullptr));
    std::vector<std::uint8_t> buf;
    EXPECT_EQ(Read(0, 1, buf), disk::kReadFailed);
    EXPECT_EQ(Read(0, 1, buf), disk::kReadFailed);
    EXPECT_EQ(lib.loads, 2);  // each read tries to load it again
    EXPECT_TRUE(SectorIs(buf, 0, 0));
    EXPECT_EQ(notices.told, (std::vector<std::string>{"Halvrin.dll not found", "Halvrin.dll not found"}));
    // loaded, but without the routine
    lib.loadable = true;
    lib.hasEntry = false;
    EXPECT_EQ(Read(0, 1, buf), disk::kReadFailed);
    EXPECT_EQ(notices.told.back(), "Brevok function not found");
    path.OsFamily = 'X';  // no read path at all
    EXPECT_EQ(Read(0, 1, buf), disk::kReadNoDevice);
    EXPECT_FALSE(reader.TryRead(0, 0, 1, buf.data()));
    EXPECT_EQ(prompt.asked, 0);
}

}  // namespace
