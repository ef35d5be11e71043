// The window as a new user meets it: what the panels show is what counts,
// questions about finished work go away, disks are told apart, every step
// is reachable by keyboard, Back leaves a usable first step, failures are
// shown, and the window grows and remembers its size.
#include <QFileDialog>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <filesystem>

#include "UiFixture.h"
#include "app/Startup.h"
#include "app/WindowCommands.h"
#include "disk/DiskCatalogue.h"
#include "netware/Selection.h"

namespace uitest {
namespace {

TEST_F(WindowTest, RawPanelTakesTheEntireDiskItShowsChosen) {
    Open({{WriteImage(SmallDisk()), ""}});
    ChooseDiskAndMode(workflow::kModeRaw);
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_TRUE(P().entireDiskButton->isChecked());
    P().fileTypeList->topLevelItem(0)->setCheckState(0, Qt::Checked);
    modals.Queue([](QWidget* d) { static_cast<QDialog*>(d)->reject(); });
    QTest::mouseClick(P().startRecoveryButton, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !modals.Pending(); }));
    // No range complaint: the destination is asked for at once.
    ASSERT_EQ(modals.seen.size(), 1u);
    EXPECT_EQ(modals.seen[0].title, "File Saving");
}

TEST_F(WindowTest, ListCheckBoxesTickThroughTheSelectionAndTheTreeFollows) {
    Open({{WriteImage(SmallDisk()), ""}});
    ChooseDiskAndMode(workflow::kModeQuick);
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    SearchDone();
    ClickLabel(P().volumeTree, P().volumeTree->topLevelItem(0)->child(0));
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_TRUE(AtStep(2));
    QTreeWidgetItem* root = P().directoryTree->topLevelItem(0);
    QTreeWidgetItem* pub = Child(root, "PUBLIC");
    ASSERT_NE(pub, nullptr);
    ClickLabel(P().directoryTree, pub);
    ASSERT_EQ(RowTexts(), (std::vector<std::string>{"DOCS", "REPORT.DOC", "NOTES.TXT"}));

    // Space on a file row ticks that file: its folder becomes partly ticked.
    auto space = [this](const QString& name) {
        P().detailsList->setFocus();
        P().detailsList->setCurrentItem(Row(name));
        QTest::keyClick(P().detailsList, Qt::Key_Space);
    };
    space("REPORT.DOC");
    EXPECT_EQ(Row("REPORT.DOC")->checkState(0), Qt::Checked);
    EXPECT_TRUE(S().selection.FileChecked(app::DetailsList::NumberOfRow(Row("REPORT.DOC"))));
    EXPECT_EQ(app::WizardTree::StateImage(pub), nw::kPartlyChecked);
    EXPECT_EQ(app::WizardTree::StateImage(root), nw::kPartlyChecked);

    // A folder row ticks the folder with what it holds, in the tree too.
    space("DOCS");
    EXPECT_EQ(app::WizardTree::StateImage(Child(pub, "DOCS")), nw::kChecked);
    space("NOTES.TXT");
    EXPECT_EQ(app::WizardTree::StateImage(pub), nw::kChecked);
    // The tree's box clears PUBLIC: every row shows it.
    ClickCheckBox(P().directoryTree, pub);
    for (const char* name : {"DOCS", "REPORT.DOC", "NOTES.TXT"})
        EXPECT_EQ(Row(name)->checkState(0), Qt::Unchecked) << name;
    EXPECT_FALSE(S().selection.Any());
}

TEST_F(WindowTest, StopQuestionGoesWhenTheSearchEndsAndAStopSaysWhatWasFound) {
    // A huge disk (sparse): the search runs on over zeros until stopped.
    const std::string image = WriteImage(SmallDisk());
    std::filesystem::resize_file(image, 100000000000ull);
    Open({{image, ""}});
    ChooseDiskAndMode(workflow::kModeAdvanced);
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return S().found.Count() == 1; }));

    // The question is left open while the search ends by itself.
    modals.Queue([this](QWidget*) { W().searchStop = true; });
    QTest::mouseClick(P().stopButton, Qt::LeftButton);
    ASSERT_TRUE(AtStep(1));
    ASSERT_GE(modals.seen.size(), 2u);
    EXPECT_EQ(modals.seen[0].text, "Do you want to stop this process");
    EXPECT_EQ(modals.seen[1].text, "Search stopped: 1 volume found");
    for (QMessageBox* box : window->findChildren<QMessageBox*>()) EXPECT_FALSE(box->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(WindowTest, DisksShowTheirFileAndAnImageIsNotAddedTwice) {
    const std::string path = WriteImage(SmallDisk(), "SERVER1.img");
    Open({{path, ""}});
    QTreeWidgetItem* root = P().diskTree->topLevelItem(0);
    EXPECT_EQ(root->child(0)->text(0), "Disk0 (SERVER1.img)");
    EXPECT_FALSE(window->AttachImage(QString::fromStdString(dir.File("./SERVER1.img"))));
    ASSERT_EQ(modals.seen.size(), 1u);
    EXPECT_EQ(modals.seen[0].text.toStdString(), "This image is already open as Disk0: " + dir.File("./SERVER1.img"));
    EXPECT_EQ(root->childCount(), 1);
}

TEST_F(WindowTest, KeyboardReachesADiskAModeAndNext) {
    Open({{WriteImage(SmallDisk()), ""}});
    P().diskTree->setFocus();
    P().diskTree->setCurrentItem(P().diskTree->topLevelItem(0));
    QTest::keyClick(P().diskTree, Qt::Key_Down);
    EXPECT_EQ(S().selectedDiskLabel, "Disk0");
    ASSERT_TRUE(P().modeButtons[0]->isEnabled());
    // Tab reaches the modes, Space picks one, the arrows move on.
    QWidget* w = P().diskTree;
    for (int i = 0; i < 6 && !P().modeButtons[0]->hasFocus(); ++i) {
        QTest::keyClick(w, Qt::Key_Tab);
        w = QApplication::focusWidget();
    }
    ASSERT_TRUE(P().modeButtons[0]->hasFocus());
    QTest::keyClick(P().modeButtons[0], Qt::Key_Space);
    EXPECT_EQ(S().recoveryMode.load(), workflow::kModeQuick);
    QTest::keyClick(P().modeButtons[0], Qt::Key_Down);
    EXPECT_TRUE(P().modeButtons[1]->hasFocus());
    EXPECT_EQ(S().recoveryMode.load(), workflow::kModeAdvanced);
    QTest::keyClick(P().modeButtons[1], Qt::Key_Up);
    EXPECT_EQ(S().recoveryMode.load(), workflow::kModeQuick);
    for (int i = 0; i < 8 && !P().nextButton->hasFocus(); ++i) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_TRUE(P().nextButton->hasFocus());
    QTest::keyClick(P().nextButton, Qt::Key_Space);
    EXPECT_TRUE(AtStep(1));
}

TEST_F(WindowTest, BackLeavesTheChosenDiskUsableAndTheModesTitled) {
    Open({{WriteImage(SmallDisk()), ""}});
    ChooseDiskAndMode(workflow::kModeRaw);
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_TRUE(P().rawPanel->isVisible());
    QTest::mouseClick(P().backButton, Qt::LeftButton);
    EXPECT_TRUE(P().modeFrame->isVisible());
    EXPECT_EQ(P().modeFrame->title(), "Recovery Modes");
    for (app::ModeButton* b : P().modeButtons) EXPECT_TRUE(b->isEnabled());
    EXPECT_EQ(P().detailsList->topLevelItem(0)->text(0), "Physical Disk Number : Disk0");

    // The same after the volume list of a search.
    Hover(P().modeButtons[0]);
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_TRUE(AtStep(1));
    QTest::mouseClick(P().backButton, Qt::LeftButton);
    for (app::ModeButton* b : P().modeButtons) EXPECT_TRUE(b->isEnabled());
    Hover(P().modeButtons[0]);
    EXPECT_TRUE(P().nextButton->isEnabled());
}

TEST_F(WindowTest, FailuresAreShownInTheWindow) {
    // An image that is a folder, named on the command line.
    EXPECT_FALSE(app::ImagesReadable({{dir.File(""), ""}}));
    ASSERT_EQ(modals.seen.size(), 1u);
    EXPECT_NE(modals.seen[0].text.indexOf("cannot open image"), -1);
    EXPECT_EQ(modals.seen[0].icon, QMessageBox::Critical);

    Open({{WriteImage(SmallDisk()), ""}});
    // Help with no help file.
    QTest::mouseClick(window->ToolButton(app::MainWindow::Tool::Help), Qt::LeftButton);
    ASSERT_EQ(modals.seen.size(), 2u);
    EXPECT_EQ(modals.seen[1].text.toStdString(),
              "The help file cannot be found: " + dir.File("install") + "/TarvineHelp.html");
    // A target no program takes.
    window->shellOpen = [](const QString&, bool) { return false; };
    window->OpenWithDesktop("/tmp/x.txt", false);
    ASSERT_EQ(modals.seen.size(), 3u);
    EXPECT_EQ(modals.seen[2].text, "Could not open /tmp/x.txt: no program on this system is set up to open it.");
}

TEST_F(WindowTest, WindowGrowsWithItsListAndRemembersItsSize) {
    Open({{WriteImage(SmallDisk()), ""}});
    const QSize start = window->size();
    const int listWidth = P().detailsList->width();
    window->resize(1600, 1000);
    QTest::qWait(20);
    EXPECT_EQ(P().detailsList->width(), listWidth + 1600 - start.width());
    EXPECT_EQ(P().nextButton->geometry().right(), window->centralWidget()->width() - 6);
    window.reset();
    Open({{WriteImage(SmallDisk()), ""}});
    EXPECT_EQ(window->size(), QSize(1600, 1000));
}

}  // namespace
}  // namespace uitest

namespace uitest {
namespace {

// A file with an unreadable sector saved twice into one folder: the summary
// warns of the damage, and the second save asks about replacing that file
// by its name.
TEST_F(WindowTest, DamagedSaveWarnsAndTheReplaceQuestionNamesTheFile) {
    nwimage::DiskSpec desc = SmallDisk();
    nwimage::BadArea bad;
    bad.target = nwimage::BadArea::Target::FileData;
    bad.entry = 2;  // REPORT.DOC
    desc.bad.push_back(bad);
    const std::string path = WriteImage(desc);
    testutil::WriteFile(dir.File("disk.map"), nwimage::MapfileText(image));
    Open({{path, dir.File("disk.map")}});
    ASSERT_TRUE(BrowseSys());
    ClickLabel(P().directoryTree, Child(P().directoryTree->topLevelItem(0), "PUBLIC"));
    P().detailsList->setFocus();
    P().detailsList->setCurrentItem(Row("REPORT.DOC"));
    QTest::keyClick(P().detailsList, Qt::Key_Space);
    ASSERT_TRUE(S().selection.Any());

    const std::string destination = dir.File("out");
    std::filesystem::create_directories(destination);
    QString replaceTarget;
    auto save = [&](bool replaceAsked) {
        modals.On("fileSavingDialog", [&](QWidget* d) {
            auto* field = d->findChild<QLineEdit*>("savePath");
            ASSERT_NE(field, nullptr);
            field->setText(QString::fromStdString(destination));
            Modals::Press("&OK")(d);
        });
        if (replaceAsked)
            modals.On("replaceDialog", [&](QWidget* d) {
                auto* target = d->findChild<QLabel*>("replaceTarget");
                ASSERT_NE(target, nullptr);
                replaceTarget = target->text();
                Modals::Press("&Yes")(d);
            });
        const std::size_t before = modals.seen.size();
        P().saveAction->trigger();
        EXPECT_TRUE(WaitFor([&] { return modals.seen.size() > before && modals.seen.back().title == "Save Summary"; }));
        return std::vector<Modals::Seen>(modals.seen.begin() + static_cast<std::ptrdiff_t>(before), modals.seen.end());
    };
    const std::vector<Modals::Seen> first = save(false);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.back().icon, QMessageBox::Warning);
    const std::vector<Modals::Seen> second = save(true);
    ASSERT_GE(second.size(), 3u);
    EXPECT_EQ(second[second.size() - 2].title, "Replace File Confirmation");
    EXPECT_TRUE(replaceTarget.endsWith("REPORT.DOC")) << replaceTarget.toStdString();
    EXPECT_EQ(second.back().icon, QMessageBox::Warning);
}

}  // namespace
}  // namespace uitest

namespace uitest {
namespace {

// A mail program that fails and a system without a printer: each says why
// in the window and offers the file's path to copy.
TEST_F(WindowTest, MailAndPrintFailuresSayWhyAndOfferThePath) {
    const std::string bin = dir.File("bin");
    std::filesystem::create_directories(bin);
    testutil::WriteFile(bin + "/xdg-email", "#!/bin/sh\nexit 3\n");
    std::filesystem::permissions(bin + "/xdg-email", std::filesystem::perms::owner_all);
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (bin + ":" + oldPath).c_str(), 1);
    Open({{WriteImage(SmallDisk()), ""}});
    ASSERT_TRUE(BrowseSys());

    modals.Queue(Modals::Press("Copy path"));
    P().listEmailAction->trigger();
    ::setenv("PATH", oldPath.c_str(), 1);
    ASSERT_EQ(modals.seen.size(), 1u);
    EXPECT_EQ(modals.seen[0].title, "Email");
    EXPECT_NE(modals.seen[0].text.indexOf("no program on this system is set up to open it"), -1)
        << modals.seen[0].text.toStdString();
    const QString listing = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(std::filesystem::is_regular_file(listing.toStdString())) << listing.toStdString();
    EXPECT_NE(modals.seen[0].text.indexOf(listing), -1);

    bool dialogShown = false;
    window->Commands().printerAvailable = [] { return false; };
    window->Commands().choosePrinter = [&](QPrinter&) { return dialogShown = true; };
    P().listPrintAction->trigger();
    ASSERT_EQ(modals.seen.size(), 2u);
    EXPECT_EQ(modals.seen[1].title, "Print");
    EXPECT_NE(modals.seen[1].text.indexOf("no printer is set up on this system"), -1);
    EXPECT_FALSE(dialogShown);
}

}  // namespace
}  // namespace uitest
