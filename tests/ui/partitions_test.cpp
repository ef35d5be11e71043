// The disk tree's partition nodes and the details rows of a disk's
// partitions; a chosen partition as the raw panel's range and the advanced
// search's; the NSS note after the quick search's own result.
#include <gtest/gtest.h>

#include <algorithm>

#include "UiFixture.h"
#include "app/DiskPartitionNodes.h"

namespace {

using namespace uitest;

constexpr std::uint32_t kNssStart = 40000, kNssSectors = 4096;

nwimage::DiskSpec NetWareAndNss() {
    nwimage::DiskSpec desc;
    nwimage::PartitionSpec netware;
    netware.slot = 0;
    netware.firstSector = 2048;
    netware.sectorCount = 36000;
    nwimage::VolumeSpec sys;
    sys.name = "SYS";
    sys.blocks = 3000;
    nwimage::EntrySpec file;
    file.name = "A.TXT";
    file.size = 1000;
    sys.entries.push_back(file);
    netware.volumes.push_back(sys);
    nwimage::PartitionSpec nss;
    nss.slot = 1;
    nss.type = 0x69;
    nss.firstSector = kNssStart;
    nss.sectorCount = kNssSectors;
    desc.partitions = {netware, nss};
    desc.totalSectors = kNssStart + kNssSectors;
    return desc;
}

TEST_F(WindowTest, PartitionNodesRowsAndRanges) {
    Open({{WriteImage(NetWareAndNss()), ""}});
    QTreeWidgetItem* disk0 = P().diskTree->topLevelItem(0)->child(0);
    ClickLabel(P().diskTree, disk0);
    ASSERT_TRUE(WaitFor([&] { return disk0->childCount() == 2; }));
    EXPECT_TRUE(disk0->child(0)->text(0).startsWith("Partition 1: netware386 ("));
    EXPECT_TRUE(disk0->child(1)->text(0).startsWith("Partition 2: nss ("));
    const std::vector<std::string> rows = RowTexts();
    EXPECT_NE(std::find(rows.begin(), rows.end(), "Partition 2   : 0x69, nss, sectors 40000 - 44095 (2.0 MiB)"),
              rows.end())
        << ::testing::PrintToString(rows);

    // The quick search finds SYS and names the pool after its result.
    Hover(P().modeButtons[0]);
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_TRUE(AtStep(1));
    EXPECT_EQ(S().found.Count(), 1u);
    ASSERT_FALSE(modals.seen.empty());
    EXPECT_EQ(modals.seen.back().text.toStdString(),
              "Partition 2 holds an NSS pool (NetWare 5 and later). This program reads NetWare traditional volumes; "
              "raw mode can still carve documents from it.");
    QTest::mouseClick(P().backButton, Qt::LeftButton);
    ASSERT_TRUE(AtStep(0));

    // The pool's node chooses its disk; the raw panel takes its sectors.
    disk0 = P().diskTree->topLevelItem(0)->child(0);
    ASSERT_TRUE(WaitFor([&] { return disk0->childCount() == 2; }));
    ClickLabel(P().diskTree, disk0->child(1));
    EXPECT_EQ(S().selectedDiskLabel, "Disk0");
    Hover(P().modeButtons[2]);
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    EXPECT_TRUE(P().sectorRangeButton->isChecked());
    EXPECT_EQ(P().startSectorField->text(), "40000");
    EXPECT_EQ(P().endSectorField->text(), "44095");
    QTest::mouseClick(P().backButton, Qt::LeftButton);
    ASSERT_TRUE(AtStep(0));

    // The advanced search of the pool's partition alone finds nothing, of
    // the disk node the volume.
    disk0 = P().diskTree->topLevelItem(0)->child(0);
    ASSERT_TRUE(WaitFor([&] { return disk0->childCount() == 2; }));
    ClickLabel(P().diskTree, disk0->child(1));
    Hover(P().modeButtons[1]);
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    SearchDone();
    EXPECT_EQ(S().found.Count(), 0u);
    ASSERT_TRUE(AtStep(0));
    disk0 = P().diskTree->topLevelItem(0)->child(0);
    ClickLabel(P().diskTree, disk0);
    Hover(P().modeButtons[1]);
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_TRUE(AtStep(1));
    EXPECT_EQ(S().found.Count(), 1u);
}

}  // namespace
