#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <thread>

#include "app/job/Controls.h"
#include "app/job/Identity.h"
#include "app/job/Settings.h"
#include "app/job/WizardState.h"
#include "app/job/Worker.h"
#include "common/TempDir.h"
#include "records/ActivityLog.h"

namespace {

std::tm LocalTime(int year, int month, int day, int wday, int hour, int minute) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_wday = wday;
    t.tm_hour = hour;
    t.tm_min = minute;
    return t;
}

TEST(ActivityReport, DateLinePadsMinuteAndDayButNotHour) {
    EXPECT_EQ(records::FormatDateLine(LocalTime(2026, 12, 7, 1, 9, 5)), "9:05 - Monday, December 07, 2026");
    EXPECT_EQ(records::FormatDateLine(LocalTime(2027, 1, 31, 0, 23, 59)), "23:59 - Sunday, January 31, 2027");
    EXPECT_EQ(records::FormatDateLine(LocalTime(2026, 5, 1, 6, 0, 0)), "0:00 - Saturday, May 01, 2026");
}

TEST(ActivityReport, HeadersAppendAndEndThePreviousRunsLine) {
    testutil::TempDir dir;
    job::Wizard().activityLogPath = dir.File("ActivityLog.txt");
    records::WriteStartHeader(0);
    std::string first = testutil::ReadFile(dir.File("ActivityLog.txt"));
    ASSERT_EQ(first.rfind("\r\n-----------------------Start--------------------------\r\n"
                          "Tarvine For Novell NetWare\r\nVersion 11.06.07\r\n",
                          0),
              0u);
    EXPECT_NE(first.back(), '\n');  // the date line stays open
    records::AppendActivityLog("\r\n\r\nSelected Disk : 0");
    records::WriteStartHeader(0);
    std::string both = testutil::ReadFile(dir.File("ActivityLog.txt"));
    EXPECT_EQ(both.find("Selected Disk : 0\r\n-----------------------Start"), first.size() + 4);
    job::Wizard().activityLogPath.clear();
    EXPECT_FALSE(records::AppendActivityLog("x"));
}

TEST(ActivityReport, RestartsOnlyWhenPastTheLimitEvenIfReadOnly) {
    testutil::TempDir dir;
    const std::string path = dir.File("ActivityLog.txt");
    testutil::WriteFile(path, std::string(records::kActivityLogLimit, 'a'));
    ASSERT_TRUE(records::AppendActivityLogAt(path, "b"));
    EXPECT_EQ(testutil::ReadFile(path).size(), records::kActivityLogLimit + 1);  // exactly 5 MiB was kept
    ::chmod(path.c_str(), 0444);
    ASSERT_TRUE(records::AppendActivityLogAt(path, "\r\nNo of Folders Found : 3"));
    EXPECT_EQ(testutil::ReadFile(path), "\r\nNo of Folders Found : 3");
    EXPECT_FALSE(records::AppendActivityLogAt(dir.File("no/such/folder/log.txt"), "x"));
}

TEST(ActivityReport, DataFolderFollowsXdgDataHome) {
    testutil::TempDir dir;
    const char* old = std::getenv("XDG_DATA_HOME");
    std::string saved = old ? old : "";
    ::setenv("XDG_DATA_HOME", dir.path().c_str(), 1);
    EXPECT_EQ(records::UserDataFolder(), dir.File("tarvine"));
    struct stat st {};
    EXPECT_EQ(::stat(dir.File("tarvine").c_str(), &st), 0);
    if (old)
        ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");
}

class RecordingControls : public job::PublishedControls {
public:
    void SetSearchProgress(int percent, const std::string& caption) override {
        percents.push_back(percent);
        captions.push_back(caption);
    }
    void SetStatusLine(const std::string& text) override { status = text; }
    void AddDetailsRow(const std::vector<std::string>& columns) override { rows.push_back(columns); }
    std::vector<int> percents;
    std::vector<std::string> captions;
    std::string status;
    std::vector<std::vector<std::string>> rows;
};

TEST(Progress, PercentIsClampedAndCaptioned) {
    RecordingControls c;
    job::Wizard().controls = &c;
    job::ReportProgress(37);
    job::ReportProgress(250);
    job::ReportProgress(-4);
    job::ReportStatus("Reading FAT");
    job::ReportDetailsRow({"Volumes Found : ", "2"});
    job::Wizard().controls = nullptr;
    job::ReportProgress(50);  // nothing installed: nothing happens
    EXPECT_EQ(c.percents, (std::vector<int>{37, 100, 0}));
    EXPECT_EQ(c.captions[0], "37 % Completed");
    EXPECT_EQ(c.captions[1], "100 % Completed");
    EXPECT_EQ(c.status, "Reading FAT");
    ASSERT_EQ(c.rows.size(), 1u);
    // without a message sink a question is answered with the harmless choice
    EXPECT_EQ(job::ShowMessage("Do you want to stop this process", job::MessageIcon::Question,
                               job::MessageButtons::YesNo),
              job::MessageAnswer::No);
}

TEST(Worker, ClearsItsOwnHandleWhenTheRoutineReturns) {
    std::atomic<int> go{0};
    std::atomic<bool> ran{false};
    job::WizardState& w = job::Wizard();
    std::uint64_t id = job::StartWorker(w.searchWorker, [&] {
        while (!go) std::this_thread::yield();
        ran = true;
    });
    EXPECT_NE(id, 0u);
    EXPECT_EQ(w.searchWorker.load(), id);
    go = 1;
    job::WaitForWorker(w.searchWorker);
    EXPECT_TRUE(ran);
    EXPECT_EQ(w.searchWorker.load(), 0u);
}

TEST(Settings, RegistryTextReadIsCaseInsensitiveBoundedAndEmptyOnFailure) {
    job::MemorySettingsStore store;
    job::InstallSettingsStore(&store);
    store.Write(job::kClassesRoot, "TarvineNovell", "FilePath", "/usr/share/tarvine");
    store.Write(job::kClassesRoot, "TRV Windows\\Size", "Disk0", "1048576");
    store.Write(job::kClassesRoot, "TarvineNovell", "LngFile", std::string(261, 'x'));
    EXPECT_EQ(job::RegistryTextRead(job::kClassesRoot, "tarvinenovell", "filepath"), "/usr/share/tarvine");
    EXPECT_EQ(job::RegistryTextRead(job::kClassesRoot, "TarvineNovell", "Missing"), "");
    EXPECT_EQ(job::RegistryTextRead(job::kClassesRoot, "TarvineNovell", "LngFile"), "");
    EXPECT_TRUE(store.DeleteKey(job::kClassesRoot, "TRV WINDOWS"));  // deletes the sub-keys too
    EXPECT_EQ(job::RegistryTextRead(job::kClassesRoot, "TRV Windows\\Size", "Disk0"), "");
    EXPECT_EQ(job::RegistryTextRead(job::kClassesRoot, "TarvineNovell", "FilePath"), "/usr/share/tarvine");
    job::InstallSettingsStore(nullptr);
}

TEST(WizardStateTest, ResetRestoresInitialValues) {
    job::WizardState& w = job::Wizard();
    w.currentStep = 2;
    w.recoveryMode = job::kModeRaw;
    w.volumeCount = 3;
    w.VolumeList[0].name = "SYS";
    w.balloonHelpOn = 0;
    job::ResetWizardState();
    EXPECT_EQ(w.currentStep.load(), 0);
    EXPECT_EQ(w.recoveryMode.load(), job::kModeNone);
    EXPECT_EQ(w.volumeCount.load(), 0u);
    EXPECT_EQ(w.VolumeList[0].name, "");
    EXPECT_EQ(w.balloonHelpOn.load(), 1);
}

}  // namespace
