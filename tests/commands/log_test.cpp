// Save Log and Load Log through their file dialogs, across a restart of the
// window, and a save from the loaded state.
#include "CommandsFixture.h"
#include "records/RecoveryLog.h"
#include "recovery/SaveEngine.h"

namespace cmdtest {
namespace {

TEST_F(CommandsTest, SavedLogReloadsInANewWindowAtBothSteps) {
    const std::string imagePath = WriteImage(uitest::SmallDisk());
    Open({{imagePath, ""}});
    ChooseDiskAndMode(workflow::kModeQuick);
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    SearchDone();
    ClickLabel(P().volumeTree, P().volumeTree->topLevelItem(0)->child(0));
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_TRUE(AtStep(2));
    ASSERT_TRUE(WaitFor([&] { return P().directoryTree->isEnabled(); }));
    const std::size_t files = S().mounted.FileList.Size();

    // The name is upper-cased and gets ".SAV".
    modals.Queue(ChooseFile(dir.File("job")));
    QTest::mouseClick(window->ToolButton(app::MainWindow::Tool::SaveLog), Qt::LeftButton);
    ASSERT_TRUE(Settled());
    const std::string log = dir.File("JOB.SAV");
    ASSERT_TRUE(std::filesystem::exists(log));
    // The file dialog, then where the log went.
    ASSERT_GE(modals.seen.size(), 2u);
    EXPECT_EQ(modals.seen[modals.seen.size() - 2].className, "QFileDialog");
    EXPECT_TRUE(modals.seen.back().text.contains("JOB.SAV"));

    // A new run of the window.
    window.reset();
    Open({{imagePath, ""}});
    ASSERT_EQ(W().currentStep, 0);

    // At the disk step the log gives the volume list.
    modals.Queue(ChooseFile(log));
    QTest::mouseClick(window->ToolButton(app::MainWindow::Tool::LoadLog), Qt::LeftButton);
    ASSERT_TRUE(Settled());
    ASSERT_TRUE(AtStep(1));
    ASSERT_TRUE(P().volumeTree->isVisible());
    QTreeWidgetItem* volumes = P().volumeTree->topLevelItem(0);
    ASSERT_NE(volumes, nullptr);
    ASSERT_EQ(volumes->childCount(), 1);
    EXPECT_EQ(volumes->child(0)->text(0), "SYS");

    // At the volume step it gives the mounted volume: browsing, no mount.
    modals.Queue(ChooseFile(log));
    P().loadLogAction->trigger();
    ASSERT_TRUE(Settled());
    ASSERT_TRUE(AtStep(2));
    EXPECT_FALSE(W().mountWorker.Running());
    EXPECT_EQ(S().mounted.FileList.Size(), files);
    EXPECT_TRUE(P().directoryTree->isVisible());
    EXPECT_EQ(P().statusLine->text(), "SYS:\\");
    EXPECT_NE(Row("README.TXT"), nullptr);
    EXPECT_FALSE(P().loadLogAction->isEnabled());

    // The loaded state saves like a mounted one.
    CheckRoot();
    const std::string out = dir.File("from-log");
    SaveTreeInto(out);
    ExpectSavedAsManifest(out);

    // At step 2 the tool is greyed.
    modals.seen.clear();
    QTest::mouseClick(window->ToolButton(app::MainWindow::Tool::LoadLog), Qt::LeftButton);
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(modals.seen.empty());
    EXPECT_FALSE(window->ToolButton(app::MainWindow::Tool::LoadLog)->isEnabled());
}

TEST_F(CommandsTest, LoadLogRefusesRawModeAndForeignFiles) {
    Open({{WriteImage(uitest::SmallDisk()), ""}});
    const std::string foreign = dir.File("foreign.sav");
    testutil::WriteFile(foreign, "not a recovery log at all");
    modals.Queue(ChooseFile(foreign));
    P().loadLogAction->trigger();
    ASSERT_TRUE(Settled());
    SearchDone();  // the log is read on the search worker
    ASSERT_TRUE(Settled());
    ASSERT_EQ(modals.seen.size(), 2u);
    EXPECT_EQ(modals.seen[1].text.left(19), "Unable to open file");
    EXPECT_EQ(W().currentStep, 0);

    ChooseDiskAndMode(workflow::kModeRaw);
    modals.seen.clear();
    P().loadLogAction->trigger();
    ASSERT_TRUE(Settled());
    ASSERT_EQ(modals.seen.size(), 1u);  // no file dialog
    EXPECT_EQ(modals.seen[0].text.toStdString(), records::kLoadLogRawModeText);
}

}  // namespace
}  // namespace cmdtest
