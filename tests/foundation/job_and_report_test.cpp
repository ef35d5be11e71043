#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

#include <atomic>
#include <thread>

#include "base/Identity.h"
#include "base/Progress.h"
#include "common/TempDir.h"
#include "netware/FoundVolumes.h"
#include "records/ActivityLog.h"
#include "workflow/SettingsStore.h"
#include "workflow/Texts.h"
#include "workflow/Worker.h"

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
    records::ActivityLog log(dir.File("ActivityLog.txt"));
    log.WriteStartHeader(0);
    std::string first = testutil::ReadFile(dir.File("ActivityLog.txt"));
    ASSERT_EQ(first.rfind("\r\n-----------------------Start--------------------------\r\n"
                          "Tarvine For Novell NetWare\r\nVersion 11.06.07\r\n",
                          0),
              0u);
    EXPECT_NE(first.back(), '\n');  // the date line stays open
    EXPECT_TRUE(log.Append("\r\n\r\nSelected Disk : 0"));
    log.WriteStartHeader(0);
    std::string both = testutil::ReadFile(dir.File("ActivityLog.txt"));
    EXPECT_EQ(both.find("Selected Disk : 0\r\n-----------------------Start"), first.size() + 4);
    log.path.clear();
    EXPECT_FALSE(log.Append("x"));
}

// Past 5 MiB the report is moved aside as ActivityLog.1.txt (read-only or
// not, replacing an older one), never deleted; a write that fails says why.
TEST(ActivityReport, RotatesPastTheLimitKeepingThePreviousReport) {
    testutil::TempDir dir;
    const std::string path = dir.File("ActivityLog.txt");
    const std::string previous = dir.File("ActivityLog.1.txt");
    EXPECT_EQ(records::PreviousReportPath(path), previous);
    EXPECT_EQ(records::PreviousReportPath("/a.b/report"), "/a.b/report.1");
    testutil::WriteFile(path, std::string(records::kActivityLogLimit, 'a'));
    ASSERT_TRUE(records::AppendActivityLogAt(path, "b"));
    EXPECT_EQ(testutil::ReadFile(path).size(), records::kActivityLogLimit + 1);  // exactly 5 MiB is kept
    EXPECT_FALSE(std::filesystem::exists(previous));
    ::chmod(path.c_str(), 0444);
    ASSERT_TRUE(records::AppendActivityLogAt(path, "\r\nNo of Folders Found : 3"));
    EXPECT_EQ(testutil::ReadFile(path), "\r\nNo of Folders Found : 3");
    EXPECT_EQ(testutil::ReadFile(previous), std::string(records::kActivityLogLimit, 'a') + "b");

    testutil::WriteFile(path, std::string(records::kActivityLogLimit + 1, 'c'));
    ASSERT_TRUE(records::AppendActivityLogAt(path, "d"));
    EXPECT_EQ(testutil::ReadFile(previous), std::string(records::kActivityLogLimit + 1, 'c'));
    EXPECT_EQ(testutil::ReadFile(path), "d");

    std::string reason;
    EXPECT_FALSE(records::AppendActivityLogAt(dir.File("no/such/folder/log.txt"), "x", &reason));
    EXPECT_NE(reason.find("No such file"), std::string::npos) << reason;
    records::ActivityLog full("/dev/full");
    reason.clear();
    EXPECT_FALSE(full.Write(records::ReportSection().Field("Selected Disk", "0"), &reason));
    EXPECT_NE(reason.find("No space"), std::string::npos) << reason;
    EXPECT_TRUE(records::ActivityLog().Write(records::ReportSection().Line("x")));  // no report kept
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

TEST(Progress, PercentIsCappedAndCaptionsAreClamped) {
    EXPECT_EQ(base::PercentOf(37, 100), 37);
    EXPECT_EQ(base::PercentOf(250, 100), 100);
    EXPECT_EQ(base::PercentOf(5, 0), 100);
    // Sector counts of large disks: no 32-bit overflow.
    EXPECT_EQ(base::PercentOf(3ull << 40, 4ull << 40), 75);
    EXPECT_EQ(workflow::ProgressCaption(37), "37 % Completed");
    EXPECT_EQ(workflow::ProgressCaption(250), "100 % Completed");
    EXPECT_EQ(workflow::ProgressCaption(-4), "0 % Completed");
    base::CancelFlag stop{false};
    EXPECT_FALSE(base::Cancelled(&stop));
    EXPECT_FALSE(base::Cancelled(nullptr));
    stop = true;
    EXPECT_TRUE(base::Cancelled(&stop));
}

TEST(Worker, RunsOneRoutineAtATimeAndIsFreeOnceItReturns) {
    std::atomic<int> go{0};
    std::atomic<bool> ran{false};
    workflow::Worker worker;
    ASSERT_TRUE(worker.Start([&] {
        while (!go) std::this_thread::yield();
        ran = true;
    }));
    EXPECT_TRUE(worker.Running());
    EXPECT_FALSE(worker.Start([] {}));  // refused while the first one runs
    go = 1;
    worker.Join();
    EXPECT_TRUE(ran);
    EXPECT_FALSE(worker.Running());
    EXPECT_TRUE(worker.Start([] {}));
    worker.Join();
}

TEST(Settings, RegistryTextReadIsCaseInsensitiveBoundedAndEmptyOnFailure) {
    workflow::MemorySettingsStore store;
    const std::string root = base::kClassesRoot;
    store.Write(root, "TarvineNovell", "FilePath", "/usr/share/tarvine");
    store.Write(root, "TRV Windows\\Size", "Disk0", "1048576");
    store.Write(root, "TarvineNovell", "LngFile", std::string(261, 'x'));
    EXPECT_EQ(workflow::RegistryTextRead(store, root, "tarvinenovell", "filepath"), "/usr/share/tarvine");
    EXPECT_EQ(workflow::RegistryTextRead(store, root, "TarvineNovell", "Missing"), "");
    EXPECT_EQ(workflow::RegistryTextRead(store, root, "TarvineNovell", "LngFile"), "");
    EXPECT_TRUE(store.DeleteKey(root, "TRV WINDOWS"));  // deletes the sub-keys too
    EXPECT_EQ(workflow::RegistryTextRead(store, root, "TRV Windows\\Size", "Disk0"), "");
    EXPECT_EQ(workflow::RegistryTextRead(store, root, "TarvineNovell", "FilePath"), "/usr/share/tarvine");
}

// The list grows past any fixed size, hands out copies, changes entries only
// in range, and can be counted from another thread while a search adds to it.
TEST(FoundVolumesTest, GrowsChangesInRangeAndCountsWhileFilled) {
    nw::FoundVolumes found;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done.load()) (void)found.Count();
    });
    nw::VolumeDescriptor d;
    for (std::uint32_t i = 0; i < 300; ++i) {
        d.name = "V" + std::to_string(i);
        ASSERT_EQ(found.Add(d), i + 1);
    }
    done = true;
    reader.join();
    ASSERT_EQ(found.Count(), 300u);
    EXPECT_EQ(found.At(299)->name, "V299");
    EXPECT_FALSE(found.At(300));

    d.name = "NEW";
    EXPECT_TRUE(found.Replace(5, d));
    EXPECT_FALSE(found.Replace(300, d));
    found.SetDiskOfAll(4);
    const std::vector<nw::VolumeDescriptor> all = found.Snapshot();
    ASSERT_EQ(all.size(), 300u);
    EXPECT_EQ(all[5].name, "NEW");
    EXPECT_EQ(all[0].disk, 4u);
    EXPECT_EQ(all[299].disk, 4u);

    found.Clear();
    EXPECT_EQ(found.Count(), 0u);
    EXPECT_FALSE(found.At(0));
}

}  // namespace
