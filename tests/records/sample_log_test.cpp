// A log written after mounting the sample disk: loading it at the disk stage
// and at the volume stage restores the same volume list, entry records,
// tables and file bytes as the mount, and saving again writes the same bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>

#include "common/TempDir.h"
#include "common/VolumeTestHelpers.h"
#include "netware/FileReader.h"
#include "netware/FolderTree.h"
#include "netware/Mount.h"
#include "netware/MountedVolume.h"
#include "netware/VolumeSearch.h"
#include "records/DirectoryListing.h"
#include "records/RecoveryLog.h"
#include "records/RecoveryLogCheck.h"
#include "tools/nwimage/Description.h"
#include "tools/nwimage/NwImage.h"

namespace {

constexpr int kQuickMode = 1;

std::string SampleDescription() {
    const auto path = std::filesystem::path(TARVINE_SOURCE_DIR) / "tools" / "nwimage" / "sample.nwd";
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// What a browse and a save see of the mounted volume: every tree entry with
// its path and, for files, the bytes the file reader delivers.
std::vector<std::string> Browse(const nw::MountedVolume& volume, const disk::SectorReader& reader) {
    std::vector<std::string> out;
    nw::FileReader files(volume, reader);
    nw::WalkTree(volume, nw::kRootNode, [&](const nw::WalkItem& item) {
        const nw::EntryRecord& r = *item.record;
        std::string line = (item.isFolder ? "D " : "F ") + item.path + " " + std::to_string(r.size) + " " +
                           std::to_string(r.timestamp) + " " + std::to_string(r.deletedMarker);
        if (!item.isFolder) {
            const std::vector<std::uint8_t> bytes = files.ReadFileBytes(r);
            line += " " + nwimage::Sha256Hex(bytes.data(), bytes.size());
        }
        out.push_back(line);
    });
    return out;
}

std::vector<std::string> Stored(const nw::EntryList& list) {
    std::vector<std::string> out;
    for (const nw::EntryRecord& r : list) {
        std::ostringstream s;
        s << int(r.attributes) << ' ' << int(r.attributesHigh) << ' ' << r.name << ' ' << r.parentNumber << ' '
          << r.ownNumber << ' ' << r.size << ' ' << r.firstBlock << ' ' << r.timestamp << ' ' << r.deletedMarker;
        out.push_back(s.str());
    }
    return out;
}

// The found volumes and the mounted volume of one session.
struct Browsing {
    nw::FoundVolumes found;
    nw::MountedVolume mounted;
};

class SampleLogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new testutil::TempDir();
        image = new nwimage::Image(nwimage::Build(nwimage::ParseDescription(SampleDescription())));
        nwimage::WriteImageFile(*image, dir->File("sample.img"));
    }
    static void TearDownTestSuite() {
        delete image;
        delete dir;
    }
    void SetUp() override {
        const std::string error = disks.Attach(dir->File("sample.img"));
        ASSERT_TRUE(error.empty()) << error;
    }
    void SearchAndMount(Browsing& b, std::size_t volume) {
        const disk::SectorReader reader = disks.Reader();
        testutil::RecordingSearchReport search;
        nw::QuickVolumeSearch(nw::SearchTarget{&reader, 0}, b.found, search);
        ASSERT_GT(b.found.Count(), volume);
        b.mounted.currentVolume = b.found.At(volume).value();
        testutil::RecordingMountReport mount;
        ASSERT_TRUE(nw::Mount(b.mounted, reader, mount).mounted);
    }
    records::SaveLogResult SaveLog(const Browsing& b, const std::string& chosen) {
        return records::SaveLog(dir->File(chosen), "", kQuickMode, 0, b.found, b.mounted);
    }

    static testutil::TempDir* dir;
    static nwimage::Image* image;
    testutil::TestDisks disks;
};
testutil::TempDir* SampleLogTest::dir = nullptr;
nwimage::Image* SampleLogTest::image = nullptr;

TEST_F(SampleLogTest, BothLoadStagesRestoreWhatTheMountFound) {
    for (std::size_t volume : {0u, 1u}) {
        SCOPED_TRACE(volume);
        const disk::SectorReader reader = disks.Reader();
        auto mounted = std::make_unique<Browsing>();
        SearchAndMount(*mounted, volume);
        const nw::MountedVolume& m = mounted->mounted;
        const std::vector<std::string> browsed = Browse(m, reader);
        ASSERT_GT(browsed.size(), 5u);
        const records::SaveLogResult first = SaveLog(*mounted, "job");
        ASSERT_TRUE(first.written) << first.message;

        auto loaded = std::make_unique<Browsing>();
        records::LoadLogResult r = records::LoadVolumeList(first.path, loaded->found);
        ASSERT_TRUE(r.taken) << r.message;
        EXPECT_EQ(r.mode, kQuickMode);
        ASSERT_EQ(loaded->found.Count(), mounted->found.Count());
        for (std::size_t i = 0; i < mounted->found.Count(); ++i) {
            EXPECT_EQ(loaded->found.At(i).value().name, mounted->found.At(i).value().name);
            EXPECT_EQ(loaded->found.At(i).value().startSector, mounted->found.At(i).value().startSector);
            EXPECT_EQ(loaded->found.At(i).value().det2FirstBlock, mounted->found.At(i).value().det2FirstBlock);
        }
        r = records::LoadMounted(first.path, loaded->mounted);
        ASSERT_TRUE(r.taken) << r.message;
        const nw::MountedVolume& l = loaded->mounted;
        EXPECT_EQ(Stored(l.FolderList), Stored(m.FolderList));
        EXPECT_EQ(Stored(l.FileList), Stored(m.FileList));
        EXPECT_EQ(l.SuballocationTable, m.SuballocationTable);
        ASSERT_EQ(l.FatBlockList.size(), m.FatBlockList.size());
        for (std::size_t i = 0; i < m.FatBlockList.size(); ++i)
            EXPECT_EQ(l.FatBlockList[i].block, m.FatBlockList[i].block);
        EXPECT_EQ(Browse(l, reader), browsed);
        EXPECT_EQ(records::ListingRecords(l, nw::kRootNode), records::ListingRecords(m, nw::kRootNode));

        const records::SaveLogResult second = SaveLog(*loaded, "again.sav");
        ASSERT_TRUE(second.written) << second.message;
        EXPECT_EQ(testutil::ReadFile(second.path), testutil::ReadFile(first.path));
    }
}

TEST_F(SampleLogTest, TheListingOfTheSampleFollowsTheRecordRules) {
    auto b = std::make_unique<Browsing>();
    SearchAndMount(*b, 0);
    const std::vector<std::string> records = records::ListingRecords(b->mounted, nw::kRootNode);
    // Pre-order: a folder's record comes right before its own children's.
    const auto at = [&](const std::string& r) {
        return std::find(records.begin(), records.end(), r) - records.begin();
    };
    const auto n = static_cast<long>(records.size());
    ASSERT_LT(at("SYS-> PUBLIC"), n);
    ASSERT_LT(at("PUBLIC-> Project Documents"), n);
    EXPECT_EQ(at("PUBLIC-> Project Documents") + 1, at("PUBLIC\\Project Documents-> 2007"));
    EXPECT_EQ(at("PUBLIC\\Project Documents-> 2007") + 1, at("PUBLIC\\Project Documents\\2007-> First Quarter"));
    EXPECT_LT(at("SYS-> LOST"), n);
    EXPECT_LT(at("LOST-> Old Project (orphaned)"), n);
    EXPECT_LT(at("LOST\\Old Project (orphaned)-> SUB"), n);
    // One record per folder node of the tree.
    EXPECT_EQ(records.size(), b->mounted.tree.FolderNodeCount());
}

// Bytes of a saved log changed at random (1 to 8 bytes, fixed seeds): with
// the checksum beside it every changed log is refused; without it (an older
// log) each one either shows exactly what the disk holds or is refused.
TEST_F(SampleLogTest, AChangedLogIsRefusedOrShowsExactlyTheDisk) {
    auto b = std::make_unique<Browsing>();
    SearchAndMount(*b, 0);
    const records::SaveLogResult saved = SaveLog(*b, "job");
    ASSERT_TRUE(saved.written) << saved.message;
    const std::string sumPath = saved.path + ".sha256";
    const std::string sum = testutil::ReadFile(sumPath);
    ASSERT_EQ(sum.size(), 64u + 2 + std::string("JOB.SAV").size() + 1) << sum;
    EXPECT_EQ(sum.substr(64), "  JOB.SAV\n");
    const std::string original = testutil::ReadFile(saved.path);

    const disk::SectorReader reader = disks.Reader();
    const auto check = [&](const records::RecoveryLogContents& log) {
        return records::CompareLogWithDisk(log, 0, reader) == records::LogDiskMatch::Differs
                   ? std::string(records::kLogDoesNotMatchText)
                   : std::string();
    };
    const std::vector<std::string> folders = Stored(b->mounted.FolderList);
    const std::vector<std::string> files = Stored(b->mounted.FileList);
    const std::string changedPath = dir->File("CHANGED.SAV");
    int loadedUnsummed = 0;
    for (unsigned seed = 1; seed <= 250; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        std::string bytes = original;
        const int flips = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < flips; ++i)
            bytes[random() % bytes.size()] ^= static_cast<char>(1 + random() % 255);
        if (bytes == original) continue;
        testutil::WriteFile(changedPath, bytes);

        // With the checksum of the original beside it.
        testutil::WriteFile(changedPath + ".sha256", sum.substr(0, 64) + "  CHANGED.SAV\n");
        auto loaded = std::make_unique<Browsing>();
        records::LoadLogResult r = records::LoadMounted(changedPath, loaded->mounted, check);
        EXPECT_FALSE(r.taken);
        EXPECT_FALSE(records::CheckLog(changedPath).taken);
        EXPECT_FALSE(records::LoadVolumeList(changedPath, loaded->found).taken);

        // Without one.
        std::filesystem::remove(changedPath + ".sha256");
        r = records::LoadMounted(changedPath, loaded->mounted, check);
        if (!r.taken) continue;
        ++loadedUnsummed;
        const nw::MountedVolume& l = loaded->mounted;
        EXPECT_EQ(Stored(l.FolderList), folders);
        EXPECT_EQ(Stored(l.FileList), files);
        EXPECT_EQ(l.SuballocationTable, b->mounted.SuballocationTable);
        ASSERT_EQ(l.FatBlockList.size(), b->mounted.FatBlockList.size());
        for (std::size_t i = 0; i < l.FatBlockList.size(); ++i)
            EXPECT_EQ(l.FatBlockList[i].block, b->mounted.FatBlockList[i].block);
        EXPECT_EQ(l.currentVolume.name, b->mounted.currentVolume.name);
    }
    // Changes outside what a load shows (the disk model, the other volume
    // records, the mounted mark) still load.
    EXPECT_GT(loadedUnsummed, 0);

    // The original with its own checksum loads; a wrong checksum refuses it
    // with the mismatch text; without a checksum it loads.
    auto loaded = std::make_unique<Browsing>();
    EXPECT_TRUE(records::LoadMounted(saved.path, loaded->mounted, check).taken);
    testutil::WriteFile(sumPath, std::string(64, '0') + "  JOB.SAV\n");
    const records::LoadLogResult wrong = records::LoadMounted(saved.path, loaded->mounted, check);
    EXPECT_FALSE(wrong.taken);
    EXPECT_EQ(wrong.message, records::kLogDoesNotMatchText);
    EXPECT_EQ(records::CheckLog(saved.path).message, records::kLogDoesNotMatchText);
    std::filesystem::remove(sumPath);
    EXPECT_TRUE(records::LoadMounted(saved.path, loaded->mounted, check).taken);
}

}  // namespace
