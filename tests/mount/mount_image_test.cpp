// Mounts of builder images compared with what the builder says a correct
// recovery shows and delivers.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>
#include <thread>

#include "MountFixture.h"
#include "app/EntryRows.h"

namespace mounttest {
namespace {

std::string SampleDescription() {
    const auto src = std::filesystem::path(TARVINE_SOURCE_DIR);
    std::ifstream f(src / "tools" / "nwimage" / "sample.nwd");
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

TEST_F(MountTest, SampleDiskShowsAndDeliversWhatTheManifestSays) {
    Use(SampleDescription());
    ASSERT_EQ(image.volumes.size(), 3u);
    // SYS: 11 folders declared (orphans and the parent cycle included) plus LOST.
    const std::uint32_t folders[] = {12, 5, 3}, files[] = {22, 8, 5};
    for (std::size_t k = 0; k < image.volumes.size(); ++k) {
        MountVolume(k);
        EXPECT_EQ(Listing(), Expected(image.volumes[k].name)) << "volume " << image.volumes[k].name;
        EXPECT_EQ(volume.mountedMark, 1);
        EXPECT_EQ(result.folderCount, folders[k]);
        EXPECT_EQ(result.fileCount, files[k]);
        EXPECT_EQ(volume.folderCount, folders[k]);
        EXPECT_EQ(volume.tree.RootText(), image.volumes[k].name);
        if (k != 0) continue;
        // The parent cycle LOOPA/LOOPB is cut at LOOPA, the first of the two
        // on the disk, and its file can be found and read.
        nw::PathMatch m;
        ASSERT_TRUE(nw::FindEntryByPath(volume, "LOST\\LOOPA\\LOOPB", &m));
        ASSERT_TRUE(nw::FindEntryByPath(volume, "LOST\\LOOPA\\HIDDEN.TXT", &m));
        const std::vector<std::uint8_t> hidden = ReadFileBytes(*m.record);
        EXPECT_EQ(std::string(hidden.begin(), hidden.end()), "Reachable only through a parent cycle.\r\n");
    }
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
    // The entry in the last slot, its name list empty, keeps its short name.
    EXPECT_NE(FindRecord("LAST.TXT"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(AllBlockSizes, BlockSizeTest, ::testing::Values(8, 16, 32, 64, 128));

TEST_F(MountTest, BadSectorsReadAsZerosWithoutAPromptAndTheRestIsIntact) {
    testutil::CountingBadSectorPrompt badPrompt;
    badPrompt.answer = disk::kSkipAll;
    disks.policy.SetPrompt(&badPrompt);
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

    const nw::EntryRecord* big = FindRecord("BIG.BIN");
    ASSERT_NE(big, nullptr);
    std::vector<std::uint8_t> want = image.volumes[0].entries[1].stored;
    std::fill(want.begin() + 10 * 512, want.begin() + 13 * 512, 0);
    nw::FileReader fileReader(volume, reader);
    EXPECT_EQ(fileReader.ReadFileBytes(*big), want);
    EXPECT_EQ(fileReader.UnreadableBytes(), 3u * 512);  // the three sectors delivered as zeros
    EXPECT_EQ(fileReader.ReadFileBytes(*FindRecord("OK.BIN")), image.volumes[0].entries[2].stored);
    EXPECT_EQ(fileReader.UnreadableBytes(), 0u);
    EXPECT_EQ(badPrompt.asked, 0);  // the session's answer was already "Retry All"
    disks.policy.SetPrompt(nullptr);
}

// DET copy 1 at block 300, copy 2 at block 400 of a volume that starts at
// sector 63 + 32 + 128 + 128 = 351: copy 1 lies at sectors 2751..2758, copy
// 2 at 3551..3558.
std::string TwelveFiles(const std::string& damage) {
    std::ostringstream d;
    d << "disk seed=3\npartition first=63 count=40000\nvolume SYS spb=8 blocks=4000 det1=300 det2=400\n";
    for (int i = 0; i < 12; ++i) d << "file F" << i << ".TXT size=100\n";
    d << damage;
    return d.str();
}

TEST_F(MountTest, BadDirectorySectorLosesOnlyItsOwnEntries) {
    // Entry 0 of the DET is its header; the sector at offset 1 holds entries
    // 4..7. Unreadable in copy 1 only, copy 2 gives them.
    Use(TwelveFiles("bad det=SYS block=0 offset=1 count=1\n"), true);
    MountVolume(0);
    EXPECT_EQ(Listing(), Expected("SYS"));
    ASSERT_NE(FindRecord("F3.TXT"), nullptr);
    EXPECT_EQ(FindRecord("F3.TXT")->det1Sector, 2752u);
    EXPECT_EQ(FindRecord("F3.TXT")->det2Sector, 3552u);

    // Unreadable in both copies, they are lost; the rest is not.
    Use(TwelveFiles("bad det=SYS block=0 offset=1 count=1\nbad sector=3552 count=1\n"), true);
    MountVolume(0);
    std::vector<std::string> names;
    for (const nw::EntryRecord& r : volume.FileList) names.push_back(r.name);
    EXPECT_EQ(names, (std::vector<std::string>{"F0.TXT", "F1.TXT", "F2.TXT", "F7.TXT", "F8.TXT", "F9.TXT",
                                               "F10.TXT", "F11.TXT"}));
    EXPECT_FALSE(result.directoryUnreadable);
}

// Every record names its entry's sector in copy 1 and in copy 2.
void ExpectSectorsAsBuilt(const nw::MountedVolume& volume, const nwimage::BuiltVolume& built) {
    ASSERT_EQ(volume.FileList.Size(), built.entries.size());
    for (std::size_t i = 0; i < built.entries.size(); ++i) {
        EXPECT_EQ(volume.FileList[i].det1Sector, built.entries[i].det1Sector) << i;
        EXPECT_EQ(volume.FileList[i].det2Sector, built.entries[i].det2Sector) << i;
    }
}

TEST_F(MountTest, DetCopy1ThatCannotBeReadIsReplacedByCopy2) {
    Use(TwelveFiles("bad det=SYS block=0 count=8\n"), true);
    MountVolume(0);
    EXPECT_EQ(Listing(), Expected("SYS"));
    EXPECT_FALSE(result.directoryUnreadable);
    ExpectSectorsAsBuilt(volume, image.volumes[0]);
    // F0.TXT is entry 1: sector 0 of the block in both copies.
    ASSERT_NE(FindRecord("F0.TXT"), nullptr);
    EXPECT_EQ(FindRecord("F0.TXT")->det1Sector, 2751u);
    EXPECT_EQ(FindRecord("F0.TXT")->det2Sector, 3551u);

    // Copy 1's first block beyond the volume: its chain cannot be loaded.
    // Copy 2 is then the only copy known and takes the first place.
    volume.currentVolume = DescriptorOf(image.volumes[0]);
    volume.currentVolume.det1FirstBlock = 4000;
    result = nw::Mount(volume, reader, report);
    ASSERT_TRUE(result.mounted);
    EXPECT_EQ(Listing(), Expected("SYS"));
    ASSERT_NE(FindRecord("F0.TXT"), nullptr);
    EXPECT_EQ(FindRecord("F0.TXT")->det1Sector, 3551u);
    EXPECT_EQ(FindRecord("F0.TXT")->det2Sector, 0u);
}

TEST_F(MountTest, DetCopy1WithoutItsHeaderIsReplacedByCopy2) {
    // Copy 1 zeroed: it reads, but holds no directory.
    UseAltered(TwelveFiles(""), [](nwimage::Image& img) {
        for (std::uint64_t s = 2751; s <= 2758; ++s) img.sectors.erase(s);
    });
    ASSERT_EQ(image.volumes[0].det1.front(), 300u);
    MountVolume(0);
    EXPECT_EQ(Listing(), Expected("SYS"));
    EXPECT_FALSE(result.directoryUnreadable);
    ExpectSectorsAsBuilt(volume, image.volumes[0]);
    EXPECT_TRUE(report.asked.empty());
}

TEST_F(MountTest, DirectoryTablesUnreadableInBothCopiesAreReported) {
    Use(TwelveFiles("bad det=SYS block=0 count=8\nbad sector=3551 count=8\n"), true);
    MountVolume(0);
    EXPECT_TRUE(result.directoryUnreadable);
    EXPECT_EQ(result.warning, "The directory tables of volume SYS could not be read in either copy: "
                              "no folders or files can be shown.");
    EXPECT_EQ(result.fileCount, 0u);
    EXPECT_EQ(result.folderCount, 1u);  // LOST
    EXPECT_EQ(report.status.back(), "SYS:\\");

    // A readable volume that holds nothing is not reported.
    Use("disk\npartition first=63 count=40000\nvolume EMPTY spb=8 blocks=4000\n");
    MountVolume(0);
    EXPECT_EQ(result.fileCount, 0u);
    EXPECT_FALSE(result.directoryUnreadable);
    EXPECT_EQ(result.warning, "");
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
    report.answer = 2;
    MountVolume(0);
    ASSERT_EQ(report.asked.size(), 1u);
    EXPECT_NE(report.asked[0].first, report.asked[0].second);
    EXPECT_EQ(report.asked[0].second, 2u);  // 1 + the one entry that matched before the break
    EXPECT_EQ(volume.fatChoice, 2);
    EXPECT_EQ(volume.FatBlockList.size(), 2u);  // no end marker: the chain broke
    EXPECT_EQ(Listing(), Expected("SYS", {2}));
    // LATE.BIN's FAT entries lie in a FAT block copy 2 no longer reaches.
    EXPECT_EQ(ReadFileBytes(*FindRecord("LATE.BIN")).size(), 4096u);
}

TEST_F(MountTest, CancelOnTheFatQuestionMountsFat1) {
    Use(kTwoFats);
    report.answer = 0;
    MountVolume(0);
    ASSERT_EQ(report.asked.size(), 1u);
    EXPECT_EQ(volume.fatChoice, 1);
    EXPECT_EQ(volume.FatBlockList.back().block, nw::kChainEnd);
    EXPECT_EQ(Listing(), Expected("SYS", {1}));
    EXPECT_EQ(ReadFileBytes(*FindRecord("LATE.BIN")), image.volumes[0].entries[2].stored);
}

TEST_F(MountTest, EqualFatChainLengthsMountWithoutAQuestionEvenWhenContentsDiffer) {
    Use(R"(disk seed=12
partition first=63 count=40000
volume SYS spb=8 blocks=4000 patch-fat2=3500:0:3501
file A.BIN size=9000
)");
    MountVolume(0);
    EXPECT_TRUE(report.asked.empty());
    EXPECT_EQ(volume.fatChoice, 0);
    EXPECT_EQ(Listing(), Expected("SYS"));
}

// Copy 2 is one block longer than the FAT needs; the blocks of both copies
// hold the same entries.
TEST_F(MountTest, FatChainsOfUnequalLengthButEqualContentMountWithoutAQuestion) {
    Use(R"(disk seed=20
partition first=63 count=40000
volume SYS spb=8 blocks=4000 fat2=100-108
file A.BIN size=9000
)");
    ASSERT_EQ(image.volumes[0].fat1.size(), 8u);  // ceil(ceil(4000 / 64) / 8)
    MountVolume(0);
    EXPECT_TRUE(report.asked.empty());
    EXPECT_EQ(volume.FatBlockList.size(), 9u);  // FAT1: blocks 0..7 and the end marker
    EXPECT_EQ(Listing(), Expected("SYS"));
}

// 300,000 blocks of 8 sectors: the FAT takes ceil(300000 / 64) = 4688
// sectors, 586 blocks. Copy 1 lies at blocks 0..585, DET copy 1 at 586 and
// copy 2 at 587..1172, so copy 2's own entries lie in its second and third
// blocks (FAT sectors 9..18). FAR.BIN's entries lie in FAT block 566.
std::string LargeVolume(const std::string& damage) {
    return "disk seed=19\npartition first=63 count=2400400\nvolume BIG spb=8 blocks=300000 " + damage +
           "\nfile A.BIN size=30000\nfile FAR.BIN size=9000 blocks=290000,290001,290002\n";
}

// Node 0 holds the first block, node k >= 1 the block the entry of sequence
// k - 1 names; the last node the end marker.
nw::BlockList ContiguousFatChain(std::uint32_t first, std::uint32_t blocks) {
    nw::BlockList list{{0, first}};
    for (std::uint32_t k = 1; k < blocks; ++k) list.push_back({k - 1, first + k});
    list.push_back({blocks - 1, nw::kChainEnd});
    return list;
}

bool SameNodes(const nw::BlockList& a, const nw::BlockList& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const auto& x, const auto& y) {
               return x.sequence == y.sequence && x.block == y.block;
           });
}

TEST_F(MountTest, HealthyCopiesOfALargeVolumeMountWithoutAQuestion) {
    Use(LargeVolume(""));
    ASSERT_EQ(image.volumes[0].fat2.front(), 587u);
    ASSERT_EQ(image.volumes[0].fat2.size(), 586u);
    MountVolume(0);
    EXPECT_TRUE(report.asked.empty());
    EXPECT_TRUE(SameNodes(volume.FatBlockList, ContiguousFatChain(0, 586)));
    EXPECT_EQ(ReadFileBytes(*FindRecord("FAR.BIN")), image.volumes[0].entries[1].stored);
}

TEST_F(MountTest, LargeVolumeWithABrokenCopy1MountsTheWholeCopy2) {
    Use(LargeVolume("break-fat1=300"));
    report.answer = 2;
    MountVolume(0);
    // Copy 1 keeps 300 blocks (1 + 299 matched entries); copy 2 all 586.
    ASSERT_EQ(report.asked.size(), 1u);
    EXPECT_EQ(report.asked[0], std::make_pair(300u, 587u));
    EXPECT_EQ(volume.fatChoice, 2);
    EXPECT_TRUE(SameNodes(volume.FatBlockList, ContiguousFatChain(587, 586)));
    EXPECT_EQ(ReadFileBytes(*FindRecord("A.BIN")), image.volumes[0].entries[0].stored);
    EXPECT_EQ(ReadFileBytes(*FindRecord("FAR.BIN")), image.volumes[0].entries[1].stored);
}

// ---- directory chains --------------------------------------------------------------

TEST_F(MountTest, TwoBlockDirectoryShowsBothBlockIndexesAndReadsEveryEntry) {
    std::ostringstream d;
    d << "disk seed=5\npartition first=63 count=40000\nvolume SYS spb=8 blocks=4000 det-blocks=2\n";
    for (int i = 0; i < 40; ++i) d << "file F" << i << ".TXT size=10\n";
    Use(d.str());
    MountVolume(0);
    const auto& t = volume;
    EXPECT_EQ(t.detBlockCount, 2u);
    ASSERT_EQ(t.Det1BlockList.size(), 3u);
    EXPECT_TRUE(nw::IsDetChainEnd(t.Det1BlockList.back().block));
    std::vector<std::string> mounting;
    for (const std::string& s : report.status)
        if (s.rfind("Mounting Volume ", 0) == 0) mounting.push_back(s);
    EXPECT_EQ(mounting, (std::vector<std::string>{"Mounting Volume 0 / 2....", "Mounting Volume 1 / 2...."}));
    EXPECT_EQ(volume.FileList.Size(), 40u);
    EXPECT_EQ(report.status.front(), "Loading FAT 1....");
    EXPECT_EQ(report.status.back(), "SYS:\\");
}

TEST_F(MountTest, BrokenDirectoryChainKeepsTheBlocksReachedAndProgressStopsAt100) {
    std::ostringstream d;
    d << "disk seed=6\npartition first=63 count=40000\nvolume SYS spb=8 blocks=4000 det-blocks=4 break-det=2\n";
    for (int i = 0; i < 100; ++i) d << "file F" << i << ".TXT size=10\n";
    Use(d.str());
    MountVolume(0);
    const auto& t = volume;
    EXPECT_EQ(t.detBlockCount, 1u);
    EXPECT_EQ(t.Det1BlockList.size(), 2u);
    // Both kept blocks are read: 2 blocks x 8 sectors x 4 entries, minus the header.
    EXPECT_EQ(volume.FileList.Size(), 63u);
    EXPECT_EQ(Listing(), Expected("SYS"));
    ASSERT_FALSE(report.progress.empty());
    EXPECT_LE(*std::max_element(report.progress.begin(), report.progress.end()), 100);
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
        const nw::EntryRecord* r = volume.FileList.FindByOrdinal(static_cast<std::uint32_t>(i + 1));
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
    EXPECT_EQ(volume.SuballocationTable, image.volumes[0].suballoc);
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
    EXPECT_EQ(Listing(), Expected("SYS"));
    for (const char* name : {"O1", "O2", "O3"}) EXPECT_EQ(FindRecord(name)->parentNumber, nw::kLostFolderNumber);
    EXPECT_EQ(FindRecord("KID")->parentNumber, 100u);
    EXPECT_EQ(FindRecord("NOWHERE.TXT")->parentNumber, 9999u);  // kept in the list, shown nowhere
    // LOST is the last folder and the last child of the root.
    EXPECT_EQ(volume.FolderList[volume.FolderList.Size() - 1].name, "LOST");
    std::uint32_t last = nw::kNoNode;
    for (std::uint32_t c = volume.tree.FirstChild(nw::kRootNode); c != nw::kNoNode; c = volume.tree.NextSibling(c))
        last = c;
    EXPECT_EQ(nw::NodeText(volume, last), "LOST");
    EXPECT_EQ(volume.tree.FolderNodeCount(), 6u);
    // The root lists HOME, LOST.
    const std::vector<app::Row> rows = app::FolderRows(volume, nw::kRootFolderNumber);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].columns[0], "LOST");
    EXPECT_EQ(rows[1].node, last);
}

TEST_F(MountTest, LostIsThereEvenWithoutOrphans) {
    Use("disk\npartition first=63 count=40000\nvolume SYS spb=8 blocks=4000\nfile A.TXT size=1\n");
    MountVolume(0);
    EXPECT_EQ(Listing(), Expected("SYS"));
    EXPECT_EQ(volume.folderCount, 1u);
    EXPECT_EQ(result.folderCount, 1u);
    EXPECT_EQ(result.fileCount, 1u);
}

TEST_F(MountTest, StopDuringTheLostFolderPhaseEndsItAndTheMountCompletes) {
    Use(kOrphans);
    report.onProgress = [&](int percent) {
        if (report.status.back() == "Searching Lost Folders" && percent > 0) stopLostScan = true;
    };
    MountVolume(0);
    // Only O1 was examined before the stop.
    EXPECT_EQ(FindRecord("O1")->parentNumber, nw::kLostFolderNumber);
    EXPECT_EQ(FindRecord("O2")->parentNumber, 4712u);
    EXPECT_EQ(FindRecord("O3")->parentNumber, 4713u);
    EXPECT_EQ(report.lostFolderPhase, (std::vector<bool>{true, false}));
    EXPECT_TRUE(result.lostScanStopped);
    EXPECT_EQ(result.folderCount, 6u);
    EXPECT_EQ(volume.tree.FolderNodeCount(), 4u);  // the tree is built all the same: HOME, LOST, O1, KID
}

TEST_F(MountTest, OutOfMemoryEndsTheMountWithItsReasonAndKeepsNothing) {
    Use(kOrphans);
    struct FailingReport : testutil::RecordingMountReport {
        void Status(const std::string& text) override {
            if (text.rfind("Mounting Volume ", 0) == 0) throw std::bad_alloc();
        }
    } failing;
    volume.currentVolume = DescriptorOf(image.volumes.at(0));
    const nw::MountResult r = nw::Mount(volume, reader, failing);
    EXPECT_FALSE(r.mounted);
    EXPECT_EQ(r.failure, "Out Of Memory");
    EXPECT_TRUE(volume.FolderList.Empty());
    EXPECT_TRUE(volume.FatBlockList.empty());
    EXPECT_EQ(volume.tree.Size(), 1u);
    // The next mount of the same objects works.
    MountVolume(0);
    EXPECT_EQ(Listing(), Expected("SYS"));
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
    std::vector<std::uint8_t> loop = ReadFileBytes(*FindRecord("LOOP.BIN"));
    EXPECT_EQ(loop, e[0].stored);  // the repeated block ends the chain
    EXPECT_EQ(ReadFileBytes(*FindRecord("OUT.BIN")), e[1].stored);
    // 100 bytes more than the chain holds: the two blocks, then the end marker.
    EXPECT_EQ(ReadFileBytes(*FindRecord("SHORT.BIN")), e[2].stored);
}

TEST_F(MountTest, WholeFilePieceLargerThanABlockDeliversNothing) {
    Use(R"(disk seed=15
partition first=63 count=40000
volume SYS spb=8 blocks=4000
file P.BIN size=300 sub=whole dirsize=5000
file Q.BIN size=300 sub=whole
)");
    MountVolume(0);
    EXPECT_TRUE(ReadFileBytes(*FindRecord("P.BIN")).empty());
    EXPECT_EQ(ReadFileBytes(*FindRecord("Q.BIN")), image.volumes[0].entries[1].stored);
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
    nw::FileReader fileReader(volume, reader);
    EXPECT_EQ(fileReader.ReadFileData(FindRecord("A.BIN")->firstBlock, 20000, c), 8192u);
    EXPECT_EQ(c.bytes, 8192u);
}

TEST_F(MountTest, TwoReadersOnTwoThreadsReadTheirOwnFiles) {
    // Each file's chain lies in its own FAT sectors and interleaves with the
    // other's blocks; a piece tail makes both readers rebuild their chains.
    Use(R"(disk seed=18
partition first=63 count=40000
volume SYS spb=8 blocks=4000
file A.BIN size=33468 blocks=100,300,102,302,104,304,106,306 sub=tail
file B.BIN size=33468 blocks=200,400,202,402,204,404,206,406 sub=tail
)");
    MountVolume(0);
    const nw::EntryRecord* files[] = {FindRecord("A.BIN"), FindRecord("B.BIN")};
    ASSERT_NE(files[0], nullptr);
    ASSERT_NE(files[1], nullptr);
    bool same[2] = {true, true};
    auto readMany = [&](int k) {
        nw::FileReader fileReader(volume, reader);
        for (int round = 0; round < 50; ++round)
            same[k] = same[k] && fileReader.ReadFileBytes(*files[k]) == image.volumes[0].entries[k].stored;
    };
    std::thread a(readMany, 0), b(readMany, 1);
    a.join();
    b.join();
    EXPECT_TRUE(same[0]);
    EXPECT_TRUE(same[1]);
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
