// The entry lists and the tree model on records appended by hand.
#include <gtest/gtest.h>

#include "app/job/Controls.h"
#include "app/job/Tree.h"
#include "app/job/WizardState.h"
#include "netware/TreeModel.h"

namespace {

using nw::EntryRecord;

struct RowRecorder : job::PublishedControls {
    void ClearDetails() override {
        rows.clear();
        ++clears;
    }
    void AddDetailsRow(const std::vector<std::string>& columns) override { rows.push_back(columns); }
    std::vector<std::vector<std::string>> rows;
    int clears = 0;
};

class TreeModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        job::ResetWizardState();
        job::Wizard().directoryTree = &tree;
        job::Wizard().controls = &rows;
        job::Wizard().selectedVolumeName = "SYS";
        root = tree.InsertItem(nullptr, "SYS", 2, job::kUnchecked);
    }
    void TearDown() override {
        job::Wizard().directoryTree = nullptr;
        job::Wizard().controls = nullptr;
        job::ResetWizardState();
    }
    EntryRecord& Folder(const std::string& name, std::uint32_t own, std::uint32_t parent) {
        EntryRecord r;
        r.attributes = 0x10;
        r.name = name;
        r.ownNumber = own;
        r.parentNumber = parent;
        r.ordinal = ++folders;
        return nw::AppendEntry(true, r);
    }
    EntryRecord& File(const std::string& name, std::uint32_t parent, std::uint32_t size = 1) {
        EntryRecord r;
        r.name = name;
        r.parentNumber = parent;
        r.size = size;
        r.ordinal = ++files;
        return nw::AppendEntry(false, r);
    }
    // Appends LOST, runs the lost-folder pass and populates the tree.
    void Finish() {
        nw::AppendLostFolder(++folders);
        ASSERT_TRUE(nw::ResolveLostFolders(folders, nullptr, nullptr));
        nw::PopulateFolderTree(root, 0);
        job::Wizard().currentFolderItem = root;
    }
    job::TreeItem Item(const std::string& path) {
        nw::PathMatch m;
        return nw::FindEntryByPath(path, &m) ? m.item : nullptr;
    }
    std::vector<std::string> Children(job::TreeItem item) {
        std::vector<std::string> out;
        for (job::TreeItem c = tree.FirstChild(item); c; c = tree.NextSibling(c)) out.push_back(tree.Text(c));
        return out;
    }

    job::MemoryTree tree;
    RowRecorder rows;
    job::TreeItem root = nullptr;
    std::uint32_t folders = 0;
    std::uint32_t files = 0;
};

TEST(FileTypeTable, EndingsMatchExactlyAndInTableOrder) {
    EXPECT_STREQ(nw::FileTypeFor("REPORT.DOC").typeText, "Microsoft Word FILE");
    EXPECT_EQ(nw::FileTypeFor("REPORT.DOC").image, 4);
    EXPECT_STREQ(nw::FileTypeFor("REPORT.Doc").typeText, "FILE");
    EXPECT_EQ(nw::FileTypeFor("REPORT.Doc").image, 19);
    EXPECT_STREQ(nw::FileTypeFor("A.HTML").typeText, "Internet FILE");
    EXPECT_STREQ(nw::FileTypeFor("c").typeText, "FILE");          // shorter than ".c": compared whole
    EXPECT_STREQ(nw::FileTypeFor(".c").typeText, "C++ Source FILE");
    EXPECT_STREQ(nw::FileTypeFor("SONG.AU").typeText, "Sound FILE");
    EXPECT_STREQ(nw::FileTypeFor("X.H").typeText, "Header FILE");
    EXPECT_STREQ(nw::FileTypeFor("notes.Txt").typeText, "FILE");
    EXPECT_STREQ(nw::FileTypeFor("").typeText, "FILE");
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
    int a = 0, b = 0;
    list.SetTreeItem(4, &b);
    list.SetTreeItem(2, &b);
    list.SetTreeItem(0, &a);
    EXPECT_EQ(list.FindByTreeItem(&b)->name, "R2");
    list.SetTreeItem(2, &a);  // the item moves on: R4 still holds &b
    EXPECT_EQ(list.FindByTreeItem(&b)->name, "R4");
    EXPECT_EQ(list.FindByTreeItem(&a)->name, "R0");
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
    EXPECT_EQ(nw::TreeItemPath(Item("PUBLIC\\DATA")), "PUBLIC\\DATA");
    EXPECT_EQ(nw::ShownPath(Item("LOST\\ORPHAN\\KID")), "SYS:\\LOST\\ORPHAN\\KID");
    EXPECT_EQ(nw::ShownPath(root), "SYS:\\");
    EXPECT_TRUE(tree.IsExpanded(root));

    nw::PathMatch m;
    ASSERT_TRUE(nw::FindEntryByPath("public\\data\\report.doc", &m));
    EXPECT_FALSE(m.isFolder);
    EXPECT_EQ(m.record->size, 1234u);
    EXPECT_FALSE(nw::FindEntryByPath("PUBLIC\\NOPE", &m));

    nw::ListFolder(6);
    ASSERT_EQ(rows.rows.size(), 1u);
    EXPECT_EQ(rows.rows[0], (std::vector<std::string>{"REPORT.DOC", "Microsoft Word FILE", "1234", "00-Err-1980",
                                                      "00:00:00", "1"}));
    nw::ListFolder(0);
    ASSERT_EQ(rows.rows.size(), 3u);
    EXPECT_EQ(rows.rows[2][1], "Folder");
    EXPECT_EQ(rows.rows[2][2], "0");
    // A folder row's ID is its tree item; it resolves back to the record.
    EXPECT_EQ(rows.rows[2][5], nw::TreeItemIdText(Item("LOST")));
    EXPECT_EQ(nw::FindFolderByTreeItem(Item("LOST"))->ownNumber, nw::kLostFolderNumber);

    // A text that already ends in "\" gets no second one.
    job::TreeItem odd = tree.InsertItem(Item("ZED"), "X", 3, 1);
    job::TreeItem under = tree.InsertItem(odd, "Y", 3, 1);
    (void)under;
    job::MemoryTree t2;
    job::Wizard().directoryTree = &t2;
    job::TreeItem r2 = t2.InsertItem(nullptr, "V", 2, 1);
    job::TreeItem a = t2.InsertItem(r2, "A\\", 3, 1);
    EXPECT_EQ(nw::TreeItemPath(t2.InsertItem(a, "B", 3, 1)), "A\\B");
    job::Wizard().directoryTree = &tree;
}

TEST_F(TreeModelTest, CyclesAndSelfParentsStillLoad) {
    Folder("A", 1, 0);
    Folder("B", 2, 1);
    Folder("BACK", 1, 2);   // carries the number of its own ancestor A
    Folder("SELF", 0, 0);   // its own number is the root's
    Folder("ME", 3, 3);     // its own parent: never reachable
    File("F.TXT", 1);
    Finish();
    EXPECT_EQ(Children(root), (std::vector<std::string>{"A", "SELF", "LOST"}));
    EXPECT_EQ(Children(Item("A\\B")), (std::vector<std::string>{"BACK"}));
    EXPECT_TRUE(Children(Item("A\\B\\BACK")).empty());
    EXPECT_TRUE(Children(Item("SELF")).empty());
    EXPECT_EQ(nw::FindEntryByPath("ME", nullptr), false);

    std::vector<std::string> walked;
    nw::WalkTree(root, [&](const EntryRecord&, const std::string& path, bool) { walked.push_back(path); });
    // BACK shows the contents of number 1 again, but is not descended into.
    EXPECT_EQ(walked, (std::vector<std::string>{"A", "A\\B", "A\\B\\BACK", "A\\B\\BACK\\F.TXT", "A\\F.TXT", "SELF",
                                                "LOST"}));
}

TEST_F(TreeModelTest, DeepChainOfFoldersNeedsNoDeepRecursion) {
    const std::uint32_t depth = 200000;
    for (std::uint32_t i = 1; i <= depth; ++i) Folder("D", i, i - 1);
    Finish();
    job::TreeItem item = root;
    std::uint32_t levels = 0;
    while (job::TreeItem c = tree.FirstChild(item)) {
        item = c;
        ++levels;
    }
    EXPECT_EQ(levels, depth);
    nw::ToggleFolderCheck(tree.FirstChild(root));
    EXPECT_EQ(tree.StateImage(item), job::kChecked);
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
    job::TreeItem item = root;
    for (std::uint32_t i = 0; i < depth; ++i) item = tree.FirstChild(item);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(tree.Text(item), "P100");
    EXPECT_EQ(Children(item), (std::vector<std::string>{"UP3", "UP70", "UP100", "NEW"}));
    for (job::TreeItem c = tree.FirstChild(item); c; c = tree.NextSibling(c)) {
        if (tree.Text(c) == "NEW")
            EXPECT_EQ(Children(c), (std::vector<std::string>{"UNDER"}));
        else
            EXPECT_TRUE(Children(c).empty()) << tree.Text(c);
    }
}

TEST_F(TreeModelTest, DuplicateFolderNumbersCannotMultiplyWithoutEnd) {
    // Pairs of folders sharing each number: every level doubles the items.
    for (std::uint32_t level = 1; level <= 40; ++level) {
        Folder("X", level, level - 1);
        Folder("Y", level, level - 1);
    }
    Finish();
    EXPECT_LE(tree.Size(), 65536u + 2);
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
    auto& w = job::Wizard();
    auto checkedFile = [&](const char* name) {
        for (const EntryRecord& r : w.FileList)
            if (r.name == name) return r.checked;
        return std::uint8_t{255};
    };
    job::TreeItem a = Item("A"), a1 = Item("A\\A1"), a2 = Item("A\\A2");

    nw::ToggleFolderCheck(a1);
    EXPECT_EQ(tree.StateImage(a1), job::kChecked);
    EXPECT_EQ(tree.StateImage(a), job::kPartlyChecked);
    EXPECT_EQ(tree.StateImage(root), job::kPartlyChecked);
    EXPECT_EQ(checkedFile("A1.TXT"), 1);
    EXPECT_EQ(checkedFile("A.TXT"), 0);

    nw::ToggleFolderCheck(a2);
    EXPECT_EQ(tree.StateImage(a), job::kChecked);  // every child checked
    EXPECT_EQ(tree.StateImage(root), job::kPartlyChecked);

    // A partly checked item unchecks its whole subtree.
    nw::ToggleFolderCheck(root);  // root is partly checked
    for (job::TreeItem i : {root, a, a1, a2, Item("B")}) EXPECT_EQ(tree.StateImage(i), job::kUnchecked);
    for (const EntryRecord& r : w.FileList) EXPECT_EQ(r.checked, 0) << r.name;

    // Checking the root marks everything reachable from it.
    rows.clears = 0;
    nw::ToggleFolderCheck(root);
    for (const EntryRecord& r : w.FileList) EXPECT_EQ(r.checked, 1) << r.name;
    for (const EntryRecord& r : w.FolderList) EXPECT_EQ(r.checked, 1) << r.name;
    // The root is the shown folder: it is listed again with the new state.
    EXPECT_EQ(rows.clears, 1);

    // Unchecking one child leaves the parent partly checked.
    nw::ToggleFolderCheck(a1);
    EXPECT_EQ(tree.StateImage(a), job::kPartlyChecked);
    EXPECT_EQ(checkedFile("A1.TXT"), 0);
    EXPECT_EQ(checkedFile("A.TXT"), 1);
    EXPECT_EQ(rows.clears, 1);  // A1 is not the shown folder
}

}  // namespace
