// The flows both front ends call, on a built disk: the activity-report lines
// they write, the notices they end with, and what a refused command leaves
// of the session.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/TempDir.h"
#include "common/VolumeTestHelpers.h"
#include "records/RecoveryLog.h"
#include "tools/nwimage/Description.h"
#include "tools/nwimage/NwImage.h"
#include "workflow/Disks.h"
#include "workflow/Files.h"
#include "workflow/Raw.h"
#include "workflow/RecoveryLogs.h"
#include "workflow/Reports.h"
#include "workflow/Save.h"
#include "workflow/Search.h"
#include "workflow/Texts.h"
#include "workflow/Volume.h"

namespace {

constexpr const char* kDisk = R"(disk seed=7
partition first=63 count=20000
volume SYS spb=8 blocks=2000
folder PUBLIC
folder DOCS in=PUBLIC
file NOTES.TXT in=PUBLIC text="notes"
file PLAN.DOC in=PUBLIC/DOCS size=3000
file README.TXT text="top"
)";

class FlowsTest : public ::testing::Test {
protected:
    FlowsTest() { session.activityLog.path = dir.File("ActivityLog.txt"); }

    void Attach(const std::string& description) {
        image = nwimage::Build(nwimage::ParseDescription(description));
        const std::string path = dir.File("disk.img");
        nwimage::WriteImageFile(image, path);
        std::string error;
        ASSERT_TRUE(workflow::AttachDisks(session, {{path, ""}}, &error)) << error;
        ASSERT_TRUE(workflow::SelectDisk(session, 0, &error)) << error;
    }
    void Mount() {
        workflow::BeginMode(session, workflow::kModeQuick);
        ASSERT_TRUE(workflow::RunQuickSearch(session, searchReport).Found());
        ASSERT_TRUE(workflow::ChooseVolume(session, 0));
        ASSERT_TRUE(workflow::MountChosenVolume(session, mountReport).mounted);
    }
    std::string Report() const { return testutil::ReadFile(session.activityLog.path); }

    testutil::TempDir dir;
    nwimage::Image image;
    workflow::MemorySettingsStore store;
    workflow::Session session{store};
    testutil::RecordingSearchReport searchReport;
    testutil::RecordingMountReport mountReport;
};

TEST_F(FlowsTest, ActivityReportTellsTheDiskModeSearchAndMount) {
    Attach(kDisk);
    workflow::BeginMode(session, workflow::kModeQuick);
    const workflow::SearchOutcome search = workflow::RunQuickSearch(session, searchReport);
    EXPECT_EQ(search.volumeCount, 1u);
    EXPECT_FALSE(search.notice.has_value());
    EXPECT_FALSE(workflow::ChooseVolume(session, 1));
    ASSERT_TRUE(workflow::ChooseVolume(session, 0));
    EXPECT_EQ(session.selectedVolumeName, "SYS");
    const workflow::MountOutcome mount = workflow::MountChosenVolume(session, mountReport);
    ASSERT_TRUE(mount.mounted);
    EXPECT_TRUE(session.volumeOpen.load());
    EXPECT_EQ(mount.folderCount, 3u);  // PUBLIC, DOCS and LOST
    EXPECT_EQ(mount.fileCount, 3u);
    EXPECT_EQ(Report(),
              "\r\n\r\nSelected Disk : 0\r\nModel Number : Disk Image\r\nSelected Mode : QUICK"
              "\r\nTotal Volumes Found : 1"
              "\r\nNo of Folders Found : 3\r\nNo of Files Found : 3");

    workflow::Unmount(session);
    EXPECT_FALSE(session.volumeOpen.load());
    EXPECT_EQ(session.mounted.FolderList.Size(), 0u);
    EXPECT_EQ(session.found.Count(), 1u);
}

// A raw scan reaches the report as one section (range, documents per kind
// looked for, incomplete, failed, skipped sectors, how it ended); a section
// that cannot be written is reported to the caller with the reason.
TEST_F(FlowsTest, RawScansReachTheReportAndFailedWritesAreReported) {
    nwimage::DiskSpec layout;
    layout.totalSectors = 4000;
    layout.documents = {{nwimage::DocKind::Zip, 100, 40000, 1}, {nwimage::DocKind::Word, 1500, 30000, 2}};
    nwimage::WriteImageFile(nwimage::Build(layout), dir.File("raw.img"));
    std::string error;
    ASSERT_TRUE(workflow::AttachDisks(session, {{dir.File("raw.img"), ""}}, &error)) << error;
    ASSERT_TRUE(workflow::SelectDisk(session, 0, &error)) << error;
    EXPECT_TRUE(workflow::BeginMode(session, workflow::kModeRaw));
    raw::RawRequest request;
    request.checked[raw::kinds::kWord] = true;
    request.checked[raw::kinds::kZip] = true;
    request.wholeDisk = false;
    request.startSector = 0;
    request.endSector = 3999;  // the last sector
    const workflow::RawStart start = workflow::CheckRawStart(session, request);
    ASSERT_TRUE(start.ok);
    const std::string out = dir.File("out");
    ASSERT_FALSE(workflow::PrepareRawDestination(out).has_value());
    raw::RawScan scan;
    raw::RawScanView view;
    std::string failure;
    workflow::RunRaw(session, scan, start, request, out, view, &failure);
    EXPECT_TRUE(failure.empty()) << failure;
    EXPECT_EQ(Report(),
              "\r\n\r\nSelected Disk : 0\r\nModel Number : Disk Image\r\nSelected Mode : Raw"
              "\r\nRaw Range : 0 - 4000\r\nDocuments Found : 2\r\nDOC Found : 1\r\nZIP Found : 1"
              "\r\nIncomplete Documents : 0\r\nFailed Documents : 0\r\nSkipped Sectors : 0\r\nRaw Scan : Completed"
              "\r\nDFXML Report : " + out + "/report.xml");

    session.activityLog.path = "/dev/full";
    failure.clear();
    EXPECT_FALSE(workflow::BeginMode(session, workflow::kModeRaw, &failure));
    EXPECT_NE(failure.find("No space"), std::string::npos) << failure;
    failure.clear();
    raw::RawScan again;
    ASSERT_FALSE(workflow::PrepareRawDestination(dir.File("out2")).has_value());
    workflow::RunRaw(session, again, start, request, dir.File("out2"), view, &failure);
    EXPECT_NE(failure.find("No space"), std::string::npos) << failure;
}

TEST_F(FlowsTest, EmptySearchesSayWhichModeToTryNext) {
    Attach("disk sectors=4096\n");
    workflow::SearchOutcome quick = workflow::RunQuickSearch(session, searchReport);
    ASSERT_TRUE(quick.notice.has_value());
    EXPECT_EQ(quick.notice->text, workflow::kNoVolumeQuickText);
    EXPECT_EQ(quick.notice->icon, workflow::Notice::Icon::Information);
    EXPECT_NE(Report().find("Total Volumes Found : 0"), std::string::npos);

    const workflow::SearchOutcome advanced = workflow::RunAdvancedSearch(session, searchReport, session.cancel);
    ASSERT_TRUE(advanced.notice.has_value());
    EXPECT_EQ(advanced.notice->text, workflow::kNoVolumeAdvancedText);
    EXPECT_EQ(advanced.notice->icon, workflow::Notice::Icon::Error);
    EXPECT_EQ(searchReport.status.front(), workflow::kSearchPhase1Text);

    // A disk that cannot be read is not searched and says why; the report
    // gets no count.
    const std::string before = Report();
    session.selectedDiskNumber = 5;
    quick = workflow::RunQuickSearch(session, searchReport);
    EXPECT_FALSE(quick.diskOpened);
    ASSERT_TRUE(quick.notice.has_value());
    EXPECT_EQ(quick.notice->text.rfind("Unable to open disk: ", 0), 0u) << quick.notice->text;
    EXPECT_EQ(Report(), before);
}

TEST_F(FlowsTest, CommandsOnAVolumeWaitForOneToBeOpen) {
    Attach(kDisk);
    recovery::SaveJob job;
    recovery::SaveProgressView view;
    recovery::KeepingPrompts prompts;
    workflow::SaveRequest request;
    request.destinationPath = dir.File("out");
    const workflow::SaveResult save = workflow::RunSave(session, job, request, view, prompts);
    ASSERT_TRUE(save.notice.has_value());
    EXPECT_EQ(save.notice->text, workflow::kGoToStep2Text);
    EXPECT_EQ(job.filesStarted, 0u);
    EXPECT_EQ(workflow::SaveRecoveryLog(session, dir.File("job")).notice->text, workflow::kGoToStep2Text);
    EXPECT_EQ(workflow::PrepareListingPrint(session).notice->text, workflow::kGoToStep2Text);
    EXPECT_FALSE(workflow::SelectPath(session, "PUBLIC"));
}

TEST_F(FlowsTest, TheActivityReportNamesTheRecordsOfASave) {
    Attach(kDisk);
    Mount();
    workflow::SelectEverything(session);
    recovery::SaveJob job;
    recovery::SaveProgressView view;
    recovery::KeepingPrompts prompts;
    workflow::SaveRequest request;
    request.destinationPath = dir.File("out");
    request.hashListPath = dir.File("saved.sha256");
    request.dfxmlPath = dir.File("saved.xml");
    request.digestKinds = base::kDigestMd5;
    workflow::SaveResult save = workflow::RunSave(session, job, request, view, prompts);
    EXPECT_EQ(save.recordsWritten, (std::vector<std::string>{request.hashListPath, request.hashListPath + ".md5",
                                                             request.dfxmlPath}));
    EXPECT_TRUE(save.recordsFailure.empty()) << save.recordsFailure;
    for (const std::string& path : save.recordsWritten)
        EXPECT_NE(Report().find("Record of the save written: \"" + path + "\""), std::string::npos) << Report();
    EXPECT_NE(testutil::ReadFile(request.hashListPath).find("  PUBLIC/DOCS/PLAN.DOC\n"), std::string::npos);

    // One that cannot be begun is named with its reason, and nothing is saved.
    request.destinationPath = dir.File("second");
    request.dfxmlPath = dir.File("missing/saved.xml");
    save = workflow::RunSave(session, job, request, view, prompts);
    EXPECT_NE(save.recordsFailure.find(request.dfxmlPath), std::string::npos);
    ASSERT_TRUE(save.notice.has_value());
    EXPECT_NE(Report().find(std::string(workflow::kRecordNotWrittenText) + ": " + request.dfxmlPath), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.File("second/README.TXT")));

    // The window keeps them beside the destination, where no saved file can lie.
    EXPECT_EQ(workflow::RecordBeside("/media/out/", ".sha256"), "/media/out.sha256");
}

TEST_F(FlowsTest, PathsTickFoldersWholeAndFilesAlone) {
    Attach(kDisk);
    Mount();
    EXPECT_FALSE(workflow::SelectPath(session, "PUBLIC\\NOWHERE"));
    ASSERT_TRUE(workflow::SelectPath(session, "PUBLIC\\NOTES.TXT"));
    nw::PathMatch folder;
    ASSERT_TRUE(nw::FindEntryByPath(session.mounted, "PUBLIC", &folder));
    EXPECT_NE(session.selection.NodeState(folder.node), nw::kChecked);
    // The folder named after one of its files is taken whole.
    ASSERT_TRUE(workflow::SelectPath(session, "PUBLIC"));
    EXPECT_EQ(session.selection.NodeState(folder.node), nw::kChecked);
    nw::PathMatch plan;
    ASSERT_TRUE(nw::FindEntryByPath(session.mounted, "PUBLIC/DOCS/PLAN.DOC", &plan));
    EXPECT_TRUE(session.selection.FileChecked(plan.fileIndex));
    EXPECT_EQ(workflow::FilePath(session, plan.fileIndex), "PUBLIC\\DOCS\\PLAN.DOC");
}

TEST_F(FlowsTest, RecoveryLogComesBackInTwoStagesAndRefusalsChangeNothing) {
    Attach(kDisk);
    Mount();
    const workflow::LogSaved saved = workflow::SaveRecoveryLog(session, dir.File("job"));
    ASSERT_TRUE(saved.written) << saved.notice->text;
    EXPECT_EQ(saved.path, dir.File("JOB.SAV"));
    EXPECT_EQ(session.destinationPath, saved.path);

    workflow::MemorySettingsStore otherStore;
    workflow::Session other(otherStore);
    other.recoveryMode = workflow::kModeRaw;
    workflow::LogLoaded loaded = workflow::LoadVolumeList(other, saved.path);
    ASSERT_TRUE(loaded.notice.has_value());
    EXPECT_EQ(loaded.notice->text, records::kLoadLogRawModeText);
    EXPECT_EQ(other.found.Count(), 0u);

    other.recoveryMode = workflow::kModeNone;
    ASSERT_TRUE(workflow::LoadVolumeList(other, saved.path).loaded);
    EXPECT_EQ(other.recoveryMode.load(), workflow::kModeQuick);
    EXPECT_EQ(other.found.Count(), 1u);
    EXPECT_EQ(other.selectedDiskLabel, "Disk0");
    ASSERT_TRUE(workflow::LoadMountedVolume(other, saved.path).loaded);
    EXPECT_TRUE(other.volumeOpen.load());
    EXPECT_EQ(other.selectedVolumeName, "SYS");
    EXPECT_EQ(other.mounted.FileList.Size(), 3u);

    // A damaged log is refused and the open volume stays open.
    const std::string bytes = testutil::ReadFile(saved.path);
    testutil::WriteFile(dir.File("cut.sav"), bytes.substr(0, bytes.size() / 2));
    loaded = workflow::LoadMountedVolume(other, dir.File("cut.sav"));
    ASSERT_TRUE(loaded.notice.has_value());
    EXPECT_EQ(loaded.notice->text.rfind(records::kUnableToOpenFile, 0), 0u);
    EXPECT_TRUE(other.volumeOpen.load());
    EXPECT_EQ(other.mounted.FileList.Size(), 3u);

    // The loaded volumes read the disk the caller names.
    workflow::ReadLogFromDisk(other, 3);
    EXPECT_EQ(other.selectedDiskLabel, "Disk3");
    EXPECT_EQ(other.found.At(0).value().disk, 3u);
    EXPECT_EQ(other.mounted.currentVolume.disk, 3u);
}

TEST_F(FlowsTest, ALogIsTakenOnlyForTheDiskWhoseDirectoryHoldsItsEntries) {
    Attach(kDisk);
    Mount();
    const workflow::LogSaved saved = workflow::SaveRecoveryLog(session, dir.File("job"));
    ASSERT_TRUE(saved.written);

    // The same layout with other entries: the volume's tables lie where the
    // log has them, but hold something else.
    workflow::MemorySettingsStore otherStore;
    workflow::Session other(otherStore);
    std::string description = kDisk;
    description.replace(description.find("README.TXT"), 10, "READYOU.TXT");
    nwimage::WriteImageFile(nwimage::Build(nwimage::ParseDescription(description)), dir.File("other.img"));
    testutil::WriteFile(dir.File("blank.img"), std::string(20100 * 512, '\0'));
    std::string error;
    ASSERT_TRUE(workflow::AttachDisks(other, {{dir.File("other.img"), ""}, {dir.File("blank.img"), ""}}, &error));
    for (unsigned disk : {0u, 1u}) {
        ASSERT_TRUE(workflow::LoadVolumeList(other, saved.path).loaded);
        workflow::ReadLogFromDisk(other, disk);
        const workflow::LogLoaded loaded = workflow::LoadMountedVolume(other, saved.path);
        EXPECT_FALSE(loaded.loaded) << disk;
        ASSERT_TRUE(loaded.notice.has_value());
        EXPECT_EQ(loaded.notice->text, "Unable to open file: the log does not match this disk");
        EXPECT_FALSE(other.volumeOpen.load());
    }
    // The disk it was written from takes it.
    ASSERT_TRUE(workflow::LoadMountedVolume(session, saved.path).loaded);
    EXPECT_EQ(session.mounted.FileList.Size(), 3u);
}

// BIG: segment 1 (blocks 120..219) at 388 and segment 0 at 1188 of disk 0,
// segment 2 on disk 1.
constexpr const char* kSpanned = R"(disk 0 seed=5
partition first=100 count=4000
segment BIG 1 blocks=100
volume BIG blocks=120 det1=119,120 det2=250,251
file EDGE.BIN size=16000 blocks=218-221
disk 1
partition first=63 count=2000 hotfix=1 area=160
segment BIG 2 blocks=80
)";

TEST_F(FlowsTest, ASpannedVolumeWithASegmentMissingIsListedOnceWithAWarningAndItsFacts) {
    const std::vector<nwimage::Image> disks = nwimage::BuildDisks(nwimage::ParseDisks(kSpanned));
    const std::string path = dir.File("span0.img");
    nwimage::WriteImageFile(disks[0], path);
    std::string error;
    ASSERT_TRUE(workflow::AttachDisks(session, {{path, ""}}, &error)) << error;
    ASSERT_TRUE(workflow::SelectDisk(session, 0, &error)) << error;
    workflow::BeginMode(session, workflow::kModeQuick);
    const workflow::SearchOutcome search = workflow::RunQuickSearch(session, searchReport);
    const std::string missing =
        "Segment 2 of volume BIG is missing: attach the disk that holds it to complete the volume.";
    EXPECT_EQ(search.volumeCount, 1u);
    ASSERT_TRUE(search.notice.has_value());
    EXPECT_EQ(search.notice->text, missing);
    EXPECT_EQ(search.notice->icon, workflow::Notice::Icon::Warning);
    EXPECT_NE(Report().find("Total Volumes Found : 1\r\n" + missing), std::string::npos) << Report();
    const std::vector<std::string> facts = workflow::VolumeFactsRows(session.found.At(0).value());
    ASSERT_EQ(facts.size(), 10u);
    EXPECT_EQ(facts[1], "Volume Start     :   1188");
    EXPECT_EQ(facts[2], "Volume End      :   2148");  // segment 0: 120 blocks of 8 sectors
    EXPECT_EQ(facts[8], "Segments          :   3");
    EXPECT_EQ(facts[9], missing);
    EXPECT_EQ(workflow::SegmentsField(session.found.At(0).value()), "0:1188:0:120,0:388:120:100,?:?:220:80");

    // The advanced search proves the segment holding the directory tables only.
    const workflow::SearchOutcome advanced = workflow::RunAdvancedSearch(session, searchReport, session.cancel);
    ASSERT_TRUE(advanced.Found());
    EXPECT_EQ(advanced.remark, nw::kUnprovenSegmentsText);
    EXPECT_NE(Report().find(nw::kUnprovenSegmentsText), std::string::npos);
}

}  // namespace

namespace {

// 1,500 files of one name: every rename reaches the report, in order,
// although the save gathers its lines into larger appends.
TEST_F(FlowsTest, EveryRenameOfAManySameNamedFolderReachesTheReportInOrder) {
    std::string description = "disk seed=8\npartition first=63 count=20000\nvolume SYS spb=8 blocks=2000 det-blocks=60\n";
    for (int i = 0; i < 1500; ++i) description += "file SAME.TXT text=\"\"\n";
    Attach(description);
    Mount();
    workflow::SelectEverything(session);
    recovery::SaveJob job;
    recovery::SaveProgressView view;
    recovery::KeepingPrompts prompts;
    workflow::SaveRequest request;
    request.destinationPath = dir.File("out");
    workflow::RunSave(session, job, request, view, prompts);
    EXPECT_EQ(job.filesStarted, 1500u);
    const std::string report = Report();
    ASSERT_GT(report.size(), 64u * 1024);
    std::size_t lines = 0, at = 0, last = 0;
    for (int n = 2; n <= 1500; ++n) {
        const std::string line = "saved as \"" + dir.File("out") + "/SAME (" + std::to_string(n) + ").TXT\"";
        at = report.find(line, last);
        if (at == std::string::npos) break;
        ++lines;
        last = at;
    }
    EXPECT_EQ(lines, 1499u);
}

}  // namespace
