// A log written after mounting the sample disk: loading it at the disk step
// and at the volume step restores the same volume list, entry records,
// tables and file bytes as the mount, and saving again writes the same bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/job/Controls.h"
#include "app/job/Tree.h"
#include "app/job/WizardState.h"
#include "common/TempDir.h"
#include "disk/SectorReader.h"
#include "netware/FileReader.h"
#include "netware/Mount.h"
#include "netware/TreeModel.h"
#include "netware/VolumeSearch.h"
#include "records/DirectoryListing.h"
#include "records/RecoveryLog.h"
#include "tools/nwimage/Description.h"
#include "tools/nwimage/NwImage.h"

namespace {

struct RecordedMessages : job::MessageSink {
    job::MessageAnswer ShowMessage(const std::string& text, job::MessageIcon, job::MessageButtons) override {
        texts.push_back(text);
        return job::MessageAnswer::Ok;
    }
    std::vector<std::string> texts;
};

std::string SampleDescription() {
    const auto path = std::filesystem::path(__FILE__).parent_path() / ".." / ".." / "tools" / "nwimage" / "sample.nwd";
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// What a browse and a save see of the mounted volume: every tree entry with
// its path and, for files, the bytes the file reader delivers.
std::vector<std::string> Browse(job::MemoryTree& tree) {
    std::vector<std::string> out;
    nw::WalkTree(tree.Root(), [&](const nw::EntryRecord& r, const std::string& path, bool isFolder) {
        std::string line = (isFolder ? "D " : "F ") + path + " " + std::to_string(r.size) + " " +
                           std::to_string(r.timestamp) + " " + std::to_string(r.deletedMarker);
        if (!isFolder) {
            const std::vector<std::uint8_t> bytes = nw::ReadFileBytes(r);
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
        Reset();
        std::string error;
        ASSERT_TRUE(disk::AttachDevice(0, dir->File("sample.img"), "", &error)) << error;
        disk::BadSectorDecision = disk::kRetryAll;
    }
    void TearDown() override {
        Reset();
        auto& w = job::Wizard();
        w.messages = nullptr;
        w.volumeTree = w.directoryTree = nullptr;
        disk::DetachAllDevices();
    }
    void Reset() {
        job::ResetWizardState();
        nw::Mounted() = nw::MountTables{};
        volumeTree.Clear();
        directoryTree.Clear();
        auto& w = job::Wizard();
        w.messages = &messages;
        w.volumeTree = &volumeTree;
        w.directoryTree = &directoryTree;
        w.activityLogPath = dir->File("ActivityLog.txt");
    }
    void SearchAndMount(std::size_t volume) {
        auto& w = job::Wizard();
        w.selectedDiskNumber = 0;
        w.selectedDiskLabel = "Disk0";
        w.recoveryMode = job::kModeQuick;
        ASSERT_TRUE(nw::QuickVolumeSearch());
        ASSERT_GT(w.volumeCount.load(), volume);
        w.currentStep = 1;
        w.currentVolume = w.VolumeList[volume];
        w.selectedVolumeName = w.currentVolume.name;
        nw::MountCurrentVolume();
        ASSERT_EQ(w.currentStep.load(), 2);
    }

    static testutil::TempDir* dir;
    static nwimage::Image* image;
    RecordedMessages messages;
    job::MemoryTree volumeTree;
    job::MemoryTree directoryTree;
};
testutil::TempDir* SampleLogTest::dir = nullptr;
nwimage::Image* SampleLogTest::image = nullptr;

TEST_F(SampleLogTest, BothLoadStagesRestoreWhatTheMountFound) {
    for (std::size_t volume : {0u, 1u}) {
        SCOPED_TRACE(volume);
        Reset();
        SearchAndMount(volume);
        auto& w = job::Wizard();
        const std::vector<std::string> browsed = Browse(directoryTree);
        const std::vector<std::string> folders = Stored(w.FolderList), files = Stored(w.FileList);
        const nw::MountTables mounted = nw::Mounted();
        std::vector<nw::VolumeDescriptor> found(w.VolumeList.begin(), w.VolumeList.begin() + w.volumeCount.load());
        const std::vector<std::string> listing = records::ListingRecords(directoryTree, directoryTree.Root());
        std::string first;
        ASSERT_TRUE(records::SaveLog(dir->File("job"), &first));
        ASSERT_GT(browsed.size(), 5u);

        Reset();
        ASSERT_TRUE(records::LoadLog(first));
        ASSERT_EQ(w.currentStep.load(), 1);
        ASSERT_EQ(w.volumeCount.load(), found.size());
        for (std::size_t i = 0; i < found.size(); ++i) {
            EXPECT_EQ(w.VolumeList[i].name, found[i].name);
            EXPECT_EQ(w.VolumeList[i].startSector, found[i].startSector);
            EXPECT_EQ(w.VolumeList[i].det2FirstBlock, found[i].det2FirstBlock);
        }
        ASSERT_TRUE(records::LoadLog(first));
        ASSERT_EQ(w.currentStep.load(), 2);
        EXPECT_EQ(Stored(w.FolderList), folders);
        EXPECT_EQ(Stored(w.FileList), files);
        EXPECT_EQ(nw::Mounted().SuballocationTable, mounted.SuballocationTable);
        ASSERT_EQ(nw::Mounted().FatBlockList.size(), mounted.FatBlockList.size());
        for (std::size_t i = 0; i < mounted.FatBlockList.size(); ++i)
            EXPECT_EQ(nw::Mounted().FatBlockList[i].block, mounted.FatBlockList[i].block);
        EXPECT_EQ(Browse(directoryTree), browsed);
        EXPECT_EQ(records::ListingRecords(directoryTree, directoryTree.Root()), listing);

        std::string second;
        ASSERT_TRUE(records::SaveLog(dir->File("again.sav"), &second));
        EXPECT_EQ(testutil::ReadFile(second), testutil::ReadFile(first));
        EXPECT_TRUE(messages.texts.empty());
    }
}

TEST_F(SampleLogTest, TheListingOfTheSampleFollowsTheRecordRules) {
    SearchAndMount(0);
    const std::vector<std::string> records = records::ListingRecords(directoryTree, directoryTree.Root());
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
    // One record per folder item of the tree.
    EXPECT_EQ(records.size(), nw::Mounted().treeFolderCount);
}

}  // namespace
