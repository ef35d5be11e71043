// "Verify Disk": the check runs on a worker behind its dialog, and the disk's
// facts show what it found.
#include <QAction>
#include <QTimer>
#include <QPushButton>
#include <cstdio>
#include <filesystem>

#include "UiFixture.h"
#include "app/VerifyDiskDialog.h"
#include "common/TempDir.h"

namespace uitest {
namespace {

// The facts shown for the disk, "name value" per row.
std::string Facts(app::WindowParts& p) {
    std::string out;
    for (int i = 0; i < p.detailsList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = p.detailsList->topLevelItem(i);
        for (int c = 0; c < row->columnCount(); ++c) out += row->text(c).toStdString() + " ";
        out += "\n";
    }
    return out;
}

// Answers the verify dialog: once its check is over (a timer of its own, so
// that other questions meanwhile are answered), keeps the outcome and closes it.
Modals::Answer CloseWhenDone(records::DiskVerification& outcome, QTimer& timer) {
    return [&outcome, &timer](QWidget* w) {
        auto* dialog = qobject_cast<app::VerifyDiskDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        QObject::connect(&timer, &QTimer::timeout, dialog, [&outcome, &timer, dialog] {
            if (!dialog->Done()) return;
            timer.stop();
            outcome = dialog->Outcome();
            Modals::Press("&Close")(dialog);
        });
        timer.start(10);
    };
}

TEST_F(WindowTest, VerifyDiskChecksTheStoredMd5AndTheFactsSaySo) {
    if (std::system("command -v ewfacquire >/dev/null 2>&1") != 0) GTEST_SKIP() << "ewfacquire (ewf-tools) is not installed";
    const std::string raw = WriteImage(SmallDisk());
    const std::string acquire = "ewfacquire -u -q -c none -b 64 -t " + dir.File("set") + " " + raw + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(acquire.c_str()), 0);
    // A copy whose first chunk holding the volume's data has a byte changed.
    std::string bytes = testutil::ReadFile(dir.File("set.E01"));
    const std::string rawBytes = testutil::ReadFile(raw);
    const std::size_t dataAt = rawBytes.find("REPORT.DOC");
    ASSERT_NE(dataAt, std::string::npos);
    const std::size_t inSet = bytes.find(rawBytes.substr(dataAt, 64));
    ASSERT_NE(inSet, std::string::npos);
    bytes[inSet] ^= 0x01;
    testutil::WriteFile(dir.File("flipped.E01"), bytes);
    Open({{dir.File("set.E01"), ""}, {dir.File("flipped.E01"), ""}});
    QAction* verify = window->findChild<QAction*>("verifyDiskAction");
    ASSERT_NE(verify, nullptr);

    QTreeWidgetItem* root = P().diskTree->topLevelItem(0);
    for (int disk = 0; disk < 2; ++disk) {
        ClickLabel(P().diskTree, root->child(disk));
        records::DiskVerification outcome;
        QTimer timer;
        modals.Queue(CloseWhenDone(outcome, timer));
        verify->trigger();
        EXPECT_EQ(outcome.sectorsRead, outcome.sectors);
        const std::string facts = Facts(P());
        if (disk == 0)
            EXPECT_NE(facts.find("Verification   : Stored MD5 verified"), std::string::npos) << facts;
        else
            EXPECT_NE(facts.find("Stored MD5 differs"), std::string::npos) << facts;
    }
    EXPECT_TRUE(S().verifications.count(0) && S().verifications[0].Verified());
    EXPECT_FALSE(S().verifications[1].Verified());
}

TEST_F(WindowTest, VerifyDiskStopsOnStop) {
    // Sector 100 is bad and asked about: while the question is open, Stop is
    // pressed; the check ends after the window of sectors it was reading.
    const std::string path = WriteImage(SmallDisk());
    const std::uint64_t size = std::filesystem::file_size(path);
    ASSERT_GT(size, 4096u * 512);
    char map[160];
    std::snprintf(map, sizeof map, "0x0 +\n0x0 0xC800 +\n0xC800 0x200 -\n0xCA00 0x%llx +\n",
                  static_cast<unsigned long long>(size - 0xCA00));
    testutil::WriteFile(dir.File("disk.map"), map);
    Open({{path, dir.File("disk.map")}});
    S().policy.BadSectorDecision = disk::kRetry;
    ClickLabel(P().diskTree, P().diskTree->topLevelItem(0)->child(0));
    records::DiskVerification outcome;
    QTimer timer;
    int asked = 0;
    // The two modal windows may come in either order.
    const Modals::Answer either = [&](QWidget* w) {
        if (qobject_cast<app::VerifyDiskDialog*>(w)) return CloseWhenDone(outcome, timer)(w);
        ++asked;
        EXPECT_EQ(w->windowTitle(), "Bad Sector Encountered");
        auto* dialog = window->findChild<app::VerifyDiskDialog*>();
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QPushButton*>("verifyStop")->click();  // under the question, which holds the input
        Modals::Press("Skip")(w);
    };
    modals.Queue(either);
    modals.Queue(either);
    window->findChild<QAction*>("verifyDiskAction")->trigger();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(outcome.sectorsRead, 2048u);
    EXPECT_NE(Facts(P()).find("Verification   : Verification stopped"), std::string::npos) << Facts(P());
}

}  // namespace
}  // namespace uitest
