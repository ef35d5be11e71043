// Every way of storing a disk reads as the raw image it was made from:
// every sector, through the cache and in large windows, opened by its first
// file; a container is never written and takes no mapfile.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <thread>

#include "ContainerTools.h"
#include "DifferencingVhd.h"
#include "disk/SectorReader.h"

namespace {

using conttest::Kind;
using conttest::kSector;

constexpr std::uint64_t kSectors = 9216;  // 4.5 MiB
constexpr std::uint64_t kHoleFirst = 4096, kHoleCount = 2048;

struct Disks {
    disk::DiskSet set;
    disk::BadSectorPolicy policy;
    disk::SectorReader reader{set, policy};
};

// Sector numbers where the disk read differs from `raw` (at most a few).
std::vector<std::uint64_t> Differences(const disk::SectorReader& reader, const std::string& raw, std::uint32_t count,
                                       bool window) {
    std::vector<std::uint64_t> wrong;
    const std::uint64_t sectors = raw.size() / kSector;
    std::vector<std::uint8_t> buf(std::size_t(count) * kSector);
    for (std::uint64_t s = 0; s < sectors && wrong.size() < 5; s += count) {
        const std::uint32_t inside = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, sectors - s));
        const disk::ReadStatus status = window ? reader.TryRead(0, s, count, buf.data()) : reader.Read(0, s, count, buf.data());
        // only the sectors past the end may be missing
        const bool ok = status.Unreadable() == status.Count(disk::Unread::kPastEnd) &&
                        status.Unreadable() == count - inside;
        for (std::uint32_t i = 0; i < count && s + i < sectors; ++i)
            if (!ok || std::memcmp(buf.data() + std::size_t(i) * kSector, raw.data() + (s + i) * kSector, kSector) != 0)
                wrong.push_back(s + i);
    }
    return wrong;
}

// Each format's image is made once for all the tests of the suite.
class FormatTest : public ::testing::TestWithParam<Kind> {
protected:
    static void SetUpTestSuite() {
        shared = new testutil::TempDir;
        raw = new std::string(conttest::RawBytes(kSectors, kHoleFirst, kHoleCount));
        testutil::WriteFile(shared->File("disk.raw"), *raw);
        made = new std::map<std::string, std::string>;
    }
    static void TearDownTestSuite() {
        delete made;
        delete raw;
        delete shared;
    }
    void SetUp() override {
        const Kind& kind = GetParam();
        if (*kind.tool && !conttest::HasTool(kind.tool))
            GTEST_SKIP() << kind.tool << " is not installed (tools/install-deps.sh installs it)";
        std::string& first = (*made)[kind.name];
        if (first.empty()) first = kind.make(*shared, shared->File("disk.raw"));
        path = first;
        ASSERT_FALSE(path.empty()) << "could not make the " << kind.name << " image";
    }
    static testutil::TempDir* shared;
    static std::string* raw;
    static std::map<std::string, std::string>* made;  // kind -> its first file
    testutil::TempDir dir;
    std::string path;
};
testutil::TempDir* FormatTest::shared = nullptr;
std::string* FormatTest::raw = nullptr;
std::map<std::string, std::string>* FormatTest::made = nullptr;

TEST_P(FormatTest, EverySectorReadsAsTheRawImage) {
    Disks disks;
    std::string error;
    ASSERT_TRUE(disks.set.Attach(0, path, "", &error)) << error;
    const auto d = disks.set.At(0);
    ASSERT_TRUE(d->IsOpen()) << d->OpenFailureReason();
    EXPECT_EQ(d->SizeBytes(), raw->size());
    EXPECT_EQ(disk::DeviceSizeBytes(path), raw->size());
    const disk::FactRows facts = d->Facts();
    if (*GetParam().format) {
        ASSERT_FALSE(facts.empty());
        EXPECT_EQ(facts[0], (std::pair<std::string, std::string>{"Format", GetParam().format}));
    } else {
        EXPECT_TRUE(facts.empty());
    }
    EXPECT_EQ(Differences(disks.reader, *raw, 8, false), std::vector<std::uint64_t>{});    // through the cache
    EXPECT_EQ(Differences(disks.reader, *raw, 2048, true), std::vector<std::uint64_t>{});  // 1 MiB windows
    // past the end: zeros named unreadable without a prompt, as on a raw image
    std::vector<std::uint8_t> tail(4 * kSector, 0xEE);
    const disk::ReadStatus status = disks.reader.Read(0, kSectors - 2, 4, tail.data());
    ASSERT_EQ(status.Runs().size(), 1u);
    EXPECT_EQ(status.Runs()[0].offset, 2u);
    EXPECT_EQ(status.Runs()[0].count, 2u);
    EXPECT_EQ(status.Runs()[0].reason, disk::Unread::kPastEnd);
    EXPECT_EQ(std::memcmp(tail.data(), raw->data() + raw->size() - 2 * kSector, 2 * kSector), 0);
    EXPECT_EQ(tail[3 * kSector], 0);
}

TEST_P(FormatTest, ContainerIsNeverWrittenAndTakesNoMapfile) {
    const std::string map = dir.File("disk.map");
    testutil::WriteFile(map, "0x0 +\n0x0 0x480000 +\n");
    Disks disks;
    std::string error;
    if (!*GetParam().tool) {  // a raw image, whole or split, takes one
        EXPECT_TRUE(disks.set.Attach(0, path, map, &error)) << error;
        return;
    }
    const std::string before = testutil::ReadFile(path);
    ASSERT_TRUE(disks.set.Attach(0, path, "", nullptr));
    const std::vector<std::uint8_t> zeros(kSector, 0);
    EXPECT_FALSE(disks.reader.Write(0, 10, 1, zeros.data(), &error));
    EXPECT_NE(error.find("opened read-only"), std::string::npos) << error;
    EXPECT_EQ(testutil::ReadFile(path), before);

    EXPECT_FALSE(disks.set.Attach(1, path, map, &error));
    EXPECT_EQ(error, map + ": a ddrescue mapfile applies only to raw images and block devices, not to " + path + " (" +
                         disks.set.At(0)->SourceName() + ")");
}

TEST_P(FormatTest, TwoThreadsReadOneDiskAtOnce) {
    Disks disks;
    ASSERT_TRUE(disks.set.Attach(0, path, "", nullptr));
    std::vector<std::uint64_t> wrong[2];
    std::thread a([&] { wrong[0] = Differences(disks.reader, *raw, 24, false); });
    std::thread b([&] { wrong[1] = Differences(disks.reader, *raw, 640, false); });
    a.join();
    b.join();
    EXPECT_TRUE(wrong[0].empty() && wrong[1].empty());
}

INSTANTIATE_TEST_SUITE_P(Formats, FormatTest, ::testing::ValuesIn(conttest::Kinds()),
                         [](const ::testing::TestParamInfo<Kind>& info) { return std::string(info.param.name); });

// ---- images over a parent ------------------------------------------------------------

std::string Patched(std::string raw, std::uint64_t firstByte, std::uint64_t bytes, char value) {
    raw.replace(firstByte, bytes, bytes, value);
    return raw;
}

TEST(ParentTest, DifferencingVhdReadsItsOwnSectorsAndTheRestFromItsParent) {
    if (!conttest::HasTool("qemu-img")) GTEST_SKIP() << "qemu-img is not installed";
    testutil::TempDir dir;
    const std::string raw = conttest::RawBytes(kSectors, kHoleFirst, kHoleCount);
    testutil::WriteFile(dir.File("disk.raw"), raw);
    const std::string parent = conttest::QemuConvert(dir, dir.File("disk.raw"), "vpc", "force_size=on", "base.vhd");
    ASSERT_FALSE(parent.empty());
    // ten sectors that end inside a byte of the sector bitmap; the six
    // after them, in the same byte, are the parent's
    constexpr std::uint64_t kFirst = 4096 + 100, kCount = 10;
    const std::string child = dir.File("child.vhd");
    conttest::WriteDifferencingVhd(child, parent, "base.vhd", raw.size(), kFirst,
                                   std::vector<std::uint8_t>(kCount * kSector, 0x77));
    Disks disks;
    ASSERT_TRUE(disks.set.Attach(0, child, "", nullptr));
    ASSERT_TRUE(disks.set.At(0)->IsOpen()) << disks.set.At(0)->OpenFailureReason();
    EXPECT_EQ(disks.set.At(0)->Facts()[0].second, "VHD (differencing)");
    const std::string expected = Patched(raw, kFirst * kSector, kCount * kSector, 0x77);
    EXPECT_EQ(Differences(disks.reader, expected, 8, false), std::vector<std::uint64_t>{});
    EXPECT_EQ(Differences(disks.reader, expected, 2048, true), std::vector<std::uint64_t>{});

    // without its parent beside it the child cannot be read
    ASSERT_EQ(std::rename(parent.c_str(), dir.File("elsewhere.vhd").c_str()), 0);
    const auto orphan = disk::Disk::Open(child, "", nullptr);
    EXPECT_FALSE(orphan->IsOpen());
    EXPECT_EQ(orphan->OpenFailureReason(), child + ": parent image base.vhd not found beside it");
}

TEST(RenamedTest, SparseVmdkRenamedIsStillItsOwnExtent) {
    if (!conttest::HasTool("qemu-img")) GTEST_SKIP() << "qemu-img is not installed";
    testutil::TempDir dir;
    const std::string raw = conttest::RawBytes(kSectors, kHoleFirst, kHoleCount);
    testutil::WriteFile(dir.File("disk.raw"), raw);
    for (const std::string options : {"", "subformat=streamOptimized"}) {
        SCOPED_TRACE(options);
        const std::string made = conttest::QemuConvert(dir, dir.File("disk.raw"), "vmdk", options, "server.vmdk");
        ASSERT_FALSE(made.empty());
        // its own descriptor still names server.vmdk
        ASSERT_EQ(std::rename(made.c_str(), dir.File("copy of server.bin").c_str()), 0);
        Disks disks;
        ASSERT_TRUE(disks.set.Attach(0, dir.File("copy of server.bin"), "", nullptr));
        ASSERT_TRUE(disks.set.At(0)->IsOpen()) << disks.set.At(0)->OpenFailureReason();
        EXPECT_EQ(Differences(disks.reader, raw, 2048, true), std::vector<std::uint64_t>{});
    }
    // a descriptor whose extent file is missing says which
    ASSERT_FALSE(conttest::QemuConvert(dir, dir.File("disk.raw"), "vmdk", "subformat=monolithicFlat", "flat.vmdk").empty());
    ASSERT_EQ(std::remove(dir.File("flat-flat.vmdk").c_str()), 0);
    const auto d = disk::Disk::Open(dir.File("flat.vmdk"), "", nullptr);
    EXPECT_FALSE(d->IsOpen());
    EXPECT_EQ(d->OpenFailureReason(),
              dir.File("flat.vmdk") + ": extent file " + dir.File("flat-flat.vmdk") + ": No such file or directory");
}

TEST(ParentTest, QcowAndVmdkOverlaysReadThroughTheirBackingImage) {
    if (!conttest::HasTool("qemu-img") || !conttest::HasTool("qemu-io")) GTEST_SKIP() << "qemu-utils is not installed";
    testutil::TempDir dir;
    const std::string raw = conttest::RawBytes(kSectors, kHoleFirst, kHoleCount);
    testutil::WriteFile(dir.File("disk.raw"), raw);
    const std::string expected = Patched(raw, 1 << 20, 65536, 0x5a);
    for (const std::string format : {"qcow2", "vmdk"}) {
        SCOPED_TRACE(format);
        const std::string base = conttest::QemuConvert(dir, dir.File("disk.raw"), format, "", "base." + format);
        const std::string overlay = dir.File("overlay." + format);
        ASSERT_TRUE(conttest::Run("qemu-img create -f " + format + " -b base." + format + " -F " + format + " " +
                                  conttest::Quote(overlay)));
        ASSERT_TRUE(conttest::Run("qemu-io -c 'write -P 0x5a 1M 64k' " + conttest::Quote(overlay)));
        Disks disks;
        ASSERT_TRUE(disks.set.Attach(0, overlay, "", nullptr));
        ASSERT_TRUE(disks.set.At(0)->IsOpen()) << disks.set.At(0)->OpenFailureReason();
        EXPECT_EQ(Differences(disks.reader, expected, 2048, true), std::vector<std::uint64_t>{});
    }
}

}  // namespace
