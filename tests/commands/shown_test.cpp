// What the window shows is what will happen: ticks are the selection the
// save takes, a loaded log leads to the layout a search would, modes are
// chosen on purpose, failures come back to a step that can go on.
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>

#include "CommandsFixture.h"
#include "app/BalloonHelp.h"
#include "app/DesktopOpen.h"
#include "app/Messages.h"
#include "app/SavingDialog.h"
#include "ui/CaptionProgressBar.h"
#include "netware/Selection.h"

namespace cmdtest {
namespace {

TEST_F(CommandsTest, FolderBoxesShowTheSelectionTheSaveTakes) {
    Browse();
    QTreeWidgetItem* root = P().directoryTree->topLevelItem(0);
    QTreeWidgetItem* pub = Child(root, "PUBLIC");
    ASSERT_NE(pub, nullptr);
    ClickLabel(P().directoryTree, pub);
    P().detailsList->setFocus();
    P().detailsList->setCurrentItem(Row("DOCS"));
    QTest::keyClick(P().detailsList, Qt::Key_Space);

    // Only DOCS is ticked: PUBLIC's own files are not, so PUBLIC is partial.
    EXPECT_EQ(app::WizardTree::StateImage(Child(pub, "DOCS")), nw::kChecked);
    EXPECT_EQ(app::WizardTree::StateImage(pub), nw::kPartlyChecked);
    EXPECT_EQ(Row("REPORT.DOC")->checkState(0), Qt::Unchecked);
    EXPECT_EQ(Row("NOTES.TXT")->checkState(0), Qt::Unchecked);

    // A click on the partial box selects everything below it.
    ClickCheckBox(P().directoryTree, pub);
    EXPECT_EQ(app::WizardTree::StateImage(pub), nw::kChecked);
    for (const char* name : {"DOCS", "REPORT.DOC", "NOTES.TXT"})
        EXPECT_EQ(Row(name)->checkState(0), Qt::Checked) << name;

    // The save writes exactly what the boxes show.
    const std::string out = dir.File("ticked");
    SaveTreeInto(out);
    for (const char* f : {"PUBLIC/REPORT.DOC", "PUBLIC/NOTES.TXT", "PUBLIC/DOCS/LETTER.DOC"})
        EXPECT_TRUE(std::filesystem::exists(out + "/" + f)) << f;
    EXPECT_FALSE(std::filesystem::exists(out + "/README.TXT"));
}

TEST_F(CommandsTest, LogLoadedAtTheDiskStepLaysOutAsASearchWould) {
    const std::string imagePath = WriteImage(uitest::SmallDisk());
    Open({{imagePath, ""}});
    ChooseDiskAndMode(workflow::kModeQuick);
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_TRUE(AtStep(1));
    const bool modesShownAfterSearch = P().modeButtons[0]->isVisible();
    const bool diskFrameShownAfterSearch = P().diskFrame->isVisible();
    ClickLabel(P().volumeTree, P().volumeTree->topLevelItem(0)->child(0));
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_TRUE(AtStep(2));
    const std::string log = dir.File("JOB.SAV");
    modals.Queue(ChooseFile(log));
    QTest::mouseClick(window->ToolButton(app::MainWindow::Tool::SaveLog), Qt::LeftButton);
    ASSERT_TRUE(Settled());

    window.reset();
    Open({{imagePath, ""}});
    modals.Queue(ChooseFile(log));
    QTest::mouseClick(window->ToolButton(app::MainWindow::Tool::LoadLog), Qt::LeftButton);
    ASSERT_TRUE(Settled());
    ASSERT_TRUE(AtStep(1));
    EXPECT_TRUE(P().volumeTree->isVisible());
    EXPECT_EQ(P().diskFrame->isVisible(), diskFrameShownAfterSearch);
    EXPECT_FALSE(diskFrameShownAfterSearch);
    for (app::ModeButton* b : P().modeButtons) EXPECT_EQ(b->isVisible(), modesShownAfterSearch) << b->Mode();
    EXPECT_FALSE(modesShownAfterSearch);
    // The volume step goes on from the loaded list.
    ClickLabel(P().volumeTree, P().volumeTree->topLevelItem(0)->child(0));
    EXPECT_TRUE(P().nextButton->isEnabled());
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_TRUE(AtStep(2));
    EXPECT_NE(Row("README.TXT"), nullptr);
}

TEST_F(CommandsTest, ModesAreChosenOnPurposeAndShownBesideNext) {
    Open({{WriteImage(uitest::SmallDisk()), ""}});
    ClickLabel(P().diskTree, P().diskTree->topLevelItem(0)->child(0));
    app::ModeButton* quick = P().modeButtons[0];
    app::ModeButton* advanced = P().modeButtons[1];
    app::ModeButton* rawMode = P().modeButtons[2];
    Hover(quick);
    EXPECT_EQ(S().recoveryMode.load(), workflow::kModeQuick);
    EXPECT_TRUE(P().nextModeText->isVisible());
    EXPECT_EQ(P().nextModeText->text(), "Next: Quick search");

    // On the way to Next the pointer crosses Advanced without stopping.
    QTest::mouseMove(advanced, QPoint(12, advanced->height() / 2));
    EXPECT_TRUE(advanced->RestPending());
    QTest::mouseMove(P().nextButton, QPoint(10, 10));
    EXPECT_FALSE(advanced->RestPending());
    EXPECT_EQ(S().recoveryMode.load(), workflow::kModeQuick);

    // A click and Space select too.
    QTest::mouseClick(advanced, Qt::LeftButton);
    EXPECT_EQ(S().recoveryMode.load(), workflow::kModeAdvanced);
    EXPECT_EQ(P().nextModeText->text(), "Next: Advanced search");
    rawMode->setFocus();
    QTest::keyClick(rawMode, Qt::Key_Space);
    EXPECT_EQ(S().recoveryMode.load(), workflow::kModeRaw);

    // Enter on a mode selects it and presses Next.
    quick->setFocus();
    QTest::keyClick(quick, Qt::Key_Return);
    ASSERT_TRUE(AtStep(1));
    EXPECT_EQ(S().recoveryMode.load(), workflow::kModeQuick);
    EXPECT_FALSE(P().nextModeText->isVisible());
    // At the volume step Enter mounts the chosen volume.
    ClickLabel(P().volumeTree, P().volumeTree->topLevelItem(0)->child(0));
    P().volumeTree->setFocus();
    QTest::keyClick(P().volumeTree, Qt::Key_Return);
    ASSERT_TRUE(AtStep(2));
}

TEST_F(CommandsTest, FailedMountGoesBackToTheVolumeStepWithTheReason) {
    Open({{WriteImage(uitest::SmallDisk()), ""}});
    window->Wizard().mountVolume = [](workflow::Session&, nw::MountReport&, const base::CancelFlag*) {
        workflow::MountOutcome failed;
        failed.notice = workflow::ErrorNotice("Out Of Memory");
        return failed;
    };
    ChooseDiskAndMode(workflow::kModeQuick);
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_TRUE(AtStep(1));
    ClickLabel(P().volumeTree, P().volumeTree->topLevelItem(0)->child(0));
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !Busy(); }));
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    ASSERT_TRUE(Settled());
    EXPECT_EQ(endedProcess, 0);
    ASSERT_FALSE(modals.seen.empty());
    EXPECT_EQ(modals.seen.back().text, "Out Of Memory");
    EXPECT_EQ(W().currentStep, 1);
    EXPECT_TRUE(P().volumeTree->isVisible());
    EXPECT_TRUE(P().volumeTree->isEnabled());
    EXPECT_TRUE(P().backButton->isEnabled());
    EXPECT_TRUE(P().statusLine->text().contains("Out Of Memory"));

    // The same volume (or another) can be tried again.
    window->Wizard().mountVolume = &workflow::MountChosenVolume;
    ClickLabel(P().volumeTree, P().volumeTree->topLevelItem(0)->child(0));
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_TRUE(AtStep(2));
    EXPECT_NE(Row("README.TXT"), nullptr);
}

TEST_F(CommandsTest, SmallFaultsOfTheWindow) {
    // A long disk name fits the disk tree at the default size; disks and
    // volumes carry no check boxes that would do nothing.
    nwimage::DiskSpec desc = uitest::SmallDisk();
    nwimage::BadArea bad;
    bad.target = nwimage::BadArea::Target::FileData;
    bad.entry = 2;  // REPORT.DOC
    desc.bad.push_back(bad);
    const std::string path = WriteImage(desc, "FINANCESERVER.img");
    testutil::WriteFile(dir.File("disk.map"), nwimage::MapfileText(image));
    Open({{path, dir.File("disk.map")}});
    QTreeWidgetItem* disk = P().diskTree->topLevelItem(0)->child(0);
    EXPECT_EQ(disk->text(0), "Disk0 (FINANCESERVER.img)");
    EXPECT_FALSE(disk->data(0, Qt::CheckStateRole).isValid());
    EXPECT_LE(P().diskTree->visualItemRect(disk).left() + 4 +
                  P().diskTree->iconSize().width() + P().diskTree->fontMetrics().horizontalAdvance(disk->text(0)),
              P().diskTree->viewport()->width());
    ChooseDiskAndMode(workflow::kModeQuick);
    app::BalloonHelp* help = app::BalloonHelp::Of(window.get());
    ASSERT_NE(help, nullptr);
    ASSERT_TRUE(help->ModeBalloon() && help->ModeBalloon()->isVisible());
    // Next from the keyboard: the mode balloon goes with the mode buttons.
    P().modeButtons[0]->setFocus();
    QTest::keyClick(P().modeButtons[0], Qt::Key_Return);
    SearchDone();
    EXPECT_TRUE(!help->ModeBalloon() || !help->ModeBalloon()->isVisible());
    QTreeWidgetItem* sys = P().volumeTree->topLevelItem(0)->child(0);
    EXPECT_FALSE(sys->data(0, Qt::CheckStateRole).isValid());
    ClickCheckBox(P().volumeTree, sys);  // where a box used to be: nothing
    EXPECT_FALSE(sys->data(0, Qt::CheckStateRole).isValid());
    // The volume's details include its size.
    ClickLabel(P().volumeTree, sys);
    bool sized = false;
    for (int i = 0; i < P().detailsList->topLevelItemCount(); ++i)
        sized = sized || P().detailsList->topLevelItem(i)->text(0).startsWith("Volume Size");
    EXPECT_TRUE(sized);
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_TRUE(AtStep(2));

    // 1024-byte units are named KiB and MiB.
    EXPECT_EQ(app::SizeText(64 * 1024), "64.0 KiB");
    EXPECT_EQ(app::SizeText(3 * 1024 * 1024), "3.0 MiB");

    // Save Log says where it wrote the log.
    modals.Queue(ChooseFile(dir.File("job")));
    QTest::mouseClick(window->ToolButton(app::MainWindow::Tool::SaveLog), Qt::LeftButton);
    ASSERT_TRUE(Settled());
    ASSERT_FALSE(modals.seen.empty());
    EXPECT_EQ(modals.seen.back().icon, QMessageBox::Information);
    EXPECT_TRUE(modals.seen.back().text.contains("JOB.SAV")) << modals.seen.back().text.toStdString();
}

TEST_F(CommandsTest, SaveProgressMovesWithinALargeFile) {
    Browse();
    // The save's worker reports a 700 MB file as it copies it; the dialog
    // is not shown, so no worker of its own runs.
    recovery::SaveJob job;
    job.totalBytes = 734003200;
    app::SavingDialog dialog(S(), job, workflow::SaveRequest{}, window.get());
    recovery::FileFigures figures;
    figures.name = "BIG.DAT";
    figures.totalBytes = job.totalBytes;
    dialog.FileStarted(figures);
    dialog.SectorWritten(712310272, 734003200);
    auto* progress = dialog.findChild<ui::CaptionProgressBar*>("saveProgress");
    auto* total = dialog.findChild<QLabel*>("totalData");
    auto* current = dialog.findChild<QLabel*>("currentFile");
    ASSERT_TRUE(progress && total && current);
    ASSERT_TRUE(WaitFor([&] { return progress->value() > 0; }));
    EXPECT_EQ(progress->value(), 97);
    EXPECT_EQ(total->text(), "679.3 MiB of 700.0 MiB");
    EXPECT_EQ(current->text(), "679.3 MiB of 700.0 MiB");
}

TEST_F(CommandsTest, HandOffsThatFailSayWhyAndOfferThePath) {
    Open({{WriteImage(uitest::SmallDisk()), ""}});
    // The opener's exit status is the verdict, not its start.
    QString reason;
    app::OpenWithProgram("false", "/tmp/x.txt", window.get(), [&](const QString& r) { reason = r; });
    ASSERT_TRUE(WaitFor([&] { return !reason.isEmpty(); }));
    EXPECT_EQ(reason, app::OpenerFailureText(1));
    EXPECT_EQ(app::OpenerFailureText(3), "no program on this system is set up to open it");
    reason.clear();
    app::OpenWithProgram(QString::fromStdString(dir.File("no-such-opener")), "/tmp/x.txt", window.get(), [&](const QString& r) { reason = r; });
    ASSERT_TRUE(WaitFor([&] { return !reason.isEmpty(); }));
    EXPECT_TRUE(reason.endsWith("could not be started")) << reason.toStdString();

    // Nothing opened it: the window says so and copies the path on request.
    window->shellOpen = [](const QString&, bool) { return false; };
    modals.Queue(Modals::Press("Copy path"));
    window->OpenWithDesktop("/tmp/x.txt", false);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(modals.seen.back().icon, QMessageBox::Warning);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "/tmp/x.txt");

    // "Open With" a program that does not exist says so.
    modals.Queue([this](QWidget* w) {
        auto* field = w->findChild<QLineEdit*>();
        ASSERT_NE(field, nullptr);
        field->setText(QString::fromStdString(dir.File("no-such-program")));
        static_cast<QDialog*>(w)->accept();
    });
    const std::size_t before = modals.seen.size();
    window->Commands().openWith("/tmp/x.txt");
    ASSERT_TRUE(Settled());
    ASSERT_EQ(modals.seen.size(), before + 2);
    EXPECT_TRUE(modals.seen.back().text.contains("could not be started")) << modals.seen.back().text.toStdString();
}

TEST_F(CommandsTest, QuickSearchReadsTheDiskOnAWorker) {
    nwimage::DiskSpec desc = uitest::SmallDisk();
    nwimage::BadArea bad;
    bad.sector = 0;  // the partition table
    desc.bad.push_back(bad);
    const std::string path = WriteImage(desc);
    testutil::WriteFile(dir.File("disk.map"), nwimage::MapfileText(image));
    Open({{path, dir.File("disk.map")}});
    S().policy.BadSectorDecision = disk::kRetry;
    ChooseDiskAndMode(workflow::kModeQuick);
    // The bad-sector question comes from the search worker, with the
    // window's own loop running.
    bool askedFromWorker = false;
    modals.Queue([&](QWidget* w) {
        askedFromWorker = W().searchWorker.Running();
        static_cast<QDialog*>(w)->reject();
    });
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    SearchDone();
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(askedFromWorker);
    EXPECT_FALSE(modals.seen.empty());
}

}  // namespace
}  // namespace cmdtest
