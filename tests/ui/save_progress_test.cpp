// The "Saving" window while one large file is copied: the progress bar and
// "Total Data Recovered" follow the bytes within the file.
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QToolButton>
#include <atomic>
#include <chrono>
#include <thread>

#include "UiFixture.h"
#include "app/Messages.h"
#include "app/WindowCommands.h"
#include "ui/CaptionProgressBar.h"

namespace uitest {
namespace {

// Volume SYS holding BIG.DAT of 3 MiB: 768 blocks of 4 KiB.
nwimage::DiskSpec OneLargeFile() {
    nwimage::DiskSpec d;
    nwimage::PartitionSpec p;
    p.firstSector = 63;
    p.sectorCount = 400 + 2000 * 8;
    nwimage::VolumeSpec v;
    v.name = "SYS";
    v.sectorsPerBlock = 8;
    v.blocks = 2000;
    nwimage::EntrySpec big;
    big.name = "BIG.DAT";
    big.size = 3u << 20;
    big.dateTime = nwimage::PackDateTime(2007, 3, 5, 9, 4, 58);
    v.entries.push_back(big);
    p.volumes.push_back(v);
    d.partitions.push_back(p);
    return d;
}

TEST_F(WindowTest, SaveProgressMovesByBytesWithinALargeFile) {
    Open({{WriteImage(OneLargeFile()), ""}});
    ASSERT_TRUE(BrowseSys());
    ClickCheckBox(P().directoryTree, P().directoryTree->topLevelItem(0));
    ASSERT_TRUE(S().selection.Any());

    // The job's clock is read once as the save starts and once after each
    // block: at the 100th and the 500th block the copy waits until the
    // window was looked at.
    constexpr int kHolds[] = {100, 500};
    std::atomic<int> reads{0}, held{0}, released{0};
    window->Commands().preparingSave = [&](recovery::SaveJob& job) {
        job.clock = [&]() -> std::int64_t {
            const int n = ++reads;
            for (int h = 0; h < 2; ++h)
                if (n == 1 + kHolds[h]) {
                    held = h + 1;
                    while (released < h + 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            return n;
        };
    };
    const std::string destination = dir.File("out");
    std::filesystem::create_directories(destination);
    modals.On("fileSavingDialog", [&](QWidget* d) {
        d->findChild<QLineEdit*>("savePath")->setText(QString::fromStdString(destination));
        Modals::Press("&OK")(d);
    });
    struct Shown {
        std::uint64_t saved = 0, total = 0;
        int percent = -1;
        std::string caption, totalData, currentFile, files, remaining, elapsed;
    };
    std::vector<Shown> shown;
    modals.On("savingDialog", [&](QWidget* d) {
        struct Release {
            std::atomic<int>& flag;
            ~Release() { flag = 2; }
        } release{released};
        auto* progress = d->findChild<ui::CaptionProgressBar*>("saveProgress");
        for (int h = 1; h <= 2; ++h) {
            ASSERT_TRUE(WaitFor([&] { return held.load() == h; }));
            const recovery::SaveJob* job = window->Commands().LastSaveJob();
            Shown s;
            s.saved = job->savedBytes;
            s.total = job->totalBytes;
            // The window shows the held figures once its next redraw came.
            const int expected = static_cast<int>(s.saved * 100 / s.total);
            EXPECT_TRUE(WaitFor([&] { return progress->value() == expected; }, 5000))
                << "block " << kHolds[h - 1] << ": shows " << progress->value() << "%, expected " << expected << "%";
            s.percent = progress->value();
            s.caption = progress->Caption().toStdString();
            s.totalData = d->findChild<QLabel*>("totalData")->text().toStdString();
            s.currentFile = d->findChild<QLabel*>("currentFile")->text().toStdString();
            s.files = d->findChild<QLabel*>("filesRecovered")->text().toStdString();
            // The time figures came with the block before (the clock of
            // this one is where the copy waits): one second a block.
            auto* elapsed = d->findChild<QLabel*>("timeElapsed");
            const QString elapsedText = h == 1 ? "1 Min 39 Sec" : "8 Min 19 Sec";
            EXPECT_TRUE(WaitFor([&] { return elapsed->text() == elapsedText; }, 5000)) << elapsed->text().toStdString();
            s.elapsed = elapsed->text().toStdString();
            s.remaining = d->findChild<QLabel*>("timeRemaining")->text().toStdString();
            shown.push_back(s);
            released = h;
        }
    });
    const std::size_t before = modals.seen.size();
    QTest::mouseClick(window->ToolButton(app::MainWindow::Tool::SaveData), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return modals.seen.size() > before && modals.seen.back().title == "Save Summary"; }));

    ASSERT_EQ(shown.size(), 2u);
    const char* const totals[] = {"400.0 KiB of 3.0 MiB", "2.0 MiB of 3.0 MiB"};
    const int percents[] = {13, 65};
    // 4096 bytes a second: 3 MiB less the 99 or 499 blocks saved.
    const char* const remaining[] = {"11 Min 9 Sec", "4 Min 29 Sec"};
    for (int h = 0; h < 2; ++h) {
        const Shown& s = shown[static_cast<std::size_t>(h)];
        EXPECT_EQ(s.total, 3u << 20);
        EXPECT_EQ(s.saved, kHolds[h] * 4096u);
        EXPECT_EQ(s.percent, percents[h]);
        EXPECT_EQ(s.caption, std::to_string(percents[h]) + "% Completed");
        EXPECT_EQ(s.totalData, totals[h]);
        EXPECT_EQ(s.totalData, (app::SizeText(s.saved) + " of " + app::SizeText(s.total)).toStdString());
        EXPECT_EQ(s.currentFile, totals[h]);
        EXPECT_EQ(s.files, "1 / 1");
        EXPECT_EQ(s.remaining, remaining[h]);
    }
    EXPECT_EQ(std::filesystem::file_size(destination + "/BIG.DAT"), 3u << 20);
}

}  // namespace
}  // namespace uitest
