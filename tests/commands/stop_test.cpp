// Stopping and skipping while work runs: "S&kip" and "&Stop" of "Saving" in
// the middle of a file, and "&Stop Searching" of a raw scan.
#include "CommandsFixture.h"
#include "app/RawPanelWidget.h"
#include "raw/RawScan.h"
#include "workflow/Raw.h"
#include "ui/CaptionProgressBar.h"
#include "recovery/SaveEngine.h"

namespace cmdtest {
namespace {

// The small disk with a 200000-byte file in PUBLIC whose 17th data sector
// cannot be read: the save stops there at the bad-sector question.
nwimage::DiskSpec DiskWithSlowFile() {
    nwimage::DiskSpec d = uitest::SmallDisk();
    auto& entries = d.partitions[0].volumes[0].entries;
    nwimage::EntrySpec big;
    big.name = "BIG.DAT";
    big.size = 200000;
    big.parent = 5;
    big.dateTime = nwimage::PackDateTime(2007, 3, 5, 9, 4, 58);
    entries.insert(entries.begin() + 2, big);
    nwimage::BadArea bad;
    bad.target = nwimage::BadArea::Target::FileData;
    bad.entry = 2;
    bad.offset = 16;
    bad.count = 1;
    d.bad.push_back(bad);
    return d;
}

class StopTest : public CommandsTest {
protected:
    void BrowseSlowDisk() {
        Browse(DiskWithSlowFile(), true);
        CheckRoot();
    }
    // At the bad-sector question: presses a button of "Saving", then "Skip".
    static Modals::Answer PressInSavingThenSkip(const char* button) {
        return [button](QWidget* w) {
            EXPECT_EQ(w->objectName(), "badSectorDialog");
            for (QWidget* top : QApplication::topLevelWidgets())
                if (top->objectName() == "savingDialog")
                    for (QPushButton* b : top->findChildren<QPushButton*>())
                        if (b->text() == button) b->click();
            Modals::Press("Skip")(w);
        };
    }
    std::uint64_t SizeOf(const std::string& path) {
        return std::filesystem::exists(path) ? std::filesystem::file_size(path) : 0;
    }
};

TEST_F(StopTest, SkipLeavesNothingOfTheFileAndGoesOn) {
    BrowseSlowDisk();
    S().policy.BadSectorDecision = disk::kRetry;  // ask at the bad sector
    const std::string out = dir.File("skip");
    SaveTreeInto(out, {PressInSavingThenSkip("S&kip")});
    // The file ends at the block that holds the bad sector; none of it stays.
    EXPECT_FALSE(std::filesystem::exists(out + "/PUBLIC/BIG.DAT"));
    // The next files are whole.
    EXPECT_EQ(SizeOf(out + "/PUBLIC/REPORT.DOC"), 5000u);
    EXPECT_EQ(SizeOf(out + "/PUBLIC/NOTES.TXT"), 700u);
    EXPECT_EQ(SizeOf(out + "/PUBLIC/DOCS/LETTER.DOC"), 3000u);
    EXPECT_EQ(LastSave().skipRequested.load(), 0);
}

TEST_F(StopTest, StopEndsTheJobAfterTheCurrentBlock) {
    BrowseSlowDisk();
    S().policy.BadSectorDecision = disk::kRetry;
    const std::string out = dir.File("stop");
    SaveTreeInto(out, {PressInSavingThenSkip("&Stop")});
    EXPECT_EQ(SizeOf(out + "/README.TXT"), 100u);  // saved before
    EXPECT_FALSE(std::filesystem::exists(out + "/PUBLIC/BIG.DAT"));
    EXPECT_FALSE(std::filesystem::exists(out + "/PUBLIC/REPORT.DOC"));
    EXPECT_FALSE(std::filesystem::exists(out + "/PUBLIC/DOCS/LETTER.DOC"));
    // The job is over and the next one starts clean.
    EXPECT_EQ(LastSave().stopRequested.load(), 0);
    EXPECT_EQ(Shown("savingDialog"), 1);
}

TEST_F(CommandsTest, RawScanStartsChecksAndStops) {
    // A long sparse tail of zeros keeps the scan busy until it is stopped.
    const std::string img = WriteImage(uitest::SmallDisk());
    constexpr std::uint64_t kLastSector = (1ull << 40) / 512 - 1;
    std::filesystem::resize_file(img, 1ull << 40);
    Open({{img, ""}});
    ChooseDiskAndMode(workflow::kModeRaw);
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_EQ(W().currentStep, 1);
    ASSERT_TRUE(P().rawPanel->isVisible());
    QPushButton* start = P().startRecoveryButton;
    ASSERT_TRUE(start->isEnabled());

    // No file type checked.
    QTest::mouseClick(start, Qt::LeftButton);
    ASSERT_TRUE(Settled());
    ASSERT_EQ(modals.seen.size(), 1u);
    EXPECT_EQ(modals.seen[0].text.toStdString(), workflow::kRawSelectFileTypeText);
    EXPECT_EQ(modals.seen[0].icon, QMessageBox::Information);

    P().fileTypeList->topLevelItem(0)->setCheckState(0, Qt::Checked);
    QTest::mouseClick(P().sectorRangeButton, Qt::LeftButton);
    EXPECT_EQ(P().startSectorField->text(), "0");
    EXPECT_EQ(P().endSectorField->text().toULongLong(), kLastSector);
    P().endSectorField->clear();
    QTest::keyClicks(P().endSectorField, "abc");
    modals.seen.clear();
    QTest::mouseClick(start, Qt::LeftButton);
    ASSERT_TRUE(Settled());
    ASSERT_EQ(modals.seen.size(), 1u);
    EXPECT_EQ(modals.seen[0].text.toStdString(), workflow::kRawInvalidEndText);
    EXPECT_EQ(P().endSectorField->text().toULongLong(), kLastSector);  // refilled
    P().endSectorField->clear();
    QTest::keyClicks(P().endSectorField, "2000000000");

    const std::string out = dir.File("raw");
    modals.Queue(TypeFolder(out));
    QTest::mouseClick(start, Qt::LeftButton);
    ASSERT_TRUE(Settled());
    ASSERT_TRUE(WaitFor([&] { return start->text() == app::kRawStopText; }));
    EXPECT_TRUE(window->Commands().RawPanel()->Scanning());
    EXPECT_FALSE(P().fileTypeList->isEnabled());
    EXPECT_FALSE(P().endSectorField->isEnabled());

    // "No" keeps it running; "Yes" stops it and puts the panel back.
    modals.seen.clear();
    modals.Queue(Modals::Click(QMessageBox::No));
    QTest::mouseClick(start, Qt::LeftButton);
    ASSERT_TRUE(Settled());
    ASSERT_EQ(modals.seen.size(), 1u);
    EXPECT_EQ(modals.seen[0].text.toStdString(), workflow::kRawTerminateText);
    EXPECT_TRUE(window->Commands().RawPanel()->Scanning());
    modals.Queue(Modals::Click(QMessageBox::Yes));
    QTest::mouseClick(start, Qt::LeftButton);
    ASSERT_TRUE(Settled());
    ASSERT_TRUE(WaitFor([&] { return !window->Commands().RawPanel()->Scanning(); }));
    ASSERT_TRUE(WaitFor([&] { return start->text() == app::kRawStartText; }));
    EXPECT_TRUE(P().fileTypeList->isEnabled());
    EXPECT_TRUE(P().endSectorField->isEnabled());
    EXPECT_EQ(P().filesRecoveredList->topLevelItemCount(), 0);
    EXPECT_FALSE(window->Commands().RawPanel()->Progress()->isVisible());
    EXPECT_TRUE(std::filesystem::is_directory(out));
}

}  // namespace
}  // namespace cmdtest
