// A log written after mounting the sample disk: loading it at the disk stage
// and at the volume stage restores the same volume list, entry records,
// tables and file bytes as the mount, and saving again writes the same bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
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
        ASSERT_GT(b.found.volumeCount.load(), volume);
        b.mounted.currentVolume = b.found.VolumeList[volume];
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
        ASSERT_EQ(loaded->found.volumeCount.load(), mounted->found.volumeCount.load());
        for (std::size_t i = 0; i < mounted->found.volumeCount.load(); ++i) {
            EXPECT_EQ(loaded->found.VolumeList[i].name, mounted->found.VolumeList[i].name);
            EXPECT_EQ(loaded->found.VolumeList[i].startSector, mounted->found.VolumeList[i].startSector);
            EXPECT_EQ(loaded->found.VolumeList[i].det2FirstBlock, mounted->found.VolumeList[i].det2FirstBlock);
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

}  // namespace
