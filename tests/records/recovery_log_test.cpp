// The recovery log's byte layout, its file name rule, and the refusal of
// files that do not hold a log this program wrote.
#include <gtest/gtest.h>

#include <random>

#include "app/job/Controls.h"
#include "app/job/Tree.h"
#include "app/job/WizardState.h"
#include "common/TempDir.h"
#include "netware/Mount.h"
#include "netware/TreeModel.h"
#include "records/RecoveryLog.h"

namespace {

using records::RecoveryLogContents;

struct RecordedMessages : job::MessageSink {
    job::MessageAnswer ShowMessage(const std::string& text, job::MessageIcon, job::MessageButtons) override {
        texts.push_back(text);
        return job::MessageAnswer::Ok;
    }
    std::vector<std::string> texts;
};

struct RecordedControls : job::PublishedControls {
    void ShowStep(int layout) override { layouts.push_back(layout); }
    void SetStatusLine(const std::string& text) override { status = text; }
    void AddDetailsRow(const std::vector<std::string>& columns) override { rows.push_back(columns); }
    void ClearDetails() override { rows.clear(); }
    std::vector<int> layouts;
    std::string status;
    std::vector<std::vector<std::string>> rows;
};

nw::EntryRecord Entry(bool folder, const std::string& name, std::uint32_t parent, std::uint32_t own) {
    nw::EntryRecord r;
    r.attributes = folder ? 0x10 : 0x20;
    r.attributesHigh = folder ? 0 : 0x04;
    r.name = name;
    r.parentNumber = parent;
    r.ownNumber = own;
    r.size = folder ? 0 : 1234;
    r.firstBlock = folder ? 0 : 0x80000003u;
    r.timestamp = 0x36A54896u;
    r.deletedMarker = name == "OLD.TXT" ? 7 : 0;
    return r;
}

nw::VolumeDescriptor Volume(const std::string& name, std::uint32_t seed) {
    nw::VolumeDescriptor d;
    d.name = name;
    d.fat1FirstBlock = seed;
    d.fat2FirstBlock = seed + 1;
    d.det1FirstBlock = seed + 2;
    d.det2FirstBlock = seed + 3;
    d.sizeInSectors = 0x100000000ull + seed;
    d.startSector = 2048 + seed;
    d.blockCount = seed * 10;
    d.sectorsPerBlock = 8;
    return d;
}

RecoveryLogContents SmallLog() {
    RecoveryLogContents log;
    log.diskModel = "ST3500 ATA";
    log.mode = 1;
    log.diskNumber = 2;
    log.volume = Volume("SYS", 10);
    log.mountedMark = 1;
    log.volumes = {Volume("SYS", 10), Volume("VOL1", 20), Volume("DATA", 30)};
    log.folders = {Entry(true, "PUBLIC", 0, 5), Entry(true, "DETACHED", 0xFFFFFFFFu, 9),
                   Entry(true, "LOST", 0, 0xFFFFFFFFu)};
    log.files = {Entry(false, "ABCDEFGH.TXT", 5, 0), Entry(false, "OLD.TXT", 9, 0)};
    for (std::size_t i = 0; i < log.suballocationTable.size(); ++i)
        log.suballocationTable[i] = static_cast<std::uint32_t>(i * 3);
    log.fatBlocks = {1, 2, 77, 0xFFFFFFFFu};
    return log;
}

void ExpectSameDescriptor(const nw::VolumeDescriptor& a, const nw::VolumeDescriptor& b) {
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.fat1FirstBlock, b.fat1FirstBlock);
    EXPECT_EQ(a.fat2FirstBlock, b.fat2FirstBlock);
    EXPECT_EQ(a.det1FirstBlock, b.det1FirstBlock);
    EXPECT_EQ(a.det2FirstBlock, b.det2FirstBlock);
    EXPECT_EQ(a.sizeInSectors, b.sizeInSectors);
    EXPECT_EQ(a.startSector, b.startSector);
    EXPECT_EQ(a.blockCount, b.blockCount);
    EXPECT_EQ(a.sectorsPerBlock, b.sectorsPerBlock);
}

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) { return nw::LoadLe32(b.data() + at); }

TEST(RecoveryLogBytes, FieldsFollowEachOtherWithoutPadding) {
    const RecoveryLogContents log = SmallLog();
    const std::vector<std::uint8_t> b = records::EncodeRecoveryLog(log);

    EXPECT_EQ(std::string(b.begin(), b.begin() + 30), "Kelmora Tarvine Novell 2.06.04");
    EXPECT_EQ(Le32(b, 30), 10u);
    EXPECT_EQ(std::string(b.begin() + 34, b.begin() + 44), "ST3500 ATA");
    EXPECT_EQ(b[44], 1);  // mode
    EXPECT_EQ(b[45], 2);  // disk number
    EXPECT_EQ(b[46], 3);  // name length
    EXPECT_EQ(std::string(b.begin() + 47, b.begin() + 50), "SYS");
    EXPECT_EQ(Le32(b, 50), 10u);
    EXPECT_EQ(Le32(b, 62), 13u);
    EXPECT_EQ(nw::LoadLe64(b.data() + 66), 0x10000000Aull);
    EXPECT_EQ(nw::LoadLe64(b.data() + 74), 2058u);
    EXPECT_EQ(Le32(b, 82), 100u);
    EXPECT_EQ(Le32(b, 86), 8u);
    EXPECT_EQ(nw::LoadLe16(b.data() + 90), 1u);
    EXPECT_EQ(b[92], 3);  // volume count

    // Volume records are M + 41 bytes.
    std::size_t at = 93;
    for (const auto& v : log.volumes) {
        EXPECT_EQ(b[at], v.name.size());
        at += v.name.size() + 41;
    }
    EXPECT_EQ(Le32(b, at), 3u);  // folders
    at += 4;
    for (int i = 0; i < 3; ++i) at += 4 + Le32(b, at);
    EXPECT_EQ(Le32(b, at), 2u);  // files
    at += 4;
    // A 12-character name: R = 38, the stored record 42 bytes.
    EXPECT_EQ(Le32(b, at), 38u);
    EXPECT_EQ(b[at + 4], 0x20);
    EXPECT_EQ(b[at + 5], 0x04);
    EXPECT_EQ(std::string(b.begin() + at + 6, b.begin() + at + 18), "ABCDEFGH.TXT");
    EXPECT_EQ(Le32(b, at + 18), 5u);           // parent
    EXPECT_EQ(Le32(b, at + 26), 1234u);        // size
    EXPECT_EQ(Le32(b, at + 30), 0x80000003u);  // first block
    EXPECT_EQ(Le32(b, at + 34), 0x36A54896u);  // timestamp
    at += 42;
    at += 4 + Le32(b, at);
    EXPECT_EQ(Le32(b, at), 0u);  // suballocation entry 0
    EXPECT_EQ(Le32(b, at + 4 * 139), 139u * 3);
    at += 560;
    EXPECT_EQ(Le32(b, at), 4u);
    EXPECT_EQ(Le32(b, at + 16), 0xFFFFFFFFu);
    EXPECT_EQ(at + 20, b.size());
}

TEST(RecoveryLogBytes, DecodingAndEncodingAgainGivesTheSameBytes) {
    const std::vector<std::uint8_t> first = records::EncodeRecoveryLog(SmallLog());
    RecoveryLogContents back;
    std::string reason;
    ASSERT_TRUE(records::DecodeRecoveryLog(first.data(), first.size(), &back, &reason)) << reason;
    EXPECT_EQ(records::EncodeRecoveryLog(back), first);
    ASSERT_EQ(back.volumes.size(), 3u);
    ExpectSameDescriptor(back.volumes[1], Volume("VOL1", 20));
    EXPECT_EQ(back.folders[1].parentNumber, 0xFFFFFFFFu);
    EXPECT_EQ(back.files[1].deletedMarker, 7u);
}

TEST(RecoveryLogBytes, OverlongNamesAreCutSoLengthsMatchTheBytes) {
    RecoveryLogContents log = SmallLog();
    log.volumes[0].name = std::string(300, 'V');
    log.files[0].name = std::string(400, 'f');
    const std::vector<std::uint8_t> bytes = records::EncodeRecoveryLog(log);
    RecoveryLogContents back;
    std::string reason;
    ASSERT_TRUE(records::DecodeRecoveryLog(bytes.data(), bytes.size(), &back, &reason)) << reason;
    EXPECT_EQ(back.volumes[0].name, std::string(255, 'V'));
    EXPECT_EQ(back.files[0].name, std::string(254, 'f'));
    EXPECT_EQ(back.files[1].name, "OLD.TXT");
}

TEST(RecoveryLogName, UpperCasesTheFileNameAndAddsSav) {
    EXPECT_EQ(records::LogFileNameFor("/home/ann/logs/job"), "/home/ann/logs/JOB.SAV");
    EXPECT_EQ(records::LogFileNameFor("/tmp/Mixed/job.sav"), "/tmp/Mixed/JOB.SAV");
    EXPECT_EQ(records::LogFileNameFor("/tmp/jobxsav"), "/tmp/JOBXSAV");
    EXPECT_EQ(records::LogFileNameFor("job.txt"), "JOB.TXT.SAV");
    EXPECT_EQ(records::LogFileNameFor("sa"), "SA.SAV");
}

// ---- refusals ----------------------------------------------------------------

std::string RefusalOf(std::vector<std::uint8_t> bytes) {
    RecoveryLogContents back;
    std::string reason;
    if (records::DecodeRecoveryLog(bytes.data(), bytes.size(), &back, &reason)) return "accepted";
    EXPECT_FALSE(reason.empty());
    return reason;
}

TEST(RecoveryLogRefusal, EveryTruncationIsRefused) {
    const std::vector<std::uint8_t> full = records::EncodeRecoveryLog(SmallLog());
    for (std::size_t n = 0; n < full.size(); ++n)
        EXPECT_NE(RefusalOf(std::vector<std::uint8_t>(full.begin(), full.begin() + n)), "accepted") << n;
    std::vector<std::uint8_t> longer = full;
    longer.push_back(0);
    EXPECT_NE(RefusalOf(longer), "accepted");
}

TEST(RecoveryLogRefusal, ForeignAndOversizedFieldsAreRefused) {
    const std::vector<std::uint8_t> good = records::EncodeRecoveryLog(SmallLog());
    auto patched = [&](std::size_t at, std::uint32_t value, int width) {
        std::vector<std::uint8_t> b = good;
        for (int i = 0; i < width; ++i) b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        return b;
    };
    EXPECT_NE(RefusalOf(patched(0, 'k', 1)), "accepted");               // header
    EXPECT_NE(RefusalOf(patched(30, 0xFFFFFFF0u, 4)), "accepted");      // model length
    EXPECT_NE(RefusalOf(patched(44, 3, 1)), "accepted");                // raw mode
    EXPECT_NE(RefusalOf(patched(46, 200, 1)), "accepted");              // volume name length
    EXPECT_NE(RefusalOf(patched(92, 34, 1)), "accepted");               // 34 volumes

    // Counts and record lengths, located by walking the records.
    std::size_t at = 93;
    for (int i = 0; i < 3; ++i) at += good[at] + 41;
    const std::size_t folderCount = at;
    EXPECT_NE(RefusalOf(patched(folderCount, 0x7FFFFFFFu, 4)), "accepted");
    EXPECT_NE(RefusalOf(patched(folderCount + 4, 25, 4)), "accepted");   // shorter than 26
    EXPECT_NE(RefusalOf(patched(folderCount + 4, 281, 4)), "accepted");  // 255-byte name
    EXPECT_NE(RefusalOf(patched(folderCount + 4, 0xFFFFFFFFu, 4)), "accepted");
    const std::size_t fatCount = good.size() - 4 - 16;
    EXPECT_NE(RefusalOf(patched(fatCount, 5, 4)), "accepted");
    EXPECT_NE(RefusalOf(patched(fatCount, 3, 4)), "accepted");  // leaves bytes over
    EXPECT_EQ(RefusalOf(good), "accepted");
}

TEST(RecoveryLogRefusal, RandomDamageNeverCrashes) {
    const std::vector<std::uint8_t> good = records::EncodeRecoveryLog(SmallLog());
    std::mt19937 rng(7);
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::uint8_t> b = good;
        const int flips = 1 + static_cast<int>(rng() % 6);
        for (int i = 0; i < flips; ++i) b[rng() % b.size()] = static_cast<std::uint8_t>(rng());
        if (rng() % 4 == 0) b.resize(rng() % b.size());
        RecoveryLogContents back;
        std::string reason;
        if (records::DecodeRecoveryLog(b.data(), b.size(), &back, &reason)) {
            // Whatever is accepted re-encodes to the same bytes.
            EXPECT_EQ(records::EncodeRecoveryLog(back), b);
        }
    }
}

// ---- loading into the job state -------------------------------------------------

class LoadLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        job::ResetWizardState();
        auto& w = job::Wizard();
        w.messages = &messages;
        w.controls = &controls;
        w.volumeTree = &volumeTree;
        w.directoryTree = &directoryTree;
        nw::Mounted() = nw::MountTables{};
        path = dir.File("JOB.SAV");
        std::string reason;
        ASSERT_TRUE(records::WriteRecoveryLogFile(path, SmallLog(), &reason)) << reason;
    }
    void TearDown() override {
        auto& w = job::Wizard();
        w.messages = nullptr;
        w.controls = nullptr;
        w.volumeTree = w.directoryTree = nullptr;
        job::ResetWizardState();
    }
    testutil::TempDir dir;
    std::string path;
    RecordedMessages messages;
    RecordedControls controls;
    job::MemoryTree volumeTree;
    job::MemoryTree directoryTree;
};

TEST_F(LoadLogTest, DiskStepRestoresTheVolumeListAndTree) {
    auto& w = job::Wizard();
    w.recoveryMode = job::kModeAdvanced;
    ASSERT_TRUE(records::LoadLog(path));
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(w.currentStep.load(), 1);
    EXPECT_EQ(w.recoveryMode.load(), job::kModeQuick);
    EXPECT_EQ(w.selectedDiskNumber.load(), 2);
    ASSERT_EQ(w.volumeCount.load(), 3u);
    ExpectSameDescriptor(w.VolumeList[2], Volume("DATA", 30));
    job::TreeItem root = volumeTree.Root();
    EXPECT_EQ(volumeTree.Text(root), "Disk 2");
    EXPECT_TRUE(volumeTree.IsExpanded(root));
    std::vector<std::string> names;
    for (job::TreeItem c = volumeTree.FirstChild(root); c; c = volumeTree.NextSibling(c)) names.push_back(volumeTree.Text(c));
    EXPECT_EQ(names, (std::vector<std::string>{"SYS", "VOL1", "DATA"}));
    EXPECT_EQ(w.VolumeList[1].treeNode, volumeTree.NextSibling(volumeTree.FirstChild(root)));
    EXPECT_EQ(controls.layouts, std::vector<int>{3});
    EXPECT_TRUE(w.FolderList.Empty());
}

TEST_F(LoadLogTest, VolumeStepRestoresListsWithZeroBasedOrdinalsAndTables) {
    auto& w = job::Wizard();
    w.currentStep = 1;
    w.volumeCount = 1;
    w.VolumeList[0] = Volume("OTHER", 99);
    ASSERT_TRUE(records::LoadLog(path));
    EXPECT_EQ(w.currentStep.load(), 2);
    EXPECT_EQ(w.volumeCount.load(), 1u);  // the list on screen is kept
    ExpectSameDescriptor(w.currentVolume, Volume("SYS", 10));
    EXPECT_EQ(w.selectedVolumeName, "SYS");
    EXPECT_EQ(w.mountedMark, 1);
    ASSERT_EQ(w.FolderList.Size(), 3u);
    ASSERT_EQ(w.FileList.Size(), 2u);
    EXPECT_EQ(w.FileList[0].ordinal, 0u);
    EXPECT_EQ(w.FileList[1].ordinal, 1u);
    EXPECT_EQ(w.FolderList[2].ordinal, 2u);
    EXPECT_EQ(w.FileList[0].det1Sector, 0u);
    // No lost-folder pass: the detached folder keeps its stored parent.
    EXPECT_EQ(w.FolderList[1].parentNumber, 0xFFFFFFFFu);

    const nw::MountTables& t = nw::Mounted();
    EXPECT_EQ(t.SuballocationTable[139], 139u * 3);
    ASSERT_EQ(t.FatBlockList.size(), 4u);
    EXPECT_EQ(t.FatBlockList[2].block, 77u);
    EXPECT_EQ(t.FatBlockList[3].sequence, 3u);

    // Tree: SYS > PUBLIC, LOST > DETACHED.
    job::TreeItem root = directoryTree.Root();
    EXPECT_EQ(directoryTree.Text(root), "SYS");
    EXPECT_EQ(w.currentFolderItem, root);
    EXPECT_EQ(t.treeFolderCount, 3u);
    EXPECT_EQ(controls.layouts, (std::vector<int>{5, 6}));
    EXPECT_EQ(controls.status, "SYS:\\");
    ASSERT_EQ(controls.rows.size(), 2u);  // PUBLIC and LOST under the root
    EXPECT_EQ(controls.rows[1][0], "LOST");
}

TEST_F(LoadLogTest, RefusedFilesChangeNothing) {
    auto& w = job::Wizard();
    const std::string good = testutil::ReadFile(path);
    testutil::WriteFile(dir.File("cut.sav"), good.substr(0, good.size() - 3));
    testutil::WriteFile(dir.File("foreign.sav"), "Some other program's saved state, not ours.");

    for (int step : {0, 1}) {
        w.currentStep = step;
        w.recoveryMode = job::kModeAdvanced;
        w.selectedDiskNumber = 5;
        w.volumeCount = 0;
        nw::AppendEntry(true, Entry(true, "KEEP", 0, 3));
        for (const char* name : {"cut.sav", "foreign.sav", "missing.sav"}) {
            messages.texts.clear();
            EXPECT_FALSE(records::LoadLog(dir.File(name)));
            ASSERT_EQ(messages.texts.size(), 1u);
            EXPECT_EQ(messages.texts[0].rfind("Unable to open file", 0), 0u) << messages.texts[0];
            EXPECT_EQ(w.currentStep.load(), step);
            EXPECT_EQ(w.recoveryMode.load(), job::kModeAdvanced);
            EXPECT_EQ(w.selectedDiskNumber.load(), 5);
            EXPECT_EQ(w.volumeCount.load(), 0u);
            EXPECT_EQ(w.FolderList.Size(), 1u);
        }
        nw::ClearEntryLists();
    }
    EXPECT_TRUE(controls.layouts.empty());
    EXPECT_EQ(messages.texts.back(), "Unable to open file");  // a file that is not there
}

TEST_F(LoadLogTest, RawModeIsRefused) {
    auto& w = job::Wizard();
    w.recoveryMode = job::kModeRaw;
    EXPECT_FALSE(records::LoadLog(path));
    EXPECT_EQ(messages.texts, std::vector<std::string>{"This feature can not be used while running under raw recovery"});
    EXPECT_EQ(w.currentStep.load(), 0);
}

TEST_F(LoadLogTest, SaveNamesTheFileAndKeepsTheOldOneWhenItCannotWrite) {
    auto& w = job::Wizard();
    w.recoveryMode = job::kModeAdvanced;
    nw::AppendEntry(true, Entry(true, "PUBLIC", 0, 5));
    std::string written;
    ASSERT_TRUE(records::SaveLog(dir.File("next"), &written));
    EXPECT_EQ(written, dir.File("NEXT.SAV"));
    EXPECT_EQ(w.destinationPath, written);
    RecoveryLogContents back;
    std::string reason;
    ASSERT_TRUE(records::ReadRecoveryLogFile(written, &back, &reason)) << reason;
    ASSERT_EQ(back.folders.size(), 1u);
    EXPECT_EQ(back.folders[0].name, "PUBLIC");

    EXPECT_FALSE(records::SaveLog(dir.File("no-such-folder/job")));
    EXPECT_EQ(messages.texts, std::vector<std::string>{"Unable to open file"});
}

}  // namespace
