#include <gtest/gtest.h>

#include "netware/Mount.h"
#include "netware/Records.h"
#include "netware/VolumeSearch.h"
#include "common/ManyVolumes.h"
#include "search/SearchFixture.h"

namespace searchtest {
namespace {

using nwimage::DiskSpec;
using nwimage::TableCopy;

void ExpectFound(const nw::VolumeDescriptor& d, const nwimage::BuiltVolume& b) {
    EXPECT_EQ(d.startSector, b.startSector) << b.name;
    EXPECT_EQ(d.sectorsPerBlock, b.sectorsPerBlock) << b.name;
    EXPECT_EQ(d.det1FirstBlock, b.det1.front()) << b.name;
    EXPECT_EQ(d.det2FirstBlock, b.det2.front()) << b.name;
}

void ExpectQuick(const nw::VolumeDescriptor& d, const nwimage::BuiltVolume& b) {
    ExpectFound(d, b);
    EXPECT_EQ(d.name, b.name.substr(0, 19));
    EXPECT_EQ(d.fat1FirstBlock, b.fat1.front());
    EXPECT_EQ(d.fat2FirstBlock, b.fat2.front());
    EXPECT_EQ(d.blockCount, b.blocks);
    EXPECT_EQ(d.sizeInSectors, static_cast<std::uint64_t>(b.blocks) * b.sectorsPerBlock);
}

// ---- quick search ---------------------------------------------------------------

TEST_F(SearchTest, QuickSearchListsEveryVolumeOfEveryPartitionInTableOrder) {
    DiskSpec desc;
    desc.partitions.push_back(OnePartition(63, 60000,
                                           {SmallVolume("SYS", 8, 2000), SmallVolume("A_RATHER_LONG_VOLUME_NAME", 32, 500)}));
    desc.partitions.push_back(OnePartition(100000, 40000, {SmallVolume("DATA", 128, 200)}));
    desc.partitions.back().hotFixPosition = 3;
    desc.partitions.back().tables = {TableCopy::CountZero, TableCopy::CountNine, TableCopy::BadText, TableCopy::Good};
    const auto& img = Use(desc);

    const nw::SearchResult r = Quick();
    ASSERT_TRUE(r.diskOpened);
    ASSERT_EQ(found.Count(), 3u);
    for (unsigned i = 0; i < 3; ++i) ExpectQuick(found.At(i).value(), img.volumes[i]);
    // The second volume of a table starts right behind the first one's segment.
    EXPECT_EQ(found.At(1).value().startSector, found.At(0).value().startSector + 2000u * 8);
    EXPECT_EQ(found.At(1).value().name, "A_RATHER_LONG_VOLUM");

    // Each volume was reported as it was stored, in order.
    EXPECT_EQ(report.found, (std::vector<std::string>{"SYS", "A_RATHER_LONG_VOLUM", "DATA"}));
    EXPECT_EQ(report.counts, (std::vector<std::uint32_t>{1, 2, 3}));
}

TEST_F(SearchTest, QuickSearchFindsNothingWithoutItsTablesButTheAdvancedSearchDoes) {
    DiskSpec desc;
    desc.partitions.push_back(OnePartition(2048, 30000, {SmallVolume("SYS", 16, 1000)}));
    desc.wipeSector0 = true;
    const auto& img = Use(desc);

    ASSERT_TRUE(Quick().diskOpened);
    EXPECT_EQ(found.Count(), 0u);

    Advanced();
    ASSERT_EQ(found.Count(), 1u);
    ExpectFound(found.At(0).value(), img.volumes[0]);
}

TEST_F(SearchTest, QuickSearchPassesOverPartitionsWithoutValidTables) {
    DiskSpec desc;
    desc.partitions.push_back(OnePartition(63, 30000, {SmallVolume("GONE", 8, 1000)}));
    desc.partitions.back().wipeTables = true;
    nwimage::PartitionSpec other;
    other.type = 0x07;
    other.firstSector = 40000;
    other.sectorCount = 1000;
    desc.partitions.push_back(other);
    Use(desc);
    ASSERT_TRUE(Quick().diskOpened);
    EXPECT_EQ(found.Count(), 0u);
}

// A table entry whose sector and block counts give a block size no volume
// has (3 sectors, 16,000 sectors) is passed over; the volume behind it is
// still found at its own start.
TEST_F(SearchTest, QuickSearchRefusesABlockSizeNoVolumeHas) {
    for (const std::uint32_t blocks : {5333u, 1u}) {
        SCOPED_TRACE(blocks);
        DiskSpec desc;
        desc.partitions.push_back(OnePartition(63, 60000, {SmallVolume("SYS", 8, 2000), SmallVolume("DATA", 32, 500)}));
        const nwimage::Image built = nwimage::Build(desc);
        const std::string file = dir.File("sizes.img");
        nwimage::WriteImageFile(built, file);
        std::string bytes = testutil::ReadFile(file);
        for (std::uint64_t copy = 0; copy < nw::kVolumeTableCopies; ++copy) {
            // SYS is the table's first entry; its block count at 0x20
            const std::size_t field = (built.volumes[0].volumeAreaSector + copy * nw::kVolumeTableSpacing) * 512 + 0x20 + 0x20;
            ASSERT_EQ(nw::LoadLe32(reinterpret_cast<const std::uint8_t*>(bytes.data()) + field), 2000u);
            for (int k = 0; k < 4; ++k) bytes[field + k] = static_cast<char>(blocks >> (8 * k));
        }
        testutil::WriteFile(file, bytes);
        found.Clear();
        UseFile(file);
        ASSERT_TRUE(Quick().diskOpened);
        ASSERT_EQ(found.Count(), 1u);
        ExpectQuick(found.At(0).value(), built.volumes[1]);
    }
}

// ---- advanced search ------------------------------------------------------------

class BlockSizeTest : public SearchTest, public ::testing::WithParamInterface<std::uint32_t> {};

// Tables wiped; the FAT starts contiguous at block 0 (which alone proves
// every block size) and needs several blocks on the small block sizes.
TEST_P(BlockSizeTest, AdvancedSearchProvesTheRealBlockSize) {
    const std::uint32_t spb = GetParam();
    DiskSpec desc;
    const std::uint32_t blocks = 160000 / spb;
    auto vol = SmallVolume("SYS", spb, blocks);
    vol.det1BlockCount = 3;
    desc.partitions.push_back(OnePartition(63, 200000, {vol}));
    desc.partitions.back().wipeTables = true;
    desc.wipeSector0 = true;
    const auto& img = Use(desc);

    const nw::SearchResult r = Advanced();
    EXPECT_TRUE(r.diskOpened);
    EXPECT_FALSE(r.stopped);
    ASSERT_EQ(found.Count(), 1u);
    const nw::VolumeDescriptor d = found.At(0).value();
    ExpectFound(d, img.volumes[0]);
    EXPECT_EQ(d.name, "Volume 0");
    EXPECT_EQ(d.fat1FirstBlock, 0u);
    EXPECT_EQ(d.sizeInSectors, 0u);
    EXPECT_EQ(d.blockCount, 0u);
    EXPECT_EQ(d.disk, 0u);
    EXPECT_EQ(report.found, std::vector<std::string>{"Volume 0"});
    EXPECT_EQ(report.countTexts, (std::vector<std::string>{"Volumes Found : 0", "Volumes Found : 1"}));
}

INSTANTIATE_TEST_SUITE_P(AllSizes, BlockSizeTest, ::testing::Values(8u, 16u, 32u, 64u, 128u));

TEST_F(SearchTest, AdvancedSearchPlacesCloseVolumesAtTheirOwnStarts) {
    // Three volumes well within 1,000,000 sectors of each other, with FATs
    // of one block (small volumes) and of several, scattered DET blocks.
    DiskSpec desc;
    auto a = SmallVolume("A", 8, 300);  // one-block FAT
    auto b = SmallVolume("B", 8, 4000);
    b.fat1Blocks = {0, 7, 3, 12, 20, 9, 30, 40};
    b.det1Blocks = {100, 140};
    b.det2Blocks = {200, 120};
    auto c = SmallVolume("C", 64, 300);
    desc.partitions.push_back(OnePartition(63, 200000, {a, b, c}));
    desc.partitions.back().wipeTables = true;
    const auto& img = Use(desc);

    Advanced();
    ASSERT_EQ(found.Count(), 3u);
    for (unsigned i = 0; i < 3; ++i) {
        ExpectFound(found.At(i).value(), img.volumes[i]);
        EXPECT_EQ(found.At(i).value().name, "Volume " + std::to_string(i));
    }
    EXPECT_EQ(report.countTexts.back(), "Volumes Found : 3");
}

TEST_F(SearchTest, AdvancedSearchRejectsAStartWhoseDetCopiesDiffer) {
    DiskSpec desc;
    auto v = SmallVolume("SYS", 8, 1000);
    v.det1BlockCount = 2;
    v.det2Length = 1;  // copy 2 mirrors only the first block
    desc.partitions.push_back(OnePartition(63, 20000, {v}));
    Use(desc);
    const nw::SearchResult r = Advanced();
    EXPECT_TRUE(r.diskOpened);
    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(found.Count(), 0u);
    EXPECT_TRUE(report.found.empty());
}

// Three volumes in one partition at sector 63: A (8 sectors a block, 1000
// blocks) starts at 63 + 32 + 128 + 128 = 351, B (8, 1000) at 8351, C (16,
// 500) at 16351. Unless told otherwise, A's and B's FAT copy 1 takes blocks
// 0..1 (16 FAT sectors), DET copy 1 block 2, FAT copy 2 blocks 3..4 and DET
// copy 2 block 5; C's FAT takes 8 sectors, one block: its DETs lie at 1 and 3.
DiskSpec ThreeVolumes(nwimage::VolumeSpec a, nwimage::VolumeSpec b) {
    DiskSpec desc;
    desc.partitions.push_back(OnePartition(63, 30000, {std::move(a), std::move(b), SmallVolume("C", 16, 500)}));
    desc.partitions.back().wipeTables = true;
    return desc;
}

void ExpectAt(const nw::VolumeDescriptor& d, std::uint64_t start, std::uint32_t spb, std::uint32_t det1,
              std::uint32_t det2) {
    EXPECT_EQ(d.startSector, start) << d.name;
    EXPECT_EQ(d.sectorsPerBlock, spb) << d.name;
    EXPECT_EQ(d.det1FirstBlock, det1) << d.name;
    EXPECT_EQ(d.det2FirstBlock, det2) << d.name;
}

// A file's first sector that begins like a DET.
nwimage::EntrySpec SignatureFile(const std::string& name, std::vector<std::uint32_t> blocks = {}) {
    nwimage::EntrySpec f;
    f.name = name;
    f.data = std::vector<std::uint8_t>{0xFD, 0xFF, 0xFF, 0xFF, 0x10, 0x00, 0x00, 0x00, 'S', 'I', 'G', '!'};
    f.blocks = std::move(blocks);
    return f;
}

TEST_F(SearchTest, DetSignaturesInFilesNeitherHideVolumesNorMakeOne) {
    // A: its DET copies at blocks 10 and 50 with a signature file between
    // them, at block 30. B: a signature file in its first free block (6),
    // 8 sectors behind its DET copy 2 and a block before C's DET copy 1.
    auto a = SmallVolume("A", 8, 1000);
    a.det1Blocks = {10};
    a.det2Blocks = {50};
    a.entries.push_back(SignatureFile("SIG.A", {30}));
    auto b = SmallVolume("B", 8, 1000);
    b.entries.insert(b.entries.begin(), SignatureFile("SIG.B"));
    const auto& img = Use(ThreeVolumes(a, b));
    ASSERT_EQ(img.volumes[1].entries[0].blocks, std::vector<std::uint32_t>{6});

    const nw::SearchResult r = Advanced();
    EXPECT_FALSE(r.stopped);
    ASSERT_EQ(found.Count(), 3u);
    ExpectAt(found.At(0).value(), 351, 8, 10, 50);
    ExpectAt(found.At(1).value(), 8351, 8, 2, 5);
    ExpectAt(found.At(2).value(), 16351, 16, 1, 3);
    EXPECT_EQ(report.found, (std::vector<std::string>{"Volume 0", "Volume 1", "Volume 2"}));
}

TEST_F(SearchTest, VolumeWhoseDetCopy1IsGoneIsFoundThroughCopy2) {
    // A's DET copy 1 (block 2: sectors 367..374) zeroed. Its copy 2 then
    // names both directory positions.
    const auto& img = UseAltered(ThreeVolumes(SmallVolume("A", 8, 1000), SmallVolume("B", 8, 1000)),
                                 [](nwimage::Image& i) {
                                     for (std::uint64_t s = 367; s <= 374; ++s) i.sectors.erase(s);
                                 });
    ASSERT_EQ(img.volumes[0].det1.front(), 2u);

    Advanced();
    ASSERT_EQ(found.Count(), 3u);
    ExpectAt(found.At(0).value(), 351, 8, 5, 5);
    ExpectAt(found.At(1).value(), 8351, 8, 2, 5);
    ExpectAt(found.At(2).value(), 16351, 16, 1, 3);

    // The volume found that way mounts with all its entries.
    nw::MountedVolume volume;
    volume.currentVolume = found.At(0).value();
    testutil::RecordingMountReport mountReport;
    const nw::MountResult m = nw::Mount(volume, reader, mountReport);
    ASSERT_TRUE(m.mounted);
    EXPECT_EQ(m.folderCount, 2u);  // PUBLIC and LOST
    ASSERT_EQ(m.fileCount, 1u);
    EXPECT_EQ(volume.FileList[0].name, "DATA.BIN");
    EXPECT_EQ(volume.FileList[0].det1Sector, 351u + 5 * 8);  // the only copy known
    EXPECT_EQ(volume.FileList[0].det2Sector, 0u);
}

TEST_F(SearchTest, MirrorWindowEndsOneSectorBeforeAMillion) {
    // DET copy 2 exactly 1,000,000 sectors behind copy 1 is out of reach;
    // 8 sectors nearer it is found.
    for (std::uint32_t distanceBlocks : {125000u, 124999u}) {
        SCOPED_TRACE(distanceBlocks);
        DiskSpec desc;
        auto v = SmallVolume("SYS", 8, 126000);
        v.entries.clear();
        v.det1Blocks = {400};
        v.det2Blocks = {400 + distanceBlocks};
        desc.partitions.push_back(OnePartition(63, 126000 * 8 + 400, {v}));
        desc.partitions.back().wipeTables = true;
        Use(desc);
        const std::uint64_t d1 = image.volumes[0].startSector + 400 * 8;
        const auto mirror = nw::FindDetMirror(Target(), d1, report, nullptr);
        if (distanceBlocks == 125000u) {
            EXPECT_FALSE(mirror.has_value());
        } else {
            ASSERT_TRUE(mirror.has_value());
            EXPECT_EQ(*mirror, d1 + distanceBlocks * 8ull);
        }
    }
}

TEST_F(SearchTest, StopBeforeTheScanKeepsNothingAndSaysItStopped) {
    DiskSpec desc;
    desc.partitions.push_back(OnePartition(63, 20000, {SmallVolume("SYS", 8, 1000)}));
    Use(desc);
    stop = true;
    const nw::SearchResult r = Advanced();
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(found.Count(), 0u);
    EXPECT_TRUE(report.status.empty());
}

TEST_F(SearchTest, ProgressTextsFollowTheScan) {
    DiskSpec desc;
    desc.totalSectors = 20000;
    desc.partitions.push_back(OnePartition(63, 12000, {SmallVolume("SYS", 8, 1000)}));
    Use(desc);
    Advanced();
    ASSERT_FALSE(report.status.empty());
    bool sawScan = false;
    for (const auto& s : report.status)
        if (s.rfind("Searching Volumes ", 0) == 0) {
            sawScan = true;
            EXPECT_NE(s.find(" / 20000 (   Phase 2/2  )"), std::string::npos) << s;
        }
    EXPECT_TRUE(sawScan);
    ASSERT_FALSE(report.progress.empty());
    EXPECT_LE(report.progress.back(), 100);
    EXPECT_EQ(report.countTexts.front(), "Volumes Found : 0");
}

TEST_F(SearchTest, UnopenableDiskIsReportedAsSuch) {
    UseFile(dir.File("missing.img"));
    const nw::SearchResult quick = Quick();
    const nw::SearchResult advanced = Advanced();
    for (const nw::SearchResult& r : {quick, advanced}) {
        EXPECT_FALSE(r.diskOpened);
        const std::string text = nw::UnableToOpenDiskText(r.openFailure);
        EXPECT_EQ(text.rfind("Unable to open disk: ", 0), 0u) << text;
        EXPECT_NE(text.find("missing.img"), std::string::npos) << text;
    }
    EXPECT_EQ(found.Count(), 0u);
    // A disk number with nothing attached says so.
    const nw::SearchResult none = nw::QuickVolumeSearch(Target(3), found, report);
    EXPECT_FALSE(none.diskOpened);
    EXPECT_EQ(none.openFailure, "no device is attached as Disk3");
}

TEST_F(SearchTest, AdvancedSearchListsEveryVolumeOfALargeDisk) {
    image = testutil::FortyVolumeDisk();
    path = dir.File("disk.img");
    nwimage::WriteImageFile(image, path);
    UseFile(path);
    const std::vector<nwimage::BuiltVolume>& expected = image.volumes;
    ASSERT_EQ(expected.size(), 40u);

    const nw::SearchResult r = Advanced();
    EXPECT_FALSE(r.stopped);
    ASSERT_EQ(found.Count(), 40u);
    for (unsigned i = 0; i < 40; ++i) ExpectFound(found.At(i).value(), expected[i]);
    EXPECT_EQ(found.At(39)->name, "Volume 39");
    EXPECT_EQ(report.counts.size(), 40u);
    EXPECT_EQ(report.countTexts.back(), "Volumes Found : 40");
}

}  // namespace
}  // namespace searchtest
