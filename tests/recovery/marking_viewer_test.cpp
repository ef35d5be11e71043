// Compressed-file marking on builder images, and file viewing.
#include <sys/stat.h>

#include <cstring>
#include <fstream>

#include "RecoveryFixture.h"
#include "netware/FileReader.h"
#include "netware/VolumeSearch.h"
#include "recovery/CompressedMarking.h"
#include "recovery/FileViewer.h"
#include "workflow/Disks.h"
#include "workflow/Files.h"
#include "workflow/Search.h"
#include "workflow/Volume.h"
#include "workflow/Worker.h"

namespace rectest {
namespace {

struct StatusView : recovery::MarkingView {
    void SetStatusText(const std::string& text) override { texts.push_back(text); }
    void EnableClose() override { ++closeEnabled; }
    std::vector<std::string> texts;
    int closeEnabled = 0;
};

std::string MarkingDisk() {
    std::string d = R"(disk seed=3
partition first=63 count=30000
volume V spb=8 blocks=3000 det-blocks=3 det2-length=1
file SHRUNK.DAT size=9000 compressed=unmarked expanded=30000
file NEIGHBOUR.TXT text="next to it\r\n"
file MARKED.DAT size=3000 compressed=marked expanded=7000
file OTHER.DAT size=5000 compressed=unmarked expanded=8000 dirsize=5001
file PLAIN.BIN size=2000
)";
    // Push one more unmarked file beyond the part that copy 2 mirrors.
    for (int i = 0; i < 40; ++i) d += "file F" + std::to_string(i) + ".TXT text=\"filler\"\n";
    d += "file LATE.DAT size=4000 compressed=unmarked expanded=12000\n";
    return d;
}

class MarkingTest : public RecoveryTest {
protected:
    std::vector<std::uint8_t> SectorOfImage(std::uint64_t sector) {
        std::ifstream f(imagePath, std::ios::binary);
        f.seekg(static_cast<std::streamoff>(sector * 512));
        std::vector<std::uint8_t> s(512);
        f.read(reinterpret_cast<char*>(s.data()), 512);
        return s;
    }
    const nw::EntryRecord* File(const std::string& name) {
        for (const auto& r : volume.FileList)
            if (r.name == name) return &r;
        return nullptr;
    }
    recovery::MarkingResult Mark(bool write, recovery::MarkingView* view) {
        return recovery::RunMarkingPass(volume, Reader(), write, view);
    }
};

TEST_F(MarkingTest, MarksBothDirectoryCopiesAndLeavesEverythingElse) {
    UseAndMount(MarkingDisk());
    const nw::EntryRecord shrunk = *File("SHRUNK.DAT");
    const nw::EntryRecord late = *File("LATE.DAT");
    ASSERT_NE(shrunk.det2Sector, 0u);
    ASSERT_EQ(late.det2Sector, 0u);
    // Copy 2 of the sector differs from copy 1 in another entry's date: each
    // copy must keep its own other entries.
    const unsigned other = shrunk.slot == 0 ? 1 : 0;
    {
        std::fstream f(imagePath, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(shrunk.det2Sector * 512 + 128 * other + 0x18));
        f.write("\x21\x43\x65\x07", 4);
    }
    disks.disks.DetachAll();
    ASSERT_EQ(disks.Attach(imagePath), "");
    const auto det1Before = SectorOfImage(shrunk.det1Sector);
    const auto det2Before = SectorOfImage(shrunk.det2Sector);
    ASSERT_NE(det1Before, det2Before);

    StatusView status;
    const recovery::MarkingResult dry = Mark(false, &status);
    ASSERT_EQ(dry.candidates.size(), 2u);
    EXPECT_EQ(dry.candidates[0].name, "SHRUNK.DAT");
    EXPECT_EQ(dry.candidates[0].markedSize, 30000u);
    EXPECT_EQ(dry.candidates[1].name, "LATE.DAT");
    EXPECT_EQ(SectorOfImage(shrunk.det1Sector), det1Before);  // a listing writes nothing

    status.texts.clear();
    const recovery::MarkingResult done = Mark(true, &status);
    EXPECT_EQ(done.failures, 0u);
    ASSERT_EQ(done.candidates.size(), 2u);
    EXPECT_TRUE(done.candidates[0].changed);
    EXPECT_TRUE(done.candidates[1].changed);
    EXPECT_EQ(status.texts.front(), "SHRUNK.DAT");
    EXPECT_EQ(status.texts.back(), recovery::kMarkingCompletedText);
    EXPECT_EQ(status.closeEnabled, 2);  // once per pass

    const auto det1 = SectorOfImage(shrunk.det1Sector);
    const std::uint8_t* e = det1.data() + 128 * shrunk.slot;
    EXPECT_EQ(e[7], 4);
    EXPECT_EQ(nw::LoadLe32(e + 0x30), 30000u);
    // Only those five bytes changed, in each copy's own sector.
    for (auto [sector, before] : {std::pair{shrunk.det1Sector, det1Before}, std::pair{shrunk.det2Sector, det2Before}}) {
        before[128 * shrunk.slot + 7] = 4;
        nw::StoreLe32(before.data() + 128 * shrunk.slot + 0x30, 30000);
        EXPECT_EQ(SectorOfImage(sector), before) << sector;
    }
    EXPECT_EQ(SectorOfImage(late.det1Sector)[128 * late.slot + 7], 4);

    // The records keep their old values until the next mount.
    EXPECT_EQ(File("SHRUNK.DAT")->size, 9000u);
    Remount();
    const nw::EntryRecord* after = File("SHRUNK.DAT");
    EXPECT_TRUE(after->IsCompressed());
    EXPECT_EQ(after->size, 30000u);
    EXPECT_FALSE(File("OTHER.DAT")->IsCompressed());
    EXPECT_TRUE(Mark(true, nullptr).candidates.empty());

    // Saved as stored: the 9000 bytes that lie on the volume.
    CheckAll();
    Save();
    EXPECT_EQ(fs::file_size(destination + "/SHRUNK.DAT"), 9000u);
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(MarkingTest, NothingIsWrittenWithoutDirectorySectorsOrIntoASectorThatNoLongerHoldsTheEntry) {
    UseAndMount(MarkingDisk());
    for (auto& r : volume.FileList) r.det1Sector = 0;  // as after a log load
    EXPECT_TRUE(Mark(true, nullptr).candidates.empty());

    Remount();
    nw::EntryRecord* shrunk = nullptr;
    for (auto& r : volume.FileList)
        if (r.name == "SHRUNK.DAT") shrunk = &r;
    ASSERT_NE(shrunk, nullptr);
    const std::uint64_t wrong = shrunk->det1Sector + 1;
    const auto before = SectorOfImage(wrong);
    shrunk->det1Sector = wrong;
    StatusView status;
    const recovery::MarkingResult r = Mark(true, &status);
    EXPECT_EQ(r.failures, 1u);
    EXPECT_FALSE(r.candidates.at(0).changed);
    EXPECT_EQ(SectorOfImage(wrong), before);
    EXPECT_NE(status.texts.back().find("could not be marked"), std::string::npos);
}

// SHRUNK.DAT's entry is slot 1 of the first DET sector of each copy: the
// volume starts at sector 351 (partition at 63), DET copy 1 at block 30 and
// copy 2 at block 40, 8 sectors a block.
constexpr std::uint64_t kCopy1Entry = (351 + 30 * 8) * 512 + 128;
constexpr std::uint64_t kCopy2Entry = (351 + 40 * 8) * 512 + 128;

const char* kLiteralMarkingDisk = R"(disk seed=3
partition first=63 count=20000
volume SYS spb=8 blocks=2000 det1=30 det2=40
file SHRUNK.DAT size=9000 compressed=unmarked expanded=30000 attr=0x21000000
file PLAIN.BIN size=2000
)";

class LiteralMarkingTest : public MarkingTest {
protected:
    void SetUp() override {
        MarkingTest::SetUp();
        UseAndMount(kLiteralMarkingDisk);
        const std::string bytes = testutil::ReadFile(imagePath);
        for (std::uint64_t at : {kCopy1Entry, kCopy2Entry}) {
            ASSERT_EQ(bytes.substr(at + 12, 10), "SHRUNK.DAT") << at;
            ASSERT_EQ(nw::LoadLe32(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at + 0x30), 9000u);
        }
    }
    void Poke(std::uint64_t offset, std::uint32_t value) {
        std::fstream f(imagePath, std::ios::in | std::ios::out | std::ios::binary);
        std::uint8_t le[4];
        nw::StoreLe32(le, value);
        f.seekp(static_cast<std::streamoff>(offset));
        f.write(reinterpret_cast<const char*>(le), 4);
        f.close();
        disks.disks.DetachAll();
        ASSERT_EQ(disks.Attach(imagePath), "");
    }
};

TEST_F(LiteralMarkingTest, EitherCopyFailingItsCheckLeavesTheWholeImageAsItWas) {
    for (std::uint64_t altered : {kCopy2Entry, kCopy1Entry}) {
        SCOPED_TRACE(altered);
        UseAndMount(kLiteralMarkingDisk);
        Poke(altered + 0x34, 99);  // that copy's entry now names another first block
        const std::string before = testutil::ReadFile(imagePath);
        const recovery::MarkingResult r = Mark(true, nullptr);
        ASSERT_EQ(r.candidates.size(), 1u);
        EXPECT_FALSE(r.candidates[0].changed);
        EXPECT_EQ(r.failures, 1u);
        const std::string sector = std::to_string(altered / 512);
        EXPECT_NE(r.candidates[0].failure.find("directory sector " + sector + " no longer holds the entry"),
                  std::string::npos)
            << r.candidates[0].failure;
        EXPECT_TRUE(testutil::ReadFile(imagePath) == before) << "the image was written";
    }
}

TEST_F(LiteralMarkingTest, MarkingSetsTheCompressedBitAndKeepsTheEntrysOtherAttributes) {
    std::string expected = testutil::ReadFile(imagePath);
    const recovery::MarkingResult r = Mark(true, nullptr);
    ASSERT_EQ(r.candidates.size(), 1u);
    EXPECT_TRUE(r.candidates[0].changed) << r.candidates[0].failure;
    const std::string after = testutil::ReadFile(imagePath);
    for (std::uint64_t at : {kCopy1Entry, kCopy2Entry}) {
        EXPECT_EQ(static_cast<std::uint8_t>(after[at + 7]), 0x25) << at;  // 0x21 with 0x04 added
        EXPECT_EQ(nw::LoadLe32(reinterpret_cast<const std::uint8_t*>(after.data()) + at + 0x30), 30000u) << at;
        expected[at + 7] = 0x25;
        nw::StoreLe32(reinterpret_cast<std::uint8_t*>(expected.data()) + at + 0x30, 30000);
    }
    EXPECT_TRUE(after == expected) << "bytes other than the two entries' mark and size changed";
}

TEST_F(MarkingTest, ACopyThatCannotBeWrittenPutsTheOtherCopyBack) {
    // BIG keeps DET copy 1 on disk 0 and copy 2 in segment 2 on disk 1,
    // which is attached as a split set: read, but never written.
    const std::vector<nwimage::Image> built = nwimage::BuildDisks(nwimage::ParseDisks(R"(disk 0 seed=5
partition first=100 count=4000
segment BIG 1 blocks=100
volume BIG blocks=120 det1=119,120 det2=250,251
file PACK.DAT size=3000 compressed=unmarked expanded=9000 blocks=10
disk 1
partition first=63 count=2000
segment BIG 2 blocks=80
)"));
    const std::string d0 = dir.File("span0.img"), whole1 = dir.File("span1.whole");
    nwimage::WriteImageFile(built[0], d0);
    nwimage::WriteImageFile(built[1], whole1);
    const std::string bytes1 = testutil::ReadFile(whole1);
    for (std::size_t at = 0, n = 1; at < bytes1.size(); at += 512 * 1024, ++n)
        testutil::WriteFile(dir.File("span1.00" + std::to_string(n)), bytes1.substr(at, 512 * 1024));
    ASSERT_EQ(disks.Attach(d0, "", 0), "");
    ASSERT_EQ(disks.Attach(dir.File("span1.001"), "", 1), "");
    const disk::SectorReader reader = Reader();
    nw::FoundVolumes found;
    testutil::RecordingSearchReport searchReport;
    nw::QuickVolumeSearch({&reader, 0}, found, searchReport);
    ASSERT_EQ(found.At(0).value().name, "BIG");
    volume.currentVolume = found.At(0).value();
    testutil::RecordingMountReport mountReport;
    ASSERT_TRUE(nw::Mount(volume, reader, mountReport).mounted);

    const std::string before0 = testutil::ReadFile(d0);
    const recovery::MarkingResult r = Mark(true, nullptr);
    ASSERT_EQ(r.candidates.size(), 1u);
    EXPECT_FALSE(r.candidates[0].changed);
    EXPECT_NE(r.candidates[0].failure.find("restored"), std::string::npos) << r.candidates[0].failure;
    EXPECT_TRUE(testutil::ReadFile(d0) == before0) << "copy 1 was left marked";
}

TEST_F(MarkingTest, TheCommandNeedsAnOpenVolumeAndRunsOnAWorker) {
    UseAndMount(MarkingDisk());
    workflow::MemorySettingsStore store;
    workflow::Session session(store);
    StatusView status;
    EXPECT_TRUE(workflow::RunMarkingPass(session, true, &status).candidates.empty());
    EXPECT_TRUE(status.texts.empty());

    recovery::MarkingResult result;
    workflow::Worker worker;
    ASSERT_TRUE(worker.Start([&] { result = Mark(true, &status); }));
    worker.Join();
    EXPECT_EQ(result.candidates.size(), 2u);
    EXPECT_EQ(status.texts.back(), recovery::kMarkingCompletedText);
}

struct RecordingOpener : recovery::FileOpener {
    recovery::OpenResult Open(const std::string& path) override {
        opened.push_back(path);
        return result;
    }
    void OpenWith(const std::string& path) override { openWith.push_back(path); }
    recovery::OpenResult result = recovery::OpenResult::Opened;
    std::vector<std::string> opened, openWith;
};

class ViewTest : public RecoveryTest {
protected:
    const nw::EntryRecord& File(const std::string& name) {
        for (const auto& r : volume.FileList)
            if (r.name == name) return r;
        throw std::runtime_error("no file " + name);
    }
    // Views through the engine; a refusal's message is what the user sees.
    recovery::ViewResult View(const nw::EntryRecord& r, std::string* path = nullptr) {
        folder.SetParent(temp);
        const recovery::ViewResult result = recovery::ViewFile(volume, Reader(), r, folder, opener, path);
        if (const char* text = recovery::ViewResultText(result)) messages.push_back(text);
        return result;
    }
    std::string temp = dir.File("tmp/view");
    recovery::PrivateViewFolder folder;
    RecordingOpener opener;
    std::vector<std::string> messages;
};

const char* kViewDisk = R"(partition first=63 count=20000
volume V spb=8 blocks=2000
file NOTES.TXT text="look at me\r\n"
file EMPTY.LOG size=0
file PACK.DAT size=3000 compressed=marked
file BIG.BIN size=50000
file ODD.XYZ text="odd"
file SMALL.BIN size=3000 sub=whole dirsize=9000
)";

TEST_F(ViewTest, CopiesTheFileUnderItsOwnNameAndOpensIt) {
    UseAndMount(kViewDisk);
    std::string path;
    ASSERT_EQ(View(File("BIG.BIN"), &path), recovery::ViewResult::Opened);
    EXPECT_EQ(fs::path(path).filename(), "BIG.BIN");
    EXPECT_EQ(fs::path(path).parent_path().parent_path(), fs::path(temp));
    EXPECT_EQ(opener.opened, std::vector<std::string>{path});
    const std::vector<std::uint8_t> bytes = nw::FileReader(volume, Reader()).ReadFileBytes(File("BIG.BIN"));
    EXPECT_EQ(testutil::ReadFile(path), std::string(bytes.begin(), bytes.end()));

    // Viewing again overwrites the copy; an empty file is opened too.
    testutil::WriteFile(path, std::string(70000, 'x'));
    ASSERT_EQ(View(File("BIG.BIN")), recovery::ViewResult::Opened);
    EXPECT_EQ(fs::file_size(path), 50000u);
    ASSERT_EQ(View(File("EMPTY.LOG"), &path), recovery::ViewResult::Opened);
    EXPECT_EQ(fs::file_size(path), 0u);
    EXPECT_TRUE(opener.openWith.empty());
}

TEST_F(ViewTest, WithoutAnAssociatedProgramTheChoiceIsOffered) {
    UseAndMount(kViewDisk);
    opener.result = recovery::OpenResult::NoAssociation;
    std::string path;
    View(File("ODD.XYZ"), &path);
    EXPECT_EQ(opener.openWith, std::vector<std::string>{path});
    opener.result = recovery::OpenResult::Failed;
    View(File("ODD.XYZ"));
    EXPECT_EQ(opener.openWith.size(), 1u);
    EXPECT_TRUE(messages.empty());
}

TEST_F(ViewTest, RefusalsAndCopiesThatAreNotOpened) {
    UseAndMount(kViewDisk);
    EXPECT_EQ(View(File("PACK.DAT")), recovery::ViewResult::Compressed);
    EXPECT_EQ(messages.back(), recovery::kCannotViewCompressedText);
    EXPECT_FALSE(fs::exists(dir.File("tmp")));  // refused before the folder was touched

    // A whole-file piece whose size is larger than a block: an empty copy, not opened.
    std::string path;
    EXPECT_EQ(View(File("SMALL.BIN"), &path), recovery::ViewResult::TooLargeForPiece);
    EXPECT_EQ(fs::file_size(path), 0u);
    EXPECT_TRUE(opener.opened.empty());

    // A folder so deep that the copy's path would pass the platform's limit.
    folder.Remove();
    temp = dir.File(std::string(4100, 'd'));
    EXPECT_EQ(View(File("ODD.XYZ")), recovery::ViewResult::PathTooLong);
    EXPECT_EQ(messages.back(), recovery::kViewPathTooLongText);
    EXPECT_TRUE(opener.opened.empty());
}

TEST_F(ViewTest, ASessionViewsIntoAPrivateFolderThatEndsWithIt) {
    image = nwimage::Build(nwimage::ParseDescription(kViewDisk));
    nwimage::WriteImageFile(image, dir.File("view.img"));
    // The shared temporary folder, with another user's link planted where
    // a copy of NOTES.TXT used to go.
    const std::string shared = dir.File("shared");
    fs::create_directories(shared);
    const std::string victim = dir.File("victim");
    testutil::WriteFile(victim, "keep");
    fs::create_symlink(victim, shared + "/NOTES.TXT");

    workflow::MemorySettingsStore store;
    auto session = std::make_unique<workflow::Session>(store);
    session->tempFolder = shared;
    std::string error;
    ASSERT_TRUE(workflow::AttachDisks(*session, {{dir.File("view.img"), ""}}, &error)) << error;
    ASSERT_TRUE(workflow::SelectDisk(*session, 0, &error)) << error;
    workflow::BeginMode(*session, workflow::kModeQuick);
    testutil::RecordingSearchReport searchReport;
    ASSERT_TRUE(workflow::RunQuickSearch(*session, searchReport).Found());
    ASSERT_TRUE(workflow::ChooseVolume(*session, 0));
    testutil::RecordingMountReport mountReport;
    ASSERT_TRUE(workflow::MountChosenVolume(*session, mountReport).mounted);
    auto indexOf = [&](const std::string& name) {
        for (std::size_t i = 0; i < session->mounted.FileList.Size(); ++i)
            if (session->mounted.FileList[i].name == name) return i;
        throw std::runtime_error("no file " + name);
    };

    const workflow::ViewOutcome notes = workflow::ViewFile(*session, indexOf("NOTES.TXT"), opener);
    EXPECT_TRUE(notes.opened);
    EXPECT_FALSE(notes.notice.has_value());
    EXPECT_EQ(testutil::ReadFile(victim), "keep");
    const fs::path folder = fs::path(notes.copyPath).parent_path();
    EXPECT_EQ(folder.parent_path(), fs::path(shared));
    EXPECT_EQ(testutil::ReadFile(notes.copyPath), "look at me\r\n");
    EXPECT_EQ(opener.opened, std::vector<std::string>{notes.copyPath});
    struct stat st{};
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0700u);

    // Another view goes to the same folder; a link in it is replaced, not followed.
    fs::remove(notes.copyPath);
    fs::create_symlink(victim, notes.copyPath);
    const workflow::ViewOutcome again = workflow::ViewFile(*session, indexOf("NOTES.TXT"), opener);
    EXPECT_TRUE(again.opened);
    EXPECT_EQ(again.copyPath, notes.copyPath);
    EXPECT_FALSE(fs::is_symlink(again.copyPath));
    EXPECT_EQ(testutil::ReadFile(victim), "keep");
    EXPECT_EQ(fs::path(workflow::ViewFile(*session, indexOf("BIG.BIN"), opener).copyPath).parent_path(), folder);

    session.reset();
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder)));
    EXPECT_EQ(testutil::ReadFile(victim), "keep");
    EXPECT_TRUE(fs::is_symlink(shared + "/NOTES.TXT"));
}

}  // namespace
}  // namespace rectest
