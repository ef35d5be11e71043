// Whole recoveries through the window: disk, mode, search, volume, mount,
// browsing with check boxes, and back again.
#include <filesystem>

#include "UiFixture.h"
#include "common/TempDir.h"
#include "netware/Selection.h"
#include "records/ActivityLog.h"
#include "workflow/Session.h"

namespace uitest {
namespace {

TEST_F(WindowTest, QuickRecoveryWalk) {
    Open({{WriteImage(SmallDisk()), ""}});
    workflow::Session& s = S();
    app::WindowState& w = W();
    Shot("0-start");
    // Nothing can be chosen before a disk.
    EXPECT_FALSE(P().modeButtons[0]->isEnabled());
    EXPECT_FALSE(P().nextButton->isEnabled());
    EXPECT_TRUE(P().backButton->isHidden());

    // Clicking "My Computer" chooses nothing.
    QTreeWidgetItem* root = P().diskTree->topLevelItem(0);
    ASSERT_EQ(root->text(0), "My Computer");
    ClickLabel(P().diskTree, root);
    EXPECT_TRUE(s.selectedDiskLabel.empty());
    EXPECT_FALSE(P().modeButtons[0]->isEnabled());

    ClickLabel(P().diskTree, Child(root, "Disk0 (disk.img)"));
    EXPECT_EQ(s.selectedDiskLabel, "Disk0");
    ASSERT_GE(P().detailsList->topLevelItemCount(), 1);
    EXPECT_EQ(P().detailsList->topLevelItem(0)->text(0), "Physical Disk Number : Disk0");
    EXPECT_EQ(window->Wizard().PictureShown(), 2);
    EXPECT_TRUE(P().modeButtons[0]->isEnabled());
    EXPECT_FALSE(P().nextButton->isEnabled());

    // The pointer selects a mode; a click adds nothing.
    Hover(P().modeButtons[0]);
    EXPECT_EQ(s.recoveryMode.load(), workflow::kModeQuick);
    EXPECT_TRUE(P().modeButtons[0]->isChecked());
    EXPECT_TRUE(P().nextButton->isEnabled());
    Hover(P().modeButtons[1]);
    EXPECT_EQ(s.recoveryMode.load(), workflow::kModeAdvanced);
    EXPECT_FALSE(P().modeButtons[0]->isChecked());
    QTest::mouseClick(P().modeButtons[2], Qt::LeftButton);  // a click selects too
    EXPECT_EQ(s.recoveryMode.load(), workflow::kModeRaw);
    Hover(P().modeButtons[0]);
    EXPECT_EQ(s.recoveryMode.load(), workflow::kModeQuick);
    EXPECT_FALSE(P().modeButtons[2]->isChecked());
    Shot("1-disk-and-mode");

    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_TRUE(AtStep(1));
    EXPECT_TRUE(P().volumeTree->isVisible());
    EXPECT_FALSE(P().diskTree->isVisible());
    EXPECT_TRUE(P().backButton->isVisible());
    EXPECT_FALSE(P().nextButton->isEnabled());
    QTreeWidgetItem* volumeRoot = P().volumeTree->topLevelItem(0);
    ASSERT_NE(volumeRoot, nullptr);
    EXPECT_EQ(volumeRoot->text(0), "Disk 0");
    QTreeWidgetItem* sys = Child(volumeRoot, "SYS");
    ASSERT_NE(sys, nullptr);
    const std::string log = testutil::ReadFile(S().activityLog.path);
    EXPECT_NE(log.find("Selected Disk : 0\r\nModel Number : Disk Image\r\nSelected Mode : QUICK"), std::string::npos);
    EXPECT_NE(log.find("Total Volumes Found : 1"), std::string::npos);

    // The disk root of the volume tree does nothing; the volume shows its facts.
    ClickLabel(P().volumeTree, volumeRoot);
    EXPECT_FALSE(P().nextButton->isEnabled());
    ClickLabel(P().volumeTree, sys);
    EXPECT_EQ(s.selectedVolumeName, "SYS");
    ASSERT_EQ(P().detailsList->topLevelItemCount(), 9);
    EXPECT_EQ(P().detailsList->topLevelItem(8)->text(0), "Volume Size       :   7.8 MiB (16000 sectors)");
    EXPECT_EQ(P().detailsList->topLevelItem(0)->text(0), "Volume Name   :   SYS");
    EXPECT_EQ(P().detailsList->topLevelItem(7)->text(0), "Cluster Size       :   8");
    EXPECT_EQ(P().detailsList->topLevelItem(1)->text(0).toStdString(),
              "Volume Start     :   " + std::to_string(image.volumes[0].startSector));
    EXPECT_TRUE(P().nextButton->isEnabled());
    Shot("2-volumes");

    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_TRUE(AtStep(2));
    ASSERT_TRUE(WaitFor([&] { return P().directoryTree->isEnabled(); }));
    EXPECT_FALSE(P().volumeTree->isVisible());
    EXPECT_TRUE(P().directoryTree->isVisible());
    EXPECT_TRUE(P().backButton->isEnabled());
    EXPECT_TRUE(P().saveAction->isEnabled());
    EXPECT_FALSE(P().loadLogAction->isEnabled());
    EXPECT_EQ(P().detailsList->columnCount(), 7);
    EXPECT_EQ(P().statusLine->text(), "SYS:\\");
    ASSERT_TRUE(WaitFor([&] { return Row("README.TXT") != nullptr; }));
    EXPECT_NE(Row("PUBLIC"), nullptr);
    EXPECT_NE(Row("LOST"), nullptr);
    EXPECT_EQ(Row("README.TXT")->text(1), "Text FILE");
    EXPECT_NE(testutil::ReadFile(S().activityLog.path).find("No of Folders Found : 4\r\nNo of Files Found : 4"), std::string::npos);

    // The orphan sits under LOST, the last child of the root.
    QTreeWidgetItem* dirRoot = P().directoryTree->topLevelItem(0);
    ASSERT_EQ(dirRoot->text(0), "SYS");
    ASSERT_EQ(dirRoot->child(dirRoot->childCount() - 1)->text(0), "LOST");
    EXPECT_NE(Child(dirRoot->child(dirRoot->childCount() - 1), "OLD"), nullptr);

    // A folder click lists its contents, folders first.
    QTreeWidgetItem* pub = Child(dirRoot, "PUBLIC");
    ClickLabel(P().directoryTree, pub);
    EXPECT_EQ(P().statusLine->text(), "SYS:\\PUBLIC");
    EXPECT_EQ(RowTexts(), (std::vector<std::string>{"DOCS", "REPORT.DOC", "NOTES.TXT"}));
    EXPECT_EQ(Row("REPORT.DOC")->text(1), "Microsoft Word FILE");
    EXPECT_EQ(Row("REPORT.DOC")->text(3), "05-Mar-2007");
    EXPECT_EQ(Row("REPORT.DOC")->checkState(0), Qt::Unchecked);
    Shot("3-browse");

    // Checking the shown folder checks its records and re-lists them.
    ClickCheckBox(P().directoryTree, pub);
    EXPECT_EQ(P().directoryTree->StateImage(pub), nw::kChecked);
    EXPECT_EQ(P().directoryTree->StateImage(Child(pub, "DOCS")), nw::kChecked);
    EXPECT_EQ(P().directoryTree->StateImage(dirRoot), nw::kPartlyChecked);
    EXPECT_EQ(Row("REPORT.DOC")->checkState(0), Qt::Checked);
    for (std::size_t i = 0; i < s.mounted.FileList.Size(); ++i)
        EXPECT_EQ(s.selection.FileChecked(i), s.mounted.FileList[i].name != "README.TXT") << s.mounted.FileList[i].name;
    EXPECT_EQ(P().directoryTree->LastCheckBoxItem(), pub);
    // The check-box click did not list the folder or move the selection.
    EXPECT_EQ(P().statusLine->text(), "SYS:\\PUBLIC");
    Shot("4-checked");

    // A partly checked root's click selects everything; the next clears it.
    ClickCheckBox(P().directoryTree, dirRoot);
    EXPECT_EQ(P().directoryTree->StateImage(dirRoot), nw::kChecked);
    for (std::size_t i = 0; i < s.mounted.FileList.Size(); ++i) EXPECT_TRUE(s.selection.FileChecked(i)) << i;
    ClickCheckBox(P().directoryTree, dirRoot);
    EXPECT_EQ(P().directoryTree->StateImage(dirRoot), nw::kUnchecked);
    EXPECT_EQ(P().directoryTree->StateImage(Child(pub, "DOCS")), nw::kUnchecked);
    EXPECT_FALSE(s.selection.Any());
    EXPECT_EQ(Row("REPORT.DOC")->checkState(0), Qt::Unchecked);

    // Double-clicking a folder row selects and opens it in the tree.
    QTreeWidgetItem* docsRow = Row("DOCS");
    ASSERT_NE(docsRow, nullptr);
    const QRect r = P().detailsList->visualItemRect(docsRow);
    QTest::mouseDClick(P().detailsList->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
    EXPECT_EQ(P().statusLine->text(), "SYS:\\PUBLIC\\DOCS");
    EXPECT_EQ(P().directoryTree->currentItem(), Child(pub, "DOCS"));
    EXPECT_TRUE(pub->isExpanded());
    EXPECT_EQ(RowTexts(), (std::vector<std::string>{"LETTER.DOC"}));
    EXPECT_TRUE(w.treeHasFocus);

    // Back empties the records and returns to the volume list.
    QTest::mouseClick(P().backButton, Qt::LeftButton);
    EXPECT_EQ(w.currentStep, 1);
    EXPECT_TRUE(s.mounted.FolderList.Empty());
    EXPECT_TRUE(s.mounted.FileList.Empty());
    EXPECT_TRUE(P().volumeTree->isVisible());
    EXPECT_FALSE(P().directoryTree->isVisible());
    EXPECT_EQ(P().detailsList->columnCount(), 1);
    EXPECT_EQ(P().detailsList->headerItem()->text(0), QString(69, ' ') + "Details");
    EXPECT_FALSE(P().saveAction->isEnabled());
    EXPECT_TRUE(P().loadLogAction->isEnabled());

    // Next mounts again from scratch.
    ClickLabel(P().volumeTree, Child(P().volumeTree->topLevelItem(0), "SYS"));
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_TRUE(AtStep(2));
    EXPECT_EQ(s.mounted.FolderList.Size(), 4u);

    // Back twice: the start, the disk still chosen, the mode buttons
    // usable and unchecked.
    QTest::mouseClick(P().backButton, Qt::LeftButton);
    QTest::mouseClick(P().backButton, Qt::LeftButton);
    EXPECT_EQ(w.currentStep, 0);
    EXPECT_TRUE(P().diskTree->isVisible());
    EXPECT_TRUE(P().backButton->isHidden());
    for (auto* b : P().modeButtons) {
        EXPECT_TRUE(b->isEnabled());
        EXPECT_FALSE(b->isChecked());
    }
    EXPECT_TRUE(modals.seen.empty()) << modals.seen.front().text.toStdString();
}

// Sector 0 is gone: the quick search finds nothing, the advanced one does.
TEST_F(WindowTest, AdvancedRecoveryAfterQuickFindsNothing) {
    nwimage::DiskSpec desc = SmallDisk();
    desc.wipeSector0 = true;
    Open({{WriteImage(desc), ""}});

    ChooseDiskAndMode(workflow::kModeQuick);
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    SearchDone();
    ASSERT_EQ(modals.seen.size(), 1u);
    EXPECT_EQ(modals.seen[0].text, "No volume found, use advance mode");
    EXPECT_EQ(modals.seen[0].icon, QMessageBox::Information);
    EXPECT_EQ(modals.seen[0].title, base::kProductTitle);
    EXPECT_EQ(W().currentStep, 0);
    EXPECT_TRUE(P().diskTree->isEnabled());
    EXPECT_FALSE(P().modeButtons[1]->isEnabled());

    ChooseDiskAndMode(workflow::kModeAdvanced);
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    EXPECT_EQ(window->Wizard().PictureShown(), 5);
    ASSERT_TRUE(AtStep(1));
    ASSERT_TRUE(WaitFor([&] { return P().volumeTree->isVisible() && P().volumeTree->isEnabled(); }));
    EXPECT_EQ(window->Wizard().PictureShown(), 6);
    EXPECT_FALSE(P().stopButton->isVisible());
    EXPECT_NE(testutil::ReadFile(S().activityLog.path).find("Selected Mode : Advance"), std::string::npos);
    QTreeWidgetItem* vol = Child(P().volumeTree->topLevelItem(0), "Volume 0");
    ASSERT_NE(vol, nullptr);
    ClickLabel(P().volumeTree, vol);
    EXPECT_EQ(P().detailsList->topLevelItem(1)->text(0).toStdString(),
              "Volume Start     :   " + std::to_string(image.volumes[0].startSector));
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_TRUE(AtStep(2));
    ASSERT_TRUE(WaitFor([&] { return Row("PUBLIC") != nullptr; }));
    EXPECT_EQ(window->Wizard().PictureShown(), 9);
    EXPECT_EQ(P().directoryTree->topLevelItem(0)->text(0), "Volume 0");
}

// A disk far larger than its one volume, so that the scan is still running
// when Stop is answered.
class StopTest : public WindowTest {
protected:
    std::string HugeDisk(bool withVolume) {
        nwimage::DiskSpec desc = SmallDisk();
        if (!withVolume) desc.partitions.clear(), desc.totalSectors = 64;
        const std::string path = WriteImage(desc);
        std::filesystem::resize_file(path, 64ull << 30);  // sparse
        return path;
    }
};

TEST_F(StopTest, StopKeepsTheVolumesFoundSoFar) {
    Open({{HugeDisk(true), ""}});
    ChooseDiskAndMode(workflow::kModeAdvanced);
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    EXPECT_TRUE(P().stopButton->isVisible());
    EXPECT_EQ(P().statusLine->text(), "Searching Volumes Phase 1/2");
    ASSERT_TRUE(WaitFor([&] { return S().found.Count() == 1; }));
    EXPECT_TRUE(WaitFor([&] { return P().volumeCountText->text() == "Volumes Found : 1"; }));
    modals.Queue(Modals::Click(QMessageBox::Yes));
    QTest::mouseClick(P().stopButton, Qt::LeftButton);
    ASSERT_TRUE(AtStep(1));
    ASSERT_EQ(modals.seen.size(), 2u);
    EXPECT_EQ(modals.seen[0].text, "Do you want to stop this process");
    EXPECT_EQ(modals.seen[0].icon, QMessageBox::Question);
    EXPECT_EQ(modals.seen[1].text, "Search stopped: 1 volume found");
    EXPECT_FALSE(W().searchStop.load());
    EXPECT_NE(Child(P().volumeTree->topLevelItem(0), "Volume 0"), nullptr);
}

TEST_F(StopTest, StopBeforeAnyFindReturnsToTheStart) {
    Open({{HugeDisk(false), ""}});
    app::WindowState& w = W();
    ChooseDiskAndMode(workflow::kModeAdvanced);
    // No at first: the search goes on.
    modals.Queue(Modals::Click(QMessageBox::No));
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    QTest::mouseClick(P().stopButton, Qt::LeftButton);
    EXPECT_FALSE(w.searchStop.load());
    EXPECT_TRUE(w.searchWorker.Running());
    modals.Queue(Modals::Click(QMessageBox::Yes));
    QTest::mouseClick(P().stopButton, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !w.searchWorker.Running(); }));
    ASSERT_TRUE(WaitFor([&] { return modals.seen.size() == 3; }));
    // Said as what the stopped search found, not as an empty disk.
    EXPECT_EQ(modals.seen[2].text, "Search stopped: 0 volumes found");
    EXPECT_EQ(modals.seen[2].icon, QMessageBox::Information);
    ASSERT_TRUE(WaitFor([&] { return P().diskTree->isEnabled(); }));
    EXPECT_EQ(w.currentStep, 0);
    EXPECT_FALSE(P().stopButton->isVisible());
    EXPECT_FALSE(P().searchProgress->isVisible());
}

// A "Yes" that arrives after the process ended must not cancel the next
// search before it starts.
TEST_F(StopTest, LateStopAnswerDoesNotCancelTheNextSearch) {
    Open({{WriteImage(SmallDisk()), ""}});
    app::WindowState& w = W();
    ChooseDiskAndMode(workflow::kModeAdvanced);
    P().stopButton->show();
    P().stopButton->setEnabled(true);
    modals.Queue(Modals::Click(QMessageBox::Yes));
    QTest::mouseClick(P().stopButton, Qt::LeftButton);  // nothing runs
    EXPECT_FALSE(w.searchStop.load());
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_TRUE(AtStep(1));
    EXPECT_EQ(S().found.Count(), 1u);
}

// The quick search reads the tables on a worker: Stop, pressed while a bad
// sector of the partition table is being asked about, ends it before its
// next read and the mode step comes back.
TEST_F(StopTest, StopEndsTheQuickSearch) {
    nwimage::DiskSpec desc = SmallDisk();
    nwimage::BadArea bad;
    bad.sector = 0;
    desc.bad.push_back(bad);
    const std::string path = WriteImage(desc);
    testutil::WriteFile(dir.File("disk.map"), nwimage::MapfileText(image));
    Open({{path, dir.File("disk.map")}});
    S().policy.BadSectorDecision = disk::kRetry;
    ChooseDiskAndMode(workflow::kModeQuick);
    modals.Queue([this](QWidget* question) {
        EXPECT_EQ(question->windowTitle(), "Bad Sector Encountered");
        EXPECT_TRUE(P().stopButton->isVisible());
        QTimer::singleShot(0, [this, question] {
            P().stopButton->click();  // answered Yes below, then the sector is skipped
            Modals::Press("Skip")(question);
        });
    });
    modals.Queue(Modals::Click(QMessageBox::Yes));
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !W().searchWorker.Running() && modals.seen.size() >= 3; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(modals.seen[1].text, "Do you want to stop this process");
    EXPECT_EQ(modals.seen[2].text, "Search stopped: 0 volumes found");
    EXPECT_EQ(modals.seen.size(), 3u);  // one bad sector asked about, no "No volume found"
    EXPECT_EQ(W().currentStep, 0);
    EXPECT_TRUE(P().diskTree->isEnabled());
    EXPECT_FALSE(P().stopButton->isVisible());
    EXPECT_FALSE(W().searchStop.load());
}

TEST_F(StopTest, StopDuringTheLostFolderPhaseEndsOnlyThatPhase) {
    Open({{WriteImage(SmallDisk()), ""}});
    app::WindowState& w = W();
    w.lostFolderScanActive = true;  // as the mount's report sets it when the phase begins
    P().stopButton->show();
    P().stopButton->setEnabled(true);
    modals.Queue(Modals::Click(QMessageBox::Yes));
    QTest::mouseClick(P().stopButton, Qt::LeftButton);
    EXPECT_FALSE(w.lostFolderScanActive);
    EXPECT_TRUE(w.lostScanStop.load());
    EXPECT_FALSE(w.searchStop.load());
}

TEST_F(WindowTest, UnequalFatCopiesAskWhichToUse) {
    nwimage::DiskSpec desc = SmallDisk();
    desc.partitions[0].volumes[0].breakFat2At = 1;
    desc.partitions[0].volumes[0].mountFat = 2;
    Open({{WriteImage(desc), ""}});
    ChooseDiskAndMode(workflow::kModeQuick);
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    SearchDone();
    ClickLabel(P().volumeTree, Child(P().volumeTree->topLevelItem(0), "SYS"));
    modals.Queue([](QWidget* d) {
        EXPECT_TRUE(d->findChild<QRadioButton*>("fat1")->isChecked());
        auto* fat2 = d->findChild<QRadioButton*>("fat2");
        // on the indicator: the text label ends long before the button does
        QTest::mouseClick(fat2, Qt::LeftButton, Qt::NoModifier, QPoint(8, fat2->height() / 2));
        ASSERT_TRUE(fat2->isChecked());
        Modals::Press("OK")(d);
    });
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_TRUE(AtStep(2));
    ASSERT_EQ(modals.seen.size(), 1u);
    EXPECT_EQ(modals.seen[0].title, "Select FAT to use");
    EXPECT_EQ(S().mounted.fatChoice, 2);

    // Cancel mounts with FAT1.
    QTest::mouseClick(P().backButton, Qt::LeftButton);
    ClickLabel(P().volumeTree, Child(P().volumeTree->topLevelItem(0), "SYS"));
    modals.Queue(Modals::Press("Cancel"));
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_TRUE(AtStep(2));
    EXPECT_EQ(S().mounted.fatChoice, 1);
}

TEST_F(WindowTest, BadSectorsAreAskedAboutFromTheMount) {
    ChooseVolumeWithBadDirectorySectors();
    modals.Queue([](QWidget* d) {
        EXPECT_EQ(d->windowTitle(), "Bad Sector Encountered");
        Modals::Press("Skip All")(d);
    });
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_TRUE(AtStep(2));
    ASSERT_GE(modals.seen.size(), 1u);
    EXPECT_EQ(modals.seen[0].title, "Bad Sector Encountered");
    EXPECT_EQ(S().policy.BadSectorDecision.load(), disk::kSkipAll);
}

// The window goes away while the mount waits for "Bad Sector Encountered":
// the question is answered as closing it would be, the mount ends, and
// nothing waits for anything any more.
TEST_F(WindowTest, ClosingTheWindowAnswersTheMountsQuestion) {
    ChooseVolumeWithBadDirectorySectors();
    int asked = 0;
    modals.Queue([&](QWidget* d) {
        ++asked;
        EXPECT_EQ(d->windowTitle(), "Bad Sector Encountered");
        window.reset();  // the question goes with its window
    });
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !window; }));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(WindowTest, RawPanelComesAndGoes) {
    Open({{WriteImage(SmallDisk()), ""}});
    app::WindowState& w = W();
    ChooseDiskAndMode(workflow::kModeRaw);
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    EXPECT_EQ(w.currentStep, 1);
    EXPECT_TRUE(P().rawPanel->isVisible());
    EXPECT_FALSE(P().detailsList->isVisible());
    EXPECT_FALSE(P().diskTree->isVisible());
    EXPECT_TRUE(P().entireDiskButton->isChecked());
    EXPECT_TRUE(P().startRecoveryButton->isEnabled());
    EXPECT_EQ(P().fileTypeList->topLevelItemCount(), 4);
    Shot("5-raw");

    QTest::mouseClick(P().sectorRangeButton, Qt::LeftButton);
    EXPECT_EQ(P().startSectorField->text(), "0");
    EXPECT_EQ(P().endSectorField->text().toULongLong(), image.totalSectors - 1);  // the last sector
    EXPECT_TRUE(w.rangeIsSectorRange);
    QTest::mouseClick(P().entireDiskButton, Qt::LeftButton);
    EXPECT_TRUE(P().endSectorField->text().isEmpty());
    EXPECT_FALSE(P().endSectorField->isEnabled());
    EXPECT_TRUE(w.rangeIsWholeDisk);

    QTest::mouseClick(P().backButton, Qt::LeftButton);
    EXPECT_EQ(w.currentStep, 0);
    EXPECT_FALSE(P().rawPanel->isVisible());
    EXPECT_TRUE(P().detailsList->isVisible());
    EXPECT_TRUE(P().diskTree->isVisible());
    EXPECT_FALSE(P().startRecoveryButton->isEnabled());
    for (auto* b : P().modeButtons) {
        EXPECT_TRUE(b->isVisible());
        EXPECT_TRUE(b->isEnabled());
        EXPECT_FALSE(b->isChecked());
    }
}

}  // namespace
}  // namespace uitest
