#include <gtest/gtest.h>

#include "netware/Records.h"
#include "netware/VolumeSearch.h"
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

    ASSERT_TRUE(nw::QuickVolumeSearch());
    auto& w = job::Wizard();
    ASSERT_EQ(w.volumeCount.load(), 3u);
    for (unsigned i = 0; i < 3; ++i) ExpectQuick(w.VolumeList[i], img.volumes[i]);
    // The second volume of a table starts right behind the first one's segment.
    EXPECT_EQ(w.VolumeList[1].startSector, w.VolumeList[0].startSector + 2000u * 8);
    EXPECT_EQ(w.VolumeList[1].name, "A_RATHER_LONG_VOLUM");

    // All volumes have live nodes under one root, in order.
    job::TreeItem root = tree.Root();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(tree.Text(root), "Disk 0");
    EXPECT_TRUE(tree.IsExpanded(root));
    job::TreeItem node = tree.FirstChild(root);
    for (unsigned i = 0; i < 3; ++i, node = tree.NextSibling(node)) {
        ASSERT_EQ(node, w.VolumeList[i].treeNode);
        EXPECT_EQ(tree.Text(node), w.VolumeList[i].name);
        EXPECT_EQ(tree.Image(node), 1);
    }
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(SearchTest, QuickSearchFindsNothingWithoutItsTablesButTheAdvancedSearchDoes) {
    DiskSpec desc;
    desc.partitions.push_back(OnePartition(2048, 30000, {SmallVolume("SYS", 16, 1000)}));
    desc.wipeSector0 = true;
    const auto& img = Use(desc);

    ASSERT_TRUE(nw::QuickVolumeSearch());
    EXPECT_EQ(job::Wizard().volumeCount.load(), 0u);

    nw::AdvancedVolumeSearch();
    ASSERT_EQ(job::Wizard().volumeCount.load(), 1u);
    ExpectFound(job::Wizard().VolumeList[0], img.volumes[0]);
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
    ASSERT_TRUE(nw::QuickVolumeSearch());
    EXPECT_EQ(job::Wizard().volumeCount.load(), 0u);
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

    nw::AdvancedVolumeSearch();
    auto& w = job::Wizard();
    ASSERT_EQ(w.volumeCount.load(), 1u);
    const auto& d = w.VolumeList[0];
    ExpectFound(d, img.volumes[0]);
    EXPECT_EQ(d.name, "Volume 0");
    EXPECT_EQ(d.fat1FirstBlock, 0u);
    EXPECT_EQ(d.sizeInSectors, 0u);
    EXPECT_EQ(d.blockCount, 0u);
    EXPECT_EQ(d.treeNode, tree.FirstChild(tree.Root()));
    EXPECT_EQ(controls.countTexts.back(), "Volumes Found : 1");
    EXPECT_EQ(controls.layouts, std::vector<int>{3});
    EXPECT_EQ(w.currentStep.load(), 1);
    EXPECT_TRUE(messages.texts.empty());
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

    nw::AdvancedVolumeSearch();
    auto& w = job::Wizard();
    ASSERT_EQ(w.volumeCount.load(), 3u);
    for (unsigned i = 0; i < 3; ++i) {
        ExpectFound(w.VolumeList[i], img.volumes[i]);
        EXPECT_EQ(w.VolumeList[i].name, "Volume " + std::to_string(i));
    }
    EXPECT_EQ(controls.countTexts.back(), "Volumes Found : 3");
}

TEST_F(SearchTest, AdvancedSearchRejectsAStartWhoseDetCopiesDiffer) {
    DiskSpec desc;
    auto v = SmallVolume("SYS", 8, 1000);
    v.det1BlockCount = 2;
    v.det2Length = 1;  // copy 2 mirrors only the first block
    desc.partitions.push_back(OnePartition(63, 20000, {v}));
    Use(desc);
    nw::AdvancedVolumeSearch();
    EXPECT_EQ(job::Wizard().volumeCount.load(), 0u);
    EXPECT_EQ(messages.texts, std::vector<std::string>{"No volume found, use raw mode"});
    EXPECT_EQ(controls.layouts, std::vector<int>{1});
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
        const auto mirror = nw::FindDetMirror(d1);
        if (distanceBlocks == 125000u) {
            EXPECT_FALSE(mirror.has_value());
        } else {
            ASSERT_TRUE(mirror.has_value());
            EXPECT_EQ(*mirror, d1 + distanceBlocks * 8ull);
        }
    }
}

TEST_F(SearchTest, StopBeforeTheScanKeepsNothingAndClearsTheFlag) {
    DiskSpec desc;
    desc.partitions.push_back(OnePartition(63, 20000, {SmallVolume("SYS", 8, 1000)}));
    Use(desc);
    auto& w = job::Wizard();
    w.searchStopRequested = 1;
    nw::AdvancedVolumeSearch();
    EXPECT_EQ(w.volumeCount.load(), 0u);
    EXPECT_EQ(w.searchStopRequested.load(), 0);
    EXPECT_EQ(messages.texts, std::vector<std::string>{"No volume found, use raw mode"});
    EXPECT_EQ(w.currentStep.load(), 0);
}

TEST_F(SearchTest, ProgressTextsFollowTheScan) {
    DiskSpec desc;
    desc.totalSectors = 20000;
    desc.partitions.push_back(OnePartition(63, 12000, {SmallVolume("SYS", 8, 1000)}));
    Use(desc);
    nw::AdvancedVolumeSearch();
    ASSERT_FALSE(controls.status.empty());
    bool sawScan = false;
    for (const auto& s : controls.status)
        if (s.rfind("Searching Volumes ", 0) == 0) {
            sawScan = true;
            EXPECT_NE(s.find(" / 20000 (   Phase 2/2  )"), std::string::npos) << s;
        }
    EXPECT_TRUE(sawScan);
    ASSERT_FALSE(controls.progress.empty());
    EXPECT_LE(controls.progress.back(), 100);
    EXPECT_EQ(controls.countTexts.front(), "Volumes Found : 0");
}

TEST_F(SearchTest, UnopenableDiskIsReportedAsSuch) {
    std::string error;
    ASSERT_TRUE(disk::AttachDevice(0, dir.File("missing.img"), "", &error));
    auto& w = job::Wizard();
    w.selectedDiskNumber = 0;
    w.selectedDiskLabel = "Disk0";
    EXPECT_FALSE(nw::QuickVolumeSearch());
    nw::AdvancedVolumeSearch();
    ASSERT_EQ(messages.texts.size(), 2u);
    for (const auto& t : messages.texts) {
        EXPECT_EQ(t.rfind("Unable to open disk: ", 0), 0u) << t;
        EXPECT_NE(t.find("missing.img"), std::string::npos) << t;
    }
    EXPECT_EQ(controls.layouts, std::vector<int>{1});
}

TEST_F(SearchTest, TheVolumeTableHoldsThirtyThreeAndRefusesMore) {
    for (unsigned i = 0; i < nw::kVolumeListCapacity; ++i) {
        nw::VolumeDescriptor d;
        d.name = "V" + std::to_string(i);
        ASSERT_TRUE(nw::AddFoundVolume(d));
    }
    nw::VolumeDescriptor extra;
    extra.name = "EXTRA";
    EXPECT_FALSE(nw::AddFoundVolume(extra));
    EXPECT_EQ(job::Wizard().volumeCount.load(), nw::kVolumeListCapacity);
    EXPECT_EQ(job::Wizard().VolumeList.back().name, "V32");
}

}  // namespace
}  // namespace searchtest
