// How deleted and compressed entries look while browsing: greyed and named
// in the State column, a compressed file's size being what a save writes.
#include "UiFixture.h"

namespace uitest {
namespace {

nwimage::DiskSpec DiskWithDeletedAndPacked() {
    nwimage::DiskSpec d = SmallDisk();
    nwimage::VolumeSpec& v = d.partitions[0].volumes[0];
    nwimage::EntrySpec trash;
    trash.folder = true;
    trash.name = "TRASH";
    trash.number = 12;
    trash.deleted = true;
    trash.dateTime = nwimage::PackDateTime(2006, 12, 24, 18, 0, 0);
    v.entries.push_back(trash);
    nwimage::EntrySpec gone;
    gone.name = "GONE.TXT";
    gone.size = 700;
    gone.parent = 12;
    gone.deleted = true;
    v.entries.push_back(gone);
    nwimage::EntrySpec packed;
    packed.name = "PACKED.DAT";
    packed.size = 20000;
    packed.parent = 5;
    packed.compression = nwimage::Compression::Marked;
    packed.expandedSize = 65536;
    v.entries.push_back(packed);
    return d;
}

TEST_F(WindowTest, DeletedEntriesAreGreyedAndACompressedFileShowsWhatASaveWrites) {
    Open({{WriteImage(DiskWithDeletedAndPacked()), ""}});
    ASSERT_TRUE(BrowseSys());
    ASSERT_TRUE(WaitFor([&] { return Row("TRASH") != nullptr; }));
    EXPECT_EQ(P().detailsList->headerItem()->text(6), "State");

    const QColor live = Row("README.TXT")->foreground(0).color();
    QTreeWidgetItem* trash = Row("TRASH");
    EXPECT_EQ(trash->text(6), "Deleted");
    EXPECT_NE(trash->foreground(0).color(), live);
    EXPECT_EQ(Row("README.TXT")->text(6), "");
    QTreeWidgetItem* dirRoot = P().directoryTree->topLevelItem(0);
    QTreeWidgetItem* trashNode = Child(dirRoot, "TRASH");
    ASSERT_NE(trashNode, nullptr);
    EXPECT_NE(trashNode->foreground(0).color(), Child(dirRoot, "PUBLIC")->foreground(0).color());
    Shot("entries-root");

    ClickLabel(P().directoryTree, trashNode);
    ASSERT_NE(Row("GONE.TXT"), nullptr);
    EXPECT_EQ(Row("GONE.TXT")->text(6), "Deleted");
    EXPECT_NE(Row("GONE.TXT")->foreground(2).color(), live);

    // The entry says 64 KiB; a save writes the 20,000 stored bytes.
    ClickLabel(P().directoryTree, Child(dirRoot, "PUBLIC"));
    QTreeWidgetItem* packed = Row("PACKED.DAT");
    ASSERT_NE(packed, nullptr);
    EXPECT_EQ(packed->text(2), "19.5 KiB");
    EXPECT_EQ(packed->text(6), "Compressed");
    EXPECT_NE(packed->toolTip(2).indexOf("20,000 bytes saved"), -1) << packed->toolTip(2).toStdString();
    EXPECT_NE(packed->toolTip(6).indexOf("65536 bytes once expanded"), -1) << packed->toolTip(6).toStdString();
    EXPECT_EQ(packed->foreground(0).color(), live);
    EXPECT_EQ(Row("REPORT.DOC")->text(2), "4.9 KiB");
    Shot("entries-public");
}

}  // namespace
}  // namespace uitest
