// Starting a raw scan: its checks and messages, the destination probe,
// progress from sector 0, and stopping a running scan.
#include "base/Identity.h"
#include "raw/RawScan.h"
#include "tests/raw/RawFixture.h"

namespace rawtest {
namespace {

using nwimage::DocKind;
using Icon = workflow::Notice::Icon;

class ScanTest : public RawTest {
protected:
    void SetUp() override {
        RawTest::SetUp();
        nwimage::DiskSpec desc;
        desc.totalSectors = 20000;
        desc.documents = {Doc(DocKind::Word, 100, 8192, 1), Doc(DocKind::Excel, 9000, 8192, 2)};
        Use(desc);
    }
    // Nothing ran: no worker, no destination.
    void ExpectNothingStarted() {
        EXPECT_FALSE(worker.Running());
        EXPECT_FALSE(std::filesystem::exists(panel.destination));
    }
};

TEST_F(ScanTest, NoFileTypeCheckedIsRefused) {
    panel.checked = {false, false, false, false};
    EXPECT_EQ(Press(), Outcome::NoFileType);
    EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"Please select file type for recovery"}));
    EXPECT_EQ(messages.icons[0], Icon::Information);
    EXPECT_EQ(savingDialogs, 0);
    ExpectNothingStarted();
}

TEST_F(ScanTest, RangeFieldsAreChecked) {
    SetRange(0, 0);
    panel.endSector.reset();  // no number
    EXPECT_EQ(Press(), Outcome::InvalidEnd);
    EXPECT_EQ(panel.endSector, 19999) << "refilled with the disk's last sector";
    panel.startSector.reset();
    EXPECT_EQ(Press(), Outcome::InvalidStart);
    panel.startSector = 19999;
    EXPECT_EQ(Press(), Outcome::StartNotBelowEnd);
    panel.startSector = -1;
    EXPECT_EQ(Press(), Outcome::InvalidStart);
    // The disk's sectors are 0..19999: an end past the last one is refused.
    panel.startSector = 0;
    panel.endSector = 20000;
    EXPECT_EQ(Press(), Outcome::EndPastDisk);
    EXPECT_EQ(panel.endSector, 19999);
    EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"Invalid End Sector", "Invalid Start Sector",
                                                          "Start sector should be less than End sector",
                                                          "Invalid Start Sector",
                                                          "Invalid End Sector: the disk's last sector is 19999"}));
    for (auto icon : messages.icons) EXPECT_EQ(icon, Icon::Error);
    EXPECT_EQ(savingDialogs, 0);
    ExpectNothingStarted();
    // Pressed again with the refilled end, the scan runs.
    panel.startSector = 9000;
    EXPECT_EQ(Scan(), Outcome::Started);
    EXPECT_EQ(scan.scanEnd, 20000u) << "the last sector is scanned";
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"XLS1.XLS"}));
}

TEST_F(ScanTest, CancelledFileSavingStartsNothingSilently) {
    panel.destination.clear();
    EXPECT_EQ(Press(), Outcome::NoDestination);
    EXPECT_TRUE(messages.Texts().empty());
    EXPECT_FALSE(worker.Running());
}

TEST_F(ScanTest, DestinationIsCreatedOneLevelOnly) {
    panel.destination = dir.File("missing/deeper");
    EXPECT_EQ(Press(), Outcome::DestinationFailed);
    EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"Unable to Create Directory"}));
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));

    panel.destination = dir.File("fresh");
    EXPECT_EQ(Scan(), Outcome::Started);
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"DOC1.DOC", "XLS2.XLS"}));
}

TEST_F(ScanTest, ProbeLeavesAFileOfItsNameAlone) {
    std::filesystem::create_directory(panel.destination);
    testutil::WriteFile(Out("tempFile"), "the user's own file");
    EXPECT_EQ(Scan(), Outcome::Started);
    EXPECT_EQ(testutil::ReadFile(Out("tempFile")), "the user's own file");
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"DOC1.DOC", "XLS2.XLS", "tempFile"}));
}

TEST_F(ScanTest, FolderThatTakesNoFilesIsRefused) {
    // /proc exists as a folder, but no file can be created in it.
    panel.destination = "/proc";
    EXPECT_EQ(Press(), Outcome::DestinationFailed);
    EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"Unable to Create Directory"}));
    EXPECT_FALSE(worker.Running());
}

TEST_F(ScanTest, ViewStatesAndProgressOfARangeScan) {
    // 9000..10000: after the first window the cursor stands at 9800, 98 %
    // of the end sector counted from sector 0; the next window ends it.
    SetRange(9000, 9999);
    ASSERT_EQ(Scan(), Outcome::Started);
    EXPECT_EQ(panel.progress, (std::vector<int>{98, 100, 0}));
    EXPECT_EQ(panel.status, (std::vector<std::string>{"Searching Disk - 0", " Searching Sector :- 9000",
                                                      " Searching Sector :- 9800", ""}));
    EXPECT_EQ(panel.events, (std::vector<std::string>{"progress shown", "progress hidden"}));
    EXPECT_EQ(scan.typeCounts, (std::array<int, 4>{0, 0, 0, 0}));
    EXPECT_EQ(result.typeCounts, (std::array<int, 4>{0, 1, 0, 0}));
    EXPECT_FALSE(result.stopped);
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"XLS1.XLS"}));
}

TEST_F(ScanTest, StopKeepsWrittenFilesAndClearsTheCounts) {
    // The worker pauses at its third window until the stop has been asked.
    std::atomic<bool> paused{false};
    panel.onStatus = [&](const std::string& text) {
        if (text != " Searching Sector :- 1600") return;
        paused = true;
        while (scan.stopRequested.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    ASSERT_EQ(Press(), Outcome::Started);
    while (!paused) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(panel.Written(), (std::vector<std::string>{"DOC1.DOC"}));

    scan.stopRequested = 1;
    worker.Join();
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(result.documentsWritten, 1);
    EXPECT_EQ(panel.progress.back(), 0);
    EXPECT_EQ(scan.typeCounts, (std::array<int, 4>{0, 0, 0, 0}));
    EXPECT_FALSE(scan.carry.continuation);
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"DOC1.DOC"}));
    EXPECT_EQ(std::count(panel.status.begin(), panel.status.end(), " Searching Sector :- 2400"), 0);
}

TEST_F(ScanTest, DeclinedStopLetsTheScanFinish) {
    // The user answers No to the stop question: the flag stays clear.
    std::atomic<bool> paused{false}, release{false};
    panel.onStatus = [&](const std::string& text) {
        if (text != " Searching Sector :- 800") return;
        paused = true;
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    ASSERT_EQ(Press(), Outcome::Started);
    while (!paused) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    release = true;
    worker.Join();
    EXPECT_FALSE(result.stopped);
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"DOC1.DOC", "XLS2.XLS"}));
}

TEST_F(ScanTest, WholeDiskIsTheDevicesOwnSize) {
    EXPECT_EQ(workflow::DiskSectorCount(session, 0), 20000u);
    ASSERT_EQ(Scan(), Outcome::Started);
    EXPECT_EQ(scan.scanEnd, 20000u);
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"DOC1.DOC", "XLS2.XLS"}));
}

// A disk beyond 2^32 sectors: the status and a refilled end field carry
// sector numbers in full.
class BigScanTest : public RawTest {
protected:
    void SetUp() override {
        RawTest::SetUp();
        nwimage::DiskSpec desc;
        desc.totalSectors = (1ull << 32) + 3000;
        desc.documents = {Doc(DocKind::Word, (1ull << 32) + 100, 8192, 1)};
        Use(desc);
    }
};

TEST_F(BigScanTest, SectorNumbersBeyond2To32AreShownInFull) {
    SetRange(0, (1ll << 32) + 3000);
    EXPECT_EQ(Press(), Outcome::EndPastDisk);
    EXPECT_EQ(panel.endSector, 4294970295);
    SetRange((1ll << 32), (1ll << 32) + 599);
    ASSERT_EQ(Scan(), Outcome::Started);
    EXPECT_EQ(panel.status.at(1), " Searching Sector :- 4294967296");
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"DOC1.DOC"}));
}

}  // namespace
}  // namespace rawtest
