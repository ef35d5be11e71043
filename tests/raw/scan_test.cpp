// The "Start &Recovery" button: its checks and messages, the destination
// probe, progress from sector 0, and stopping a running scan.
#include "raw/RawScan.h"
#include "tests/raw/RawFixture.h"

namespace rawtest {
namespace {

using nwimage::DocKind;

class ScanTest : public RawTest {
protected:
    void SetUp() override {
        RawTest::SetUp();
        nwimage::DiskSpec desc;
        desc.totalSectors = 20000;
        desc.documents = {Doc(DocKind::Word, 100, 8192, 1), Doc(DocKind::Excel, 9000, 8192, 2)};
        Use(desc);
    }
    // Nothing ran: no dialog side effects beyond the message, no worker.
    void ExpectNothingStarted() {
        EXPECT_EQ(raw::RawScan().rawWorker.load(), 0u);
        EXPECT_EQ(panel.StartButtonText(), raw::kStartText);
        EXPECT_FALSE(std::filesystem::exists(panel.destination));
    }
};

TEST_F(ScanTest, NoFileTypeCheckedIsRefused) {
    panel.checked = {false, false, false, false};
    EXPECT_EQ(raw::OnStartRecoveryButton(), raw::StartOutcome::NoFileType);
    panel.rowCount = 0;
    panel.checked = {true, true, true, true};
    EXPECT_EQ(raw::OnStartRecoveryButton(), raw::StartOutcome::NoFileType);
    EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"Please select file type for recovery",
                                                          "Please select file type for recovery"}));
    EXPECT_EQ(messages.icons[0], job::MessageIcon::Information);
    EXPECT_EQ(panel.events, (std::vector<std::string>{"start off", "start on", "start off", "start on"}));
    EXPECT_EQ(panel.savingDialogs, 0);
    ExpectNothingStarted();
}

TEST_F(ScanTest, RangeFieldsAreChecked) {
    SetRange(0, 0);
    panel.endText = "12x";
    EXPECT_EQ(raw::OnStartRecoveryButton(), raw::StartOutcome::InvalidEnd);
    EXPECT_EQ(panel.endText, "20000") << "refilled with the disk's sector count";
    panel.startText = "";
    EXPECT_EQ(raw::OnStartRecoveryButton(), raw::StartOutcome::InvalidStart);
    panel.startText = " 20000 ";
    EXPECT_EQ(raw::OnStartRecoveryButton(), raw::StartOutcome::StartNotBelowEnd);
    panel.startText = "99999999999999999999";
    EXPECT_EQ(raw::OnStartRecoveryButton(), raw::StartOutcome::InvalidStart);
    EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"Invalid End Sector", "Invalid Start Sector",
                                                          "Start sector should be less than End sector",
                                                          "Invalid Start Sector"}));
    for (auto icon : messages.icons) EXPECT_EQ(icon, job::MessageIcon::Error);
    EXPECT_EQ(panel.savingDialogs, 0);
    ExpectNothingStarted();
    // Pressed again with the refilled end, the scan runs.
    panel.startText = "9000";
    EXPECT_EQ(Scan(), raw::StartOutcome::Started);
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"XLS1.XLS"}));
}

TEST_F(ScanTest, CancelledFileSavingStartsNothingSilently) {
    panel.destination.clear();
    EXPECT_EQ(raw::OnStartRecoveryButton(), raw::StartOutcome::NoDestination);
    EXPECT_TRUE(messages.Texts().empty());
    EXPECT_EQ(raw::RawScan().rawWorker.load(), 0u);
}

TEST_F(ScanTest, DestinationIsCreatedOneLevelOnly) {
    panel.destination = dir.File("missing/deeper");
    EXPECT_EQ(raw::OnStartRecoveryButton(), raw::StartOutcome::DestinationFailed);
    EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"Unable to Create Directory"}));
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));

    panel.destination = dir.File("fresh");
    EXPECT_EQ(Scan(), raw::StartOutcome::Started);
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"DOC1.DOC", "XLS2.XLS"}));
}

TEST_F(ScanTest, ProbeLeavesAFileOfItsNameAlone) {
    std::filesystem::create_directory(panel.destination);
    testutil::WriteFile(Out("tempFile"), "the user's own file");
    EXPECT_EQ(Scan(), raw::StartOutcome::Started);
    EXPECT_EQ(testutil::ReadFile(Out("tempFile")), "the user's own file");
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"DOC1.DOC", "XLS2.XLS", "tempFile"}));
}

TEST_F(ScanTest, FolderThatTakesNoFilesIsRefused) {
    // /proc exists as a folder, but no file can be created in it.
    panel.destination = "/proc";
    EXPECT_EQ(raw::OnStartRecoveryButton(), raw::StartOutcome::DestinationFailed);
    EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"Unable to Create Directory"}));
    EXPECT_EQ(raw::RawScan().rawWorker.load(), 0u);
}

TEST_F(ScanTest, PanelStatesAndProgressOfARangeScan) {
    // 9000..10000: after the first window the cursor stands at 9800, 98 %
    // of the end sector counted from sector 0; the next window ends it.
    SetRange(9000, 10000);
    ASSERT_EQ(Scan(), raw::StartOutcome::Started);
    EXPECT_EQ(panel.progress, (std::vector<int>{98, 100, 100, 0}));
    EXPECT_EQ(panel.captions, (std::vector<std::string>{"98 % Completed", "100 % Completed", "0 % Completed",
                                                        "0 % Completed"}));
    EXPECT_EQ(panel.status, (std::vector<std::string>{"Searching Disk - 0", " Searching Sector :- 9000",
                                                      " Searching Sector :- 9800", ""}));
    EXPECT_EQ(panel.events,
              (std::vector<std::string>{"types off", "range buttons off", "fields off", "progress shown",
                                        "progress hidden", "types on", "range buttons on", "fields on"}));
    EXPECT_EQ(panel.StartButtonText(), raw::kStartText);
    EXPECT_EQ(raw::RawScan().typeCounts, (std::array<int, 4>{0, 0, 0, 0}));
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"XLS1.XLS"}));
}

TEST_F(ScanTest, StopKeepsWrittenFilesAndClearsTheCounts) {
    // The worker pauses at its third window until the stop has been asked.
    std::atomic<bool> paused{false};
    panel.onStatus = [&](const std::string& text) {
        if (text != " Searching Sector :- 1600") return;
        paused = true;
        while (raw::RawScan().stopRequested.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    ASSERT_EQ(raw::OnStartRecoveryButton(), raw::StartOutcome::Started);
    while (!paused) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(panel.StartButtonText(), raw::kStopText);
    EXPECT_EQ(panel.rows, (std::vector<std::string>{"Total Word File(s) Recovered :  1",
                                                    "Total Excel File(s) Recovered :  0",
                                                    "Total PowerPoint File(s) Recovered :  0",
                                                    "Total Zip File(s) Recovered :  0"}));

    messages.answer = job::MessageAnswer::Yes;
    EXPECT_EQ(raw::OnStartRecoveryButton(), raw::StartOutcome::Stopped);
    EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"Do you want terminate this process ?"}));
    EXPECT_EQ(messages.icons[0], job::MessageIcon::Question);
    EXPECT_EQ(raw::RawScan().rawWorker.load(), 0u);
    EXPECT_EQ(panel.StartButtonText(), raw::kStartText);
    EXPECT_TRUE(panel.rows.empty());
    EXPECT_EQ(panel.captions.back(), "0 % Completed");
    EXPECT_EQ(raw::RawScan().typeCounts, (std::array<int, 4>{0, 0, 0, 0}));
    EXPECT_FALSE(raw::RawScan().carry.continuation);
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"DOC1.DOC"}));
    EXPECT_EQ(std::count(panel.status.begin(), panel.status.end(), " Searching Sector :- 2400"), 0);
}

TEST_F(ScanTest, DeclinedStopLetsTheScanFinish) {
    std::atomic<bool> paused{false}, release{false};
    panel.onStatus = [&](const std::string& text) {
        if (text != " Searching Sector :- 800") return;
        paused = true;
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    ASSERT_EQ(raw::OnStartRecoveryButton(), raw::StartOutcome::Started);
    while (!paused) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    messages.answer = job::MessageAnswer::No;
    EXPECT_EQ(raw::OnStartRecoveryButton(), raw::StartOutcome::StopDeclined);
    release = true;
    job::WaitForWorker(raw::RawScan().rawWorker);
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"DOC1.DOC", "XLS2.XLS"}));
}

TEST_F(ScanTest, WholeDiskFallsBackToTheDeviceSizeWithoutAStoredSize) {
    job::Settings().DeleteKey(job::kClassesRoot, disk::kGeometrySize);
    EXPECT_EQ(raw::SelectedDiskSizeBytes(), 20000u * 512);
    ASSERT_EQ(Scan(), raw::StartOutcome::Started);
    EXPECT_EQ(raw::RawScan().scanEnd, 20000u);
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"DOC1.DOC", "XLS2.XLS"}));
}

}  // namespace
}  // namespace rawtest
