// Mounts of builder images compared with what the builder says a correct
// recovery shows and delivers.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "MountFixture.h"

namespace mounttest {
namespace {

std::string SampleDescription() {
    const auto src = std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
    std::ifstream f(src / "tools" / "nwimage" / "sample.nwd");
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string ActivityLog() { return testutil::ReadFile(job::Wizard().activityLogPath); }

// The record of a built entry's primary name.
const nw::EntryRecord* FindRecord(const std::string& name) {
    for (const auto* list : {&job::Wizard().FolderList, &job::Wizard().FileList})
        for (const nw::EntryRecord& r : *list)
            if (r.name == name) return &r;
    return nullptr;
}

TEST_F(MountTest, SampleDiskShowsAndDeliversWhatTheManifestSays) {
    Use(SampleDescription());
    ASSERT_EQ(image.volumes.size(), 2u);
    for (std::size_t k = 0; k < image.volumes.size(); ++k) {
        MountVolume(k);
        EXPECT_EQ(Listing(), Expected(image.volumes[k].name)) << "volume " << image.volumes[k].name;
        EXPECT_EQ(job::Wizard().mountedMark, 1);
    }
    // SYS: 11 folders declared (orphans and the parent cycle included) plus LOST.
    EXPECT_NE(ActivityLog().find("\r\nNo of Folders Found : 12\r\nNo of Files Found : 22"), std::string::npos)
        << ActivityLog();
    EXPECT_NE(ActivityLog().find("\r\nNo of Folders Found : 5\r\nNo of Files Found : 8"), std::string::npos);
}

class BlockSizeTest : public MountTest, public ::testing::WithParamInterface<int> {};

TEST_P(BlockSizeTest, FilesOfEveryPlacementReadBack) {
    const int spb = GetParam();
    const int block = spb * 512;
    std::ostringstream d;
    d << "disk seed=" << spb << "\n"
      << "partition first=63 count=" << (600 + 3000 * spb) << "\n"
      << "volume V" << spb << " spb=" << spb << " blocks=3000 det-blocks=3\n"
      << "folder DIR long=\"A folder with a long name\" time=2007-03-05T09:04:58\n"
      << "folder SUB in=DIR\n"
      << "file ONE.BIN in=DIR size=1\n"
      << "file EXACT.BIN in=DIR size=" << block << "\n"
      << "file MULTI.BIN in=DIR/SUB size=" << (5 * block + 123) << "\n"
      << "file TAIL.BIN in=DIR size=" << (2 * block + 700) << " sub=tail\n"
      << "file WHOLE.BIN size=" << (block / 2 + 3) << " sub=whole\n"
      << "file SMALL.TXT text=\"tiny\" sub=whole\n"
      << "file EMPTY.LOG size=0\n"
      << "file SECTOR.BIN size=512\n"
      << "file LAST.TXT long=\"Long name in the next sector.txt\" slot3 size=1500\n"
      << "file GONE.DOC doc=word size=20K deleted\n"
      << "file PACK.DAT size=3000 compressed=marked\n";
    Use(d.str());
    MountVolume(0);
    EXPECT_EQ(Listing(), Expected(image.volumes[0].name));
    // The entry in the last slot keeps its short name.
    EXPECT_NE(FindRecord("LAST.TXT"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(AllBlockSizes, BlockSizeTest, ::testing::Values(8, 16, 32, 64, 128));

TEST_F(MountTest, BadSectorsReadAsZerosWithoutAPromptAndTheRestIsIntact) {
    testutil::CountingBadSectorPrompt badPrompt;
    badPrompt.answer = disk::kSkipAll;
    disk::SetBadSectorPrompt(&badPrompt);
    Use(R"(disk seed=7
partition first=63 count=40000
volume SYS spb=8 blocks=4000
folder DATA
file BIG.BIN in=DATA size=40000
file OK.BIN in=DATA size=9000
bad file=DATA/BIG.BIN offset=10 count=3
)",
        true);
    MountVolume(0);
    disk::SetBadSectorPrompt(nullptr);

    const nw::EntryRecord* big = FindRecord("BIG.BIN");
    ASSERT_NE(big, nullptr);
    std::vector<std::uint8_t> want = image.volumes[0].entries[1].stored;
    std::fill(want.begin() + 10 * 512, want.begin() + 13 * 512, 0);
    EXPECT_EQ(nw::ReadFileBytes(*big), want);
    EXPECT_EQ(nw::ReadFileBytes(*FindRecord("OK.BIN")), image.volumes[0].entries[2].stored);
    EXPECT_EQ(badPrompt.asked, 0);  // the program-wide answer was already "Retry All"
}

TEST_F(MountTest, BadDirectorySectorLosesOnlyItsOwnEntries) {
    // Entry 0 of the DET is its header; the sector at offset 1 holds entries 4..7.
    std::ostringstream d;
    d << "disk seed=3\npartition first=63 count=40000\nvolume SYS spb=8 blocks=4000\n";
    for (int i = 0; i < 12; ++i) d << "file F" << i << ".TXT size=100\n";
    d << "bad det=SYS block=0 offset=1 count=1\n";
    Use(d.str(), true);
    MountVolume(0);
    std::vector<std::string> names;
    for (const nw::EntryRecord& r : job::Wizard().FileList) names.push_back(r.name);
    EXPECT_EQ(names, (std::vector<std::string>{"F0.TXT", "F1.TXT", "F2.TXT", "F7.TXT", "F8.TXT", "F9.TXT",
                                               "F10.TXT", "F11.TXT"}));
}

// ---- FAT copies ----------------------------------------------------------------

const char* kTwoFats = R"(disk seed=11
partition first=63 count=40000
volume SYS spb=8 blocks=4000 break-fat2=2 det-blocks=2
folder DATA
file A.BIN in=DATA size=30000
file LATE.BIN in=DATA size=5000 blocks=3000,3001
)";

TEST_F(MountTest, UnequalFatChainsAskAndMountTheChosenCopy) {
    Use(kTwoFats);
    prompt.answer = 2;
    MountVolume(0);
    ASSERT_EQ(prompt.asked.size(), 1u);
    EXPECT_NE(prompt.asked[0].first, prompt.asked[0].second);
    EXPECT_EQ(prompt.asked[0].second, 2u);  // 1 + the one entry that matched before the break
    EXPECT_EQ(nw::Mounted().fatChoice, 2);
    EXPECT_EQ(nw::Mounted().FatBlockList.size(), 2u);  // no end marker: the chain broke
    EXPECT_EQ(Listing(), Expected("SYS", {2}));
    // LATE.BIN's FAT entries lie in a FAT block copy 2 no longer reaches.
    EXPECT_EQ(nw::ReadFileBytes(*FindRecord("LATE.BIN")).size(), 4096u);
}

TEST_F(MountTest, CancelOnTheFatQuestionMountsFat1) {
    Use(kTwoFats);
    prompt.answer = 0;
    MountVolume(0);
    ASSERT_EQ(prompt.asked.size(), 1u);
    EXPECT_EQ(nw::Mounted().fatChoice, 1);
    EXPECT_EQ(nw::Mounted().FatBlockList.back().block, nw::kChainEnd);
    EXPECT_EQ(Listing(), Expected("SYS", {1}));
    EXPECT_EQ(nw::ReadFileBytes(*FindRecord("LATE.BIN")), image.volumes[0].entries[2].stored);
}

TEST_F(MountTest, EqualFatChainLengthsMountWithoutAQuestionEvenWhenContentsDiffer) {
    Use(R"(disk seed=12
partition first=63 count=40000
volume SYS spb=8 blocks=4000 patch-fat2=3500:0:3501
file A.BIN size=9000
)");
    MountVolume(0);
    EXPECT_TRUE(prompt.asked.empty());
    EXPECT_EQ(nw::Mounted().fatChoice, 0);
    EXPECT_EQ(Listing(), Expected("SYS"));
}

// ---- directory chains --------------------------------------------------------------

TEST_F(MountTest, TwoBlockDirectoryShowsBothBlockIndexesAndReadsEveryEntry) {
    std::ostringstream d;
    d << "disk seed=5\npartition first=63 count=40000\nvolume SYS spb=8 blocks=4000 det-blocks=2\n";
    for (int i = 0; i < 40; ++i) d << "file F" << i << ".TXT size=10\n";
    Use(d.str());
    MountVolume(0);
    const auto& t = nw::Mounted();
    EXPECT_EQ(t.detBlockCount, 2u);
    ASSERT_EQ(t.Det1BlockList.size(), 3u);
    EXPECT_TRUE(nw::IsDetChainEnd(t.Det1BlockList.back().block));
    std::vector<std::string> mounting;
    for (const std::string& s : controls.status)
        if (s.rfind("Mounting Volume ", 0) == 0) mounting.push_back(s);
    EXPECT_EQ(mounting, (std::vector<std::string>{"Mounting Volume 0 / 2....", "Mounting Volume 1 / 2...."}));
    EXPECT_EQ(job::Wizard().FileList.Size(), 40u);
    EXPECT_EQ(controls.status.front(), "Loading FAT 1....");
    EXPECT_EQ(controls.status.back(), "SYS:\\");
}

TEST_F(MountTest, BrokenDirectoryChainKeepsTheBlocksReachedAndProgressStopsAt100) {
    std::ostringstream d;
    d << "disk seed=6\npartition first=63 count=40000\nvolume SYS spb=8 blocks=4000 det-blocks=4 break-det=2\n";
    for (int i = 0; i < 100; ++i) d << "file F" << i << ".TXT size=10\n";
    Use(d.str());
    MountVolume(0);
    const auto& t = nw::Mounted();
    EXPECT_EQ(t.detBlockCount, 1u);
    EXPECT_EQ(t.Det1BlockList.size(), 2u);
    // Both kept blocks are read: 2 blocks x 8 sectors x 4 entries, minus the header.
    EXPECT_EQ(job::Wizard().FileList.Size(), 63u);
    EXPECT_EQ(Listing(), Expected("SYS"));
    ASSERT_FALSE(controls.progress.empty());
    EXPECT_LE(*std::max_element(controls.progress.begin(), controls.progress.end()), 100);
}

TEST_F(MountTest, RecordsKnowTheirSectorsInBothCopies) {
    std::ostringstream d;
    d << "disk seed=8\npartition first=63 count=40000\nvolume SYS spb=8 blocks=4000 det-blocks=3 det2-length=1\n";
    for (int i = 0; i < 70; ++i) d << "file F" << i << ".TXT size=10\n";
    Use(d.str());
    MountVolume(0);
    const auto& built = image.volumes[0].entries;
    std::size_t withCopy2 = 0, withoutCopy2 = 0;
    for (std::size_t i = 0; i < built.size(); ++i) {
        const nw::EntryRecord* r = job::Wizard().FileList.FindByOrdinal(static_cast<std::uint32_t>(i + 1));
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->det1Sector, built[i].det1Sector) << i;
        EXPECT_EQ(r->det2Sector, built[i].det2Sector) << i;
        EXPECT_EQ(r->slot, built[i].slot) << i;
        (r->det2Sector ? withCopy2 : withoutCopy2) += 1;
    }
    EXPECT_GT(withCopy2, 0u);
    EXPECT_GT(withoutCopy2, 0u);
}

TEST_F(MountTest, SuballocationRecordsFillTheirGroupsOfTheTable) {
    Use(R"(disk seed=9
partition first=63 count=40000
volume SYS spb=8 blocks=4000 all-subgroups
file A.BIN size=100 sub=whole
file B.BIN size=5000 sub=tail
)");
    MountVolume(0);
    EXPECT_EQ(nw::Mounted().SuballocationTable, image.volumes[0].suballoc);
    EXPECT_EQ(Listing(), Expected("SYS"));
}

// ---- lost folders -------------------------------------------------------------------

const char* kOrphans = R"(disk seed=13
partition first=63 count=40000
volume SYS spb=8 blocks=4000
folder HOME
folder O1 number=100 parent=4711
folder O2 number=101 parent=4712
folder O3 number=102 parent=4713
folder KID number=103 parent=100
file NOWHERE.TXT parent=9999 size=10
file IN.TXT parent=103 size=10
)";

TEST_F(MountTest, OrphanedFoldersHangUnderLostAndOrphanedFilesShowNowhere) {
    Use(kOrphans);
    MountVolume(0);
    auto& w = job::Wizard();
    EXPECT_EQ(Listing(), Expected("SYS"));
    for (const char* name : {"O1", "O2", "O3"}) EXPECT_EQ(FindRecord(name)->parentNumber, nw::kLostFolderNumber);
    EXPECT_EQ(FindRecord("KID")->parentNumber, 100u);
    EXPECT_EQ(FindRecord("NOWHERE.TXT")->parentNumber, 9999u);  // kept in the list, shown nowhere
    // LOST is the last folder and the last child of the root.
    EXPECT_EQ(w.FolderList[w.FolderList.Size() - 1].name, "LOST");
    job::TreeItem last = nullptr;
    for (job::TreeItem c = tree.FirstChild(tree.Root()); c; c = tree.NextSibling(c)) last = c;
    EXPECT_EQ(tree.Text(last), "LOST");
    EXPECT_EQ(nw::Mounted().treeFolderCount, 6u);
    // The root listing went to the details list: HOME, LOST.
    ASSERT_EQ(controls.rows.size(), 2u);
    EXPECT_EQ(controls.rows[1][0], "LOST");
    EXPECT_EQ(w.currentFolderItem, tree.Root());
    EXPECT_EQ(w.currentStep, 1);
    EXPECT_EQ(controls.layouts, (std::vector<int>{5, 6}));
}

TEST_F(MountTest, LostIsThereEvenWithoutOrphans) {
    Use("disk\npartition first=63 count=40000\nvolume SYS spb=8 blocks=4000\nfile A.TXT size=1\n");
    MountVolume(0);
    EXPECT_EQ(Listing(), Expected("SYS"));
    EXPECT_EQ(nw::Mounted().folderCount, 1u);
    EXPECT_NE(ActivityLog().find("No of Folders Found : 1\r\nNo of Files Found : 1"), std::string::npos);
}

TEST_F(MountTest, StopDuringTheLostFolderPhaseEndsItAndTheMountCompletes) {
    Use(kOrphans);
    auto& w = job::Wizard();
    controls.onProgress = [&](int percent) {
        if (controls.status.back() == "Searching Lost Folders" && percent > 0) w.lostFolderScanActive = 0;
    };
    MountVolume(0);
    // Only O1 was examined before the stop.
    EXPECT_EQ(FindRecord("O1")->parentNumber, nw::kLostFolderNumber);
    EXPECT_EQ(FindRecord("O2")->parentNumber, 4712u);
    EXPECT_EQ(FindRecord("O3")->parentNumber, 4713u);
    EXPECT_EQ(controls.stopButton, (std::vector<bool>{true, false}));
    EXPECT_EQ(controls.layouts, (std::vector<int>{5, 6}));
    EXPECT_NE(ActivityLog().find("No of Folders Found : 6"), std::string::npos);
}

// ---- bounds --------------------------------------------------------------------------

TEST_F(MountTest, FileChainsThatLoopOrLeaveTheVolumeEnd) {
    Use(R"(disk seed=14
partition first=63 count=40000
volume SYS spb=8 blocks=4000 patch-fat1=1001:1:1000,2001:1:99999
file LOOP.BIN size=8192 blocks=1000,1001 dirsize=1000000
file OUT.BIN size=8192 blocks=2000,2001 dirsize=1000000
file SHORT.BIN size=8192 blocks=3000,3001 dirsize=8292
)");
    MountVolume(0);
    const auto& e = image.volumes[0].entries;
    std::vector<std::uint8_t> loop = nw::ReadFileBytes(*FindRecord("LOOP.BIN"));
    EXPECT_EQ(loop, e[0].stored);  // the repeated block ends the chain
    EXPECT_EQ(nw::ReadFileBytes(*FindRecord("OUT.BIN")), e[1].stored);
    // 100 bytes more than the chain holds: the two blocks, then the end marker.
    EXPECT_EQ(nw::ReadFileBytes(*FindRecord("SHORT.BIN")), e[2].stored);
}

TEST_F(MountTest, WholeFilePieceLargerThanABlockDeliversNothing) {
    Use(R"(disk seed=15
partition first=63 count=40000
volume SYS spb=8 blocks=4000
file P.BIN size=300 sub=whole dirsize=5000
file Q.BIN size=300 sub=whole
)");
    MountVolume(0);
    EXPECT_TRUE(nw::ReadFileBytes(*FindRecord("P.BIN")).empty());
    EXPECT_EQ(nw::ReadFileBytes(*FindRecord("Q.BIN")), image.volumes[0].entries[1].stored);
}

TEST_F(MountTest, ReaderStopsWhenAskedAndReportsWholeBlocks) {
    Use("disk seed=16\npartition first=63 count=40000\nvolume SYS spb=8 blocks=4000\nfile A.BIN size=20000\n");
    MountVolume(0);
    struct Consumer : nw::FileDataConsumer {
        bool ShouldStop() override { return blocks == 2; }
        void Deliver(const std::uint8_t*, std::uint32_t n) override { bytes += n; }
        void BlockFinished() override { ++blocks; }
        std::uint64_t bytes = 0;
        int blocks = 0;
    } c;
    EXPECT_EQ(nw::ReadFileData(FindRecord("A.BIN")->firstBlock, 20000, c), 8192u);
    EXPECT_EQ(c.bytes, 8192u);
}

TEST_F(MountTest, VolumeBeyondSector2Pow32IsReadWithFullSectorNumbers) {
    // The partition starts near the end of the 32-bit sector range, so the
    // volume's blocks lie past sector 2^32.
    Use(R"(disk seed=17
partition first=4294966000 count=40000
volume FAR spb=8 blocks=4000 det1=300,301 det2=400,401
folder DIR
file A.BIN in=DIR size=20000 blocks=2000,2001,2002,2003,2004
file B.BIN in=DIR size=700 sub=tail
)");
    ASSERT_GT(image.volumes[0].startSector + 300 * 8, 0xFFFFFFFFull);
    MountVolume(0);
    EXPECT_EQ(Listing(), Expected("FAR"));
    EXPECT_GT(FindRecord("A.BIN")->det1Sector, 0xFFFFFFFFull);
}

}  // namespace
}  // namespace mounttest
