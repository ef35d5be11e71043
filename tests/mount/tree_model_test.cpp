// The entry lists, the folder tree, paths, list rows and the selection on
// records appended by hand.
#include <gtest/gtest.h>

#include "app/EntryRows.h"
#include "netware/FolderTree.h"
#include "netware/MountedVolume.h"
#include "netware/Records.h"
#include "netware/Selection.h"
#include "netware/Timestamps.h"

namespace {

using nw::EntryRecord;
using nw::kRootNode;

class TreeModelTest : public ::testing::Test {
protected:
    EntryRecord& Folder(const std::string& name, std::uint32_t own, std::uint32_t parent) {
        EntryRecord r;
        r.attributes = 0x10;
        r.name = name;
        r.ownNumber = own;
        r.parentNumber = parent;
        r.ordinal = ++folders;
        return volume.FolderList.Append(r);
    }
    EntryRecord& File(const std::string& name, std::uint32_t parent, std::uint32_t size = 1) {
        EntryRecord r;
        r.name = name;
        r.parentNumber = parent;
        r.size = size;
        r.ordinal = ++files;
        return volume.FileList.Append(r);
    }
    // Appends LOST, runs the lost-folder pass, populates the tree and
    // starts a selection on it.
    void Finish() {
        nw::AppendLostFolder(volume.FolderList, ++folders);
        ASSERT_TRUE(nw::ResolveLostFolders(volume.FolderList, folders, nullptr, nullptr));
        nw::PopulateFolderTree(volume, "SYS");
        selection.Reset(volume);
    }
    std::uint32_t Item(const std::string& path) {
        nw::PathMatch m;
        return nw::FindEntryByPath(volume, path, &m) ? m.node : nw::kNoNode;
    }
    std::vector<std::string> Children(std::uint32_t node) {
        std::vector<std::string> out;
        for (std::uint32_t c = volume.tree.FirstChild(node); c != nw::kNoNode; c = volume.tree.NextSibling(c))
            out.push_back(nw::NodeText(volume, c));
        return out;
    }
    bool FileChecked(const std::string& name) const {
        for (std::size_t i = 0; i < volume.FileList.Size(); ++i)
            if (volume.FileList[i].name == name) return selection.FileChecked(i);
        ADD_FAILURE() << "no file " << name;
        return false;
    }
    std::size_t FileIndex(const std::string& name) const {
        for (std::size_t i = 0; i < volume.FileList.Size(); ++i)
            if (volume.FileList[i].name == name) return i;
        return nw::kNoEntry;
    }

    nw::MountedVolume volume;
    nw::Selection selection;
    const std::uint32_t root = kRootNode;
    std::uint32_t folders = 0;
    std::uint32_t files = 0;
};

TEST(FileTypeTable, EndingsMatchExactlyAndInTableOrder) {
    EXPECT_STREQ(app::FileTypeFor("REPORT.DOC").typeText, "Microsoft Word FILE");
    EXPECT_EQ(app::FileTypeFor("REPORT.DOC").image, 4);
    EXPECT_STREQ(app::FileTypeFor("REPORT.Doc").typeText, "FILE");
    EXPECT_EQ(app::FileTypeFor("REPORT.Doc").image, 19);
    EXPECT_STREQ(app::FileTypeFor("A.HTML").typeText, "Internet FILE");
    EXPECT_STREQ(app::FileTypeFor("c").typeText, "FILE");          // shorter than ".c": compared whole
    EXPECT_STREQ(app::FileTypeFor(".c").typeText, "C++ Source FILE");
    EXPECT_STREQ(app::FileTypeFor("SONG.AU").typeText, "Sound FILE");
    EXPECT_STREQ(app::FileTypeFor("X.H").typeText, "Header FILE");
    EXPECT_STREQ(app::FileTypeFor("notes.Txt").typeText, "FILE");
    EXPECT_STREQ(app::FileTypeFor("").typeText, "FILE");
}

TEST(TimestampText, YearRuleMonthErrorsAndPadding) {
    auto pack = [](unsigned year, unsigned month, unsigned day, unsigned h, unsigned m, unsigned s) {
        return (s / 2) | (m << 5) | (h << 11) | (day << 16) | (month << 21) | (year << 25);
    };
    EXPECT_EQ(nw::FormatDateText(pack(27, 3, 5, 9, 4, 58)), "05-Mar-2007");
    EXPECT_EQ(nw::FormatTimeText(pack(27, 3, 5, 9, 4, 58)), "09:04:58");
    EXPECT_EQ(nw::FormatDateText(pack(79, 12, 31, 0, 0, 0)), "31-Dec-2059");
    EXPECT_EQ(nw::FormatDateText(pack(80, 1, 1, 0, 0, 0)), "01-Jan-2000");
    EXPECT_EQ(nw::FormatDateText(pack(127, 13, 0, 0, 0, 0)), "00-Err-2047");
    EXPECT_EQ(nw::FormatDateText(pack(0, 15, 9, 0, 0, 0)), "09-Err-1980");
    EXPECT_EQ(nw::FormatDateText(0), "00-Err-1980");
    EXPECT_EQ(nw::FormatTimeText(0), "00:00:00");
    EXPECT_EQ(nw::FormatTimeText(pack(0, 1, 1, 31, 63, 62)), "31:63:62");
    const nw::UnpackedTimestamp u = nw::UnpackTimestamp(pack(80, 2, 3, 4, 5, 6));
    EXPECT_EQ(u.year, 2000u);
    EXPECT_EQ(u.second, 6u);
}

TEST(EntryListIndexes, FirstMatchInListOrderSurvivesParentChanges) {
    nw::EntryList list;
    for (std::uint32_t i = 0; i < 6; ++i) {
        EntryRecord r;
        r.name = "R" + std::to_string(i);
        r.ownNumber = 10 + i % 2;   // own numbers repeat
        r.ordinal = 1 + i % 3;      // ordinals repeat
        r.parentNumber = i % 2;
        list.Append(r);
    }
    EXPECT_EQ(list.FindByOwnNumber(11)->name, "R1");
    EXPECT_EQ(list.FindByOrdinal(3)->name, "R2");
    EXPECT_EQ(list.FindByOwnNumber(99), nullptr);
    EXPECT_EQ(list.ChildrenOf(1), (std::vector<std::size_t>{1, 3, 5}));
    list.SetParentNumber(3, 7);
    list.SetParentNumber(1, 7);
    EXPECT_EQ(list.ChildrenOf(1), (std::vector<std::size_t>{5}));
    EXPECT_EQ(list.ChildrenOf(7), (std::vector<std::size_t>{1, 3}));
    list.SetParentNumber(3, 1);  // back again: no duplicate
    EXPECT_EQ(list.ChildrenOf(1), (std::vector<std::size_t>{3, 5}));
    EntryRecord longName;
    longName.name = std::string(300, 'x');
    EXPECT_EQ(list.Append(longName).name.size(), 254u);
}

TEST(EntryListIndexes, LookupsMatchAPlainScanOverWideKeys) {
    // Keys over the whole 32-bit range (LOST, high orphan numbers) and
    // repeated keys in random order: every lookup must answer as a scan from
    // the head of the list would.
    nw::EntryList list;
    std::uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    const std::uint32_t pool[] = {0, 1, 2, 0x7FF, 0x800, 0x1234567, 0x7000000, 0xFFFFFFFE, 0xFFFFFFFF};
    for (std::uint32_t i = 0; i < 5000; ++i) {
        EntryRecord r;
        r.parentNumber = (next() >> 8) % 3 ? pool[(next() >> 8) % 9] : next();
        r.ownNumber = (next() >> 8) % 2 ? pool[(next() >> 8) % 9] : next();
        r.ordinal = 5000 - i / 2;
        list.Append(r);
    }
    for (std::size_t i = 0; i < list.Size(); i += 7) list.SetParentNumber(i, pool[i % 9]);
    auto scanChildren = [&](std::uint32_t parent) {
        std::vector<std::size_t> out;
        for (std::size_t i = 0; i < list.Size(); ++i)
            if (list[i].parentNumber == parent) out.push_back(i);
        return out;
    };
    auto scanOwn = [&](std::uint32_t own) -> const EntryRecord* {
        for (std::size_t i = 0; i < list.Size(); ++i)
            if (list[i].ownNumber == own) return &list[i];
        return nullptr;
    };
    for (std::uint32_t key : pool) {
        EXPECT_EQ(list.ChildrenOf(key), scanChildren(key)) << key;
        EXPECT_EQ(list.FindByOwnNumber(key), scanOwn(key)) << key;
    }
    for (std::size_t i = 0; i < list.Size(); i += 97) {
        EXPECT_EQ(list.ChildrenOf(list[i].parentNumber), scanChildren(list[i].parentNumber));
        EXPECT_EQ(list.FindByOwnNumber(list[i].ownNumber), scanOwn(list[i].ownNumber));
    }
    EXPECT_EQ(list.FindByOrdinal(5000), &list[0]);
    EXPECT_EQ(list.FindByOrdinal(2501), &list[4998]);
}

TEST_F(TreeModelTest, TreeFollowsListOrderAndPathsJoinWithBackslashes) {
    Folder("PUBLIC", 5, 0);
    Folder("DATA", 6, 5);
    Folder("ORPHAN", 7, 4711);
    Folder("ZED", 8, 0);
    Folder("KID", 9, 7);
    File("REPORT.DOC", 6, 1234);
    File("NOWHERE.TXT", 4711);
    Finish();
    EXPECT_EQ(Children(root), (std::vector<std::string>{"PUBLIC", "ZED", "LOST"}));
    EXPECT_EQ(Children(Item("LOST")), (std::vector<std::string>{"ORPHAN"}));
    EXPECT_EQ(nw::NodePath(volume, Item("PUBLIC\\DATA")), "PUBLIC\\DATA");
    EXPECT_EQ(nw::ShownPath(volume, Item("LOST\\ORPHAN\\KID")), "SYS:\\LOST\\ORPHAN\\KID");
    EXPECT_EQ(nw::ShownPath(volume, root), "SYS:\\");

    nw::PathMatch m;
    ASSERT_TRUE(nw::FindEntryByPath(volume, "public\\data\\report.doc", &m));
    EXPECT_FALSE(m.isFolder);
    EXPECT_EQ(m.record->size, 1234u);
    EXPECT_EQ(m.fileIndex, 0u);
    EXPECT_EQ(m.node, Item("PUBLIC\\DATA"));
    EXPECT_FALSE(nw::FindEntryByPath(volume, "PUBLIC\\NOPE", &m));

    std::vector<app::Row> rows = app::FolderRows(volume, 6);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].columns, (std::vector<std::string>{"REPORT.DOC", "Microsoft Word FILE", "1234", "00-Err-1980",
                                                         "00:00:00", "1", ""}));  // live, not compressed: no state
    rows = app::FolderRows(volume, 0);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2].columns[1], "Folder");
    EXPECT_EQ(rows[2].columns[2], "0");
    // A folder row's ID is its node; it resolves back to the record.
    EXPECT_EQ(rows[2].columns[5], std::to_string(Item("LOST")));
    EXPECT_EQ(nw::FolderOfNode(volume, Item("LOST"))->ownNumber, nw::kLostFolderNumber);

    // A name that already ends in "\" gets no second one.
    nw::MountedVolume other;
    EntryRecord a;
    a.attributes = 0x10;
    a.name = "A\\";
    a.ownNumber = 1;
    other.FolderList.Append(a);
    EntryRecord b = a;
    b.name = "B";
    b.ownNumber = 2;
    b.parentNumber = 1;
    other.FolderList.Append(b);
    nw::PopulateFolderTree(other, "V");
    EXPECT_EQ(nw::NodePath(other, other.FolderList[1].treeNode), "A\\B");
}

TEST_F(TreeModelTest, CyclesAndSelfParentsStillLoad) {
    Folder("A", 1, 0);
    Folder("B", 2, 1);
    Folder("BACK", 1, 2);   // carries the number of its own ancestor A
    Folder("SELF", 0, 0);   // its own number is the root's
    Folder("ME", 3, 3);     // its own parent: not reachable from the root
    File("F.TXT", 1);
    Finish();
    EXPECT_EQ(Children(root), (std::vector<std::string>{"A", "SELF", "LOST"}));
    EXPECT_EQ(Children(Item("A\\B")), (std::vector<std::string>{"BACK"}));
    EXPECT_TRUE(Children(Item("A\\B\\BACK")).empty());
    EXPECT_TRUE(Children(Item("SELF")).empty());
    EXPECT_EQ(nw::FindEntryByPath(volume, "ME", nullptr), false);
    EXPECT_EQ(Item("ME"), nw::kNoNode);
    EXPECT_EQ(Children(Item("LOST")), (std::vector<std::string>{"ME"}));

    std::vector<std::string> walked;
    nw::WalkTree(volume, root, [&](const nw::WalkItem& item) { walked.push_back(item.path); });
    // BACK shows the contents of number 1 again, but is not descended into.
    EXPECT_EQ(walked, (std::vector<std::string>{"A", "A\\B", "A\\B\\BACK", "A\\B\\BACK\\F.TXT", "A\\F.TXT", "SELF",
                                                "LOST", "LOST\\ME"}));
}

TEST_F(TreeModelTest, FoldersInParentCyclesAreListedUnderLostBrokenAtTheirFirstEntry) {
    Folder("DOCS", 1, 0);
    Folder("LOOPB", 21, 20);  // LOOPA and LOOPB: each the other's parent
    Folder("LOOPA", 20, 21);
    Folder("SELF", 30, 30);   // its own parent
    Folder("BELOW", 31, 30);
    Folder("TAIL", 40, 21);   // hangs off the cycle
    Folder("R3", 52, 51);     // a ring of three, entered by its last entry
    Folder("R2", 51, 50);
    Folder("R1", 50, 52);
    File("HIDDEN.TXT", 20);
    File("DEEP.TXT", 31);
    Finish();
    // Each cycle is broken at the folder that comes first in the folder
    // list, whichever entry the walk met first: the same on every run.
    EXPECT_EQ(Children(Item("LOST")), (std::vector<std::string>{"LOOPB", "SELF", "R3"}));
    std::vector<std::string> walked;
    nw::WalkTree(volume, root, [&](const nw::WalkItem& item) { walked.push_back(item.path); });
    EXPECT_EQ(walked, (std::vector<std::string>{"DOCS", "LOST", "LOST\\LOOPB", "LOST\\LOOPB\\LOOPA",
                                                "LOST\\LOOPB\\LOOPA\\HIDDEN.TXT", "LOST\\LOOPB\\TAIL",
                                                "LOST\\SELF", "LOST\\SELF\\BELOW", "LOST\\SELF\\BELOW\\DEEP.TXT",
                                                "LOST\\R3", "LOST\\R3\\R1", "LOST\\R3\\R1\\R2"}));
    // Every folder record has its node, and the selection reaches the files.
    for (const EntryRecord& r : volume.FolderList) EXPECT_NE(r.treeNode, nw::kNoNode) << r.name;
    selection.ToggleFolder(volume, Item("LOST"));
    EXPECT_TRUE(FileChecked("HIDDEN.TXT"));
    EXPECT_TRUE(FileChecked("DEEP.TXT"));

    // Populating again (a log loaded into the same lists) changes nothing.
    nw::PopulateFolderTree(volume, "SYS");
    std::vector<std::string> again;
    nw::WalkTree(volume, root, [&](const nw::WalkItem& item) { again.push_back(item.path); });
    EXPECT_EQ(again, walked);
}

TEST_F(TreeModelTest, DeepChainOfFoldersNeedsNoDeepRecursion) {
    const std::uint32_t depth = 200000;
    for (std::uint32_t i = 1; i <= depth; ++i) Folder("D", i, i - 1);
    File("BOTTOM.TXT", depth);
    Finish();
    std::uint32_t item = root;
    std::uint32_t levels = 0;
    for (std::uint32_t c = volume.tree.FirstChild(item); c != nw::kNoNode; c = volume.tree.FirstChild(c)) {
        item = c;
        ++levels;
    }
    EXPECT_EQ(levels, depth);
    EXPECT_EQ(nw::NodePath(volume, item).size(), 2 * depth - 1);

    // Toggling the top of the chain reaches the bottom and summarises back up.
    selection.ToggleFolder(volume, volume.tree.FirstChild(root));
    EXPECT_EQ(selection.NodeState(item), nw::kChecked);
    EXPECT_EQ(selection.NodeState(root), nw::kPartlyChecked);  // LOST is not checked
    EXPECT_TRUE(FileChecked("BOTTOM.TXT"));
    // Clearing the bottom file alone empties the bottom folder, and every
    // folder above it holds nothing but that one.
    selection.SetFile(volume, FileIndex("BOTTOM.TXT"), false);
    EXPECT_EQ(selection.NodeState(item), nw::kUnchecked);
    EXPECT_EQ(selection.NodeState(volume.tree.FirstChild(root)), nw::kUnchecked);
    EXPECT_EQ(selection.NodeState(root), nw::kUnchecked);

    std::size_t walked = 0;
    nw::WalkTree(volume, root, [&](const nw::WalkItem&) { ++walked; });
    EXPECT_EQ(walked, depth + 2);  // the chain, its file and LOST
}

TEST_F(TreeModelTest, CyclesBackToNearAndFarAncestorsOnALongPath) {
    // A path of 100 folders; below the deepest, folders carrying the numbers
    // of an ancestor near the top, one far down the path and the deepest
    // itself. Each shows once and is not descended into.
    const std::uint32_t depth = 100;
    for (std::uint32_t i = 1; i <= depth; ++i) Folder("P" + std::to_string(i), i, i - 1);
    Folder("UP3", 3, depth);
    Folder("UP70", 70, depth);
    Folder("UP100", 100, depth);
    Folder("NEW", 500, depth);
    Folder("UNDER", 501, 500);
    Finish();
    std::uint32_t item = root;
    for (std::uint32_t i = 0; i < depth; ++i) item = volume.tree.FirstChild(item);
    ASSERT_NE(item, nw::kNoNode);
    EXPECT_EQ(nw::NodeText(volume, item), "P100");
    EXPECT_EQ(Children(item), (std::vector<std::string>{"UP3", "UP70", "UP100", "NEW"}));
    for (std::uint32_t c = volume.tree.FirstChild(item); c != nw::kNoNode; c = volume.tree.NextSibling(c)) {
        if (nw::NodeText(volume, c) == "NEW")
            EXPECT_EQ(Children(c), (std::vector<std::string>{"UNDER"}));
        else
            EXPECT_TRUE(Children(c).empty()) << nw::NodeText(volume, c);
    }
}

TEST_F(TreeModelTest, DuplicateFolderNumbersCannotMultiplyWithoutEnd) {
    // Pairs of folders sharing each number: every level doubles the items.
    for (std::uint32_t level = 1; level <= 40; ++level) {
        Folder("X", level, level - 1);
        Folder("Y", level, level - 1);
    }
    Finish();
    EXPECT_LE(volume.tree.Size(), 65536u + 2);
}

TEST_F(TreeModelTest, CheckingPropagatesDownAndSummarisesUp) {
    Folder("A", 1, 0);
    Folder("A1", 2, 1);
    Folder("A2", 3, 1);
    Folder("B", 4, 0);
    File("ROOT.TXT", 0);
    File("A.TXT", 1);
    File("A1.TXT", 2);
    File("B.TXT", 4);
    Finish();
    const std::uint32_t a = Item("A"), a1 = Item("A\\A1"), a2 = Item("A\\A2");
    EXPECT_FALSE(selection.Any());

    selection.ToggleFolder(volume, a1);
    EXPECT_EQ(selection.NodeState(a1), nw::kChecked);
    EXPECT_EQ(selection.NodeState(a), nw::kPartlyChecked);
    EXPECT_EQ(selection.NodeState(root), nw::kPartlyChecked);
    EXPECT_TRUE(FileChecked("A1.TXT"));
    EXPECT_FALSE(FileChecked("A.TXT"));

    selection.ToggleFolder(volume, a2);
    // Every child folder checked, but A's own file is not: A is partial.
    EXPECT_EQ(selection.NodeState(a), nw::kPartlyChecked);
    EXPECT_FALSE(FileChecked("A.TXT"));
    selection.SetFile(volume, FileIndex("A.TXT"), true);
    EXPECT_EQ(selection.NodeState(a), nw::kChecked);
    EXPECT_EQ(selection.NodeState(root), nw::kPartlyChecked);

    // A partly checked node checks its whole subtree, marking everything
    // reachable from it; a checked one clears it.
    const std::uint64_t before = selection.Version();
    selection.ToggleFolder(volume, root);  // root is partly checked
    for (std::uint32_t i : {root, a, a1, a2, Item("B")}) EXPECT_EQ(selection.NodeState(i), nw::kChecked);
    for (std::size_t i = 0; i < volume.FileList.Size(); ++i) EXPECT_TRUE(selection.FileChecked(i)) << i;
    for (std::size_t i = 0; i < volume.FolderList.Size(); ++i) EXPECT_TRUE(selection.FolderChecked(i)) << i;
    EXPECT_GT(selection.Version(), before);  // front ends redraw
    selection.ToggleFolder(volume, root);
    for (std::uint32_t i : {root, a, a1, a2, Item("B")}) EXPECT_EQ(selection.NodeState(i), nw::kUnchecked);
    EXPECT_FALSE(selection.Any());
    selection.ToggleFolder(volume, root);

    // Unchecking one child leaves the parent partly checked.
    selection.ToggleFolder(volume, a1);
    EXPECT_EQ(selection.NodeState(a), nw::kPartlyChecked);
    EXPECT_FALSE(FileChecked("A1.TXT"));
    EXPECT_TRUE(FileChecked("A.TXT"));
}

TEST_F(TreeModelTest, TickingSingleFilesMakesTheirFolderPartlyChecked) {
    Folder("A", 1, 0);
    Folder("B", 2, 0);
    File("ROOT.TXT", 0);
    File("ONE.TXT", 1);
    File("TWO.TXT", 1);
    File("NOWHERE.TXT", 4711);
    Finish();
    const std::uint32_t a = Item("A");

    selection.SetFile(volume, FileIndex("ONE.TXT"), true);
    EXPECT_EQ(selection.NodeState(a), nw::kPartlyChecked);
    EXPECT_EQ(selection.NodeState(root), nw::kPartlyChecked);
    EXPECT_TRUE(FileChecked("ONE.TXT"));
    EXPECT_FALSE(FileChecked("TWO.TXT"));

    // Every file of a folder without subfolders ticked: the folder is checked.
    selection.SetFile(volume, FileIndex("TWO.TXT"), true);
    EXPECT_EQ(selection.NodeState(a), nw::kChecked);
    EXPECT_EQ(selection.NodeState(root), nw::kPartlyChecked);  // B and LOST are not

    // Cleared again, nothing is left ticked anywhere.
    selection.SetFile(volume, FileIndex("ONE.TXT"), false);
    selection.SetFile(volume, FileIndex("TWO.TXT"), false);
    EXPECT_EQ(selection.NodeState(a), nw::kUnchecked);
    EXPECT_EQ(selection.NodeState(root), nw::kUnchecked);
    EXPECT_FALSE(selection.Any());

    // A file of the root makes the root partly checked; a file shown nowhere
    // only gets its mark.
    selection.SetFile(volume, FileIndex("ROOT.TXT"), true);
    EXPECT_EQ(selection.NodeState(root), nw::kPartlyChecked);
    selection.SetFile(volume, FileIndex("ROOT.TXT"), false);
    selection.SetFile(volume, FileIndex("NOWHERE.TXT"), true);
    EXPECT_TRUE(FileChecked("NOWHERE.TXT"));
    EXPECT_EQ(selection.NodeState(root), nw::kUnchecked);
}

}  // namespace
