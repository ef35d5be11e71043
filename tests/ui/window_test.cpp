// Start-up, exit, the tool-button gates, the keyboard, the clock, the
// settings store, the command line and "Open Disk Image...".
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <filesystem>

#include "UiFixture.h"
#include "app/Startup.h"
#include "common/TempDir.h"

namespace uitest {
namespace {

TEST_F(WindowTest, StartUpWithoutInstallFolderRefusesToRun) {
    store->DeleteKey(base::kClassesRoot, base::kProductKey);
    app::MainWindow w(*store, {});
    EXPECT_FALSE(w.Initialise());
    ASSERT_EQ(modals.seen.size(), 1u);
    EXPECT_EQ(modals.seen[0].text, "Tarvine is not installed properly");
    EXPECT_EQ(modals.seen[0].icon, QMessageBox::Critical);
    EXPECT_EQ(modals.seen[0].title, "Tarvine For Novell NetWare");
}

TEST_F(WindowTest, StartUpShowsTheFirstStep) {
    Open({{WriteImage(SmallDisk()), ""}});
    EXPECT_EQ(window->windowTitle(), "Tarvine For Novell NetWare");
    const std::string log = testutil::ReadFile(S().activityLog.path);
    EXPECT_NE(log.find("-----------------------Start--------------------------\r\nTarvine For Novell NetWare\r\n"
                       "Version 11.06.07\r\n"),
              std::string::npos);
    EXPECT_EQ(window->ToolButton(app::MainWindow::Tool::SaveData)->toolTip(),
              "Save Data (available once a volume is open)");
    EXPECT_EQ(window->ToolButton(app::MainWindow::Tool::Exit)->toolTip(), "Exit from Tarvine");
    EXPECT_FALSE(window->ClockPane()->text().isEmpty());
    EXPECT_EQ(window->Wizard().PictureShown(), 1);
    EXPECT_EQ(P().detailsList->headerItem()->text(0), QString(69, ' ') + "Details");
    for (QAction* a : {P().saveAction, P().saveSettingsAction, P().saveLogAction, P().listViewAction,
                       P().listPrintAction, P().listEmailAction})
        EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
    EXPECT_TRUE(P().loadLogAction->isEnabled());
    QTreeWidgetItem* root = P().diskTree->topLevelItem(0);
    ASSERT_NE(root, nullptr);
    EXPECT_TRUE(root->isExpanded());
    EXPECT_EQ(root->childCount(), 1);
    EXPECT_EQ(W().currentStep, 0);
}

TEST(ClockText, TwelveHourDialSaysMorningOrAfternoon) {
    EXPECT_EQ(app::MainWindow::ClockText(12, 30), "12:30 PM");
    EXPECT_EQ(app::MainWindow::ClockText(0, 5), "12:05 AM");
    EXPECT_EQ(app::MainWindow::ClockText(1, 5), "01:05 AM");
    EXPECT_EQ(app::MainWindow::ClockText(13, 5), "01:05 PM");
    EXPECT_EQ(app::MainWindow::ClockText(23, 59), "11:59 PM");
}

TEST_F(WindowTest, ExitAsksOnceAndNoChangesNothing) {
    Open({{WriteImage(SmallDisk()), ""}});
    app::WindowState& w = W();
    // A second request while the question is open shows no second question.
    modals.Queue([this](QWidget* box) {
        QTest::mouseClick(window->ToolButton(app::MainWindow::Tool::Exit), Qt::LeftButton);
        Modals::Click(QMessageBox::No)(box);
    });
    QTest::mouseClick(window->ToolButton(app::MainWindow::Tool::Exit), Qt::LeftButton);
    ASSERT_EQ(modals.seen.size(), 1u);
    EXPECT_EQ(modals.seen[0].text, "Do you want to exit from Tarvine?");
    EXPECT_EQ(modals.seen[0].icon, QMessageBox::Question);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(w.exitQuestionOpen);

    // Escape does not close the window.
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(modals.seen.size(), 1u);

    // The menu command asks again; No keeps the process.
    modals.Queue(Modals::Click(QMessageBox::No));
    window->ExitAction()->trigger();
    EXPECT_EQ(modals.seen.size(), 2u);
    EXPECT_EQ(endedProcess, 0);
    modals.Queue(Modals::Click(QMessageBox::Yes));
    window->ExitAction()->trigger();
    EXPECT_EQ(endedProcess, 1);
    EXPECT_EQ(endStatus, 0);
}

TEST_F(WindowTest, YesOnTheExitToolClosesTheWindow) {
    Open({{WriteImage(SmallDisk()), ""}});
    modals.Queue(Modals::Click(QMessageBox::Yes));
    QTest::mouseClick(window->ToolButton(app::MainWindow::Tool::Exit), Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(W().exitQuestionOpen);
    EXPECT_EQ(endedProcess, 0);
}

TEST_F(WindowTest, ToolButtonsAreGreyedAtTheWrongStepAndSayWhy) {
    Open({{WriteImage(SmallDisk()), ""}});
    auto click = [this](app::MainWindow::Tool t) {
        QTest::mouseClick(window->ToolButton(t), Qt::LeftButton);
        return modals.seen.empty() ? std::string() : modals.seen.back().text.toStdString();
    };
    auto tool = [this](app::MainWindow::Tool t) { return window->ToolButton(t); };
    // Greyed buttons never show a message that names a step.
    EXPECT_EQ(click(app::MainWindow::Tool::SaveData), "");
    EXPECT_EQ(click(app::MainWindow::Tool::SaveLog), "");
    EXPECT_FALSE(tool(app::MainWindow::Tool::SaveData)->isEnabled());
    EXPECT_EQ(tool(app::MainWindow::Tool::SaveLog)->toolTip(), "Save Log (available once a volume is open)");
    EXPECT_FALSE(P().saveLogAction->isEnabled());
    const std::size_t before = modals.seen.size();
    click(app::MainWindow::Tool::LoadLog);  // allowed at step 0: its file dialog opens, no refusal
    ASSERT_EQ(modals.seen.size(), before + 1);
    EXPECT_NE(modals.seen.back().className, "QMessageBox");

    // Raw mode chosen at step 0 refuses to load a log.
    ChooseDiskAndMode(workflow::kModeRaw);
    EXPECT_EQ(click(app::MainWindow::Tool::LoadLog),
              "This Feature can not be used while running under RAW Recovery Mode");

    QTest::mouseClick(P().nextButton, Qt::LeftButton);  // into the raw panel
    ASSERT_TRUE(AtStep(1));
    EXPECT_FALSE(tool(app::MainWindow::Tool::LoadLog)->isEnabled());
    EXPECT_EQ(tool(app::MainWindow::Tool::LoadLog)->toolTip(), "Load Log (not available in Raw Recovery mode)");
    QTest::mouseClick(P().backButton, Qt::LeftButton);
    ASSERT_TRUE(AtStep(0));
    EXPECT_TRUE(tool(app::MainWindow::Tool::LoadLog)->isEnabled());

    // At step 2 the log cannot be loaded.
    ASSERT_TRUE(BrowseSys());
    const std::size_t beforeLoad = modals.seen.size();
    click(app::MainWindow::Tool::LoadLog);
    EXPECT_EQ(modals.seen.size(), beforeLoad);
    EXPECT_EQ(tool(app::MainWindow::Tool::LoadLog)->toolTip(), "Load Log (available while choosing a disk or a volume)");
    EXPECT_EQ(tool(app::MainWindow::Tool::SaveData)->toolTip(), "Save Data");
    const std::size_t atStep2 = modals.seen.size();
    click(app::MainWindow::Tool::SaveData);  // allowed at step 2: the saving dialog opens
    ASSERT_EQ(modals.seen.size(), atStep2 + 1);
    EXPECT_NE(modals.seen.back().className, "QMessageBox");

    testutil::WriteFile(dir.File("install") + "/TarvineHelp.html", "<html></html>");
    QTest::mouseClick(window->ToolButton(app::MainWindow::Tool::Help), Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], dir.File("install") + "/TarvineHelp.html");
}

TEST_F(WindowTest, KeyboardWhileBrowsing) {
    Open({{WriteImage(SmallDisk()), ""}});
    app::WindowState& w = W();
    ChooseDiskAndMode(workflow::kModeQuick);
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    SearchDone();
    ClickLabel(P().volumeTree, Child(P().volumeTree->topLevelItem(0), "SYS"));
    QTest::keyClick(window.get(), Qt::Key_F6);
    EXPECT_TRUE(P().volumeTree->hasFocus());
    // Enter presses Next: the chosen volume mounts.
    QTest::keyClick(P().volumeTree, Qt::Key_Return);
    ASSERT_TRUE(AtStep(2));
    ASSERT_TRUE(WaitFor([&] { return P().directoryTree->isEnabled() && P().detailsList->topLevelItemCount() > 0; }));

    // F7 focuses the list with its first row current; Tab goes to the tree and back.
    QTest::keyClick(window.get(), Qt::Key_F7);
    EXPECT_TRUE(P().detailsList->hasFocus());
    EXPECT_EQ(P().detailsList->currentItem(), P().detailsList->topLevelItem(0));
    w.treeHasFocus = false;
    QTest::keyClick(P().detailsList, Qt::Key_Tab);
    EXPECT_TRUE(w.treeHasFocus);
    EXPECT_TRUE(P().directoryTree->hasFocus());
    QTest::keyClick(P().directoryTree, Qt::Key_Tab);
    EXPECT_FALSE(w.treeHasFocus);
    EXPECT_TRUE(P().detailsList->hasFocus());

    // Enter with the tree focused lists the tree's current folder.
    QTreeWidgetItem* pub = Child(P().directoryTree->topLevelItem(0), "PUBLIC");
    QTest::keyClick(window.get(), Qt::Key_F6);
    EXPECT_TRUE(w.treeHasFocus);
    P().directoryTree->setCurrentItem(pub);
    QTest::keyClick(P().directoryTree, Qt::Key_Return);
    EXPECT_EQ(P().statusLine->text(), "SYS:\\PUBLIC");
    EXPECT_EQ(RowTexts(), (std::vector<std::string>{"DOCS", "REPORT.DOC", "NOTES.TXT"}));

    // Enter on a folder row of the list opens it.
    P().detailsList->setFocus();
    P().detailsList->setCurrentItem(Row("DOCS"));
    w.treeHasFocus = false;
    QTest::keyClick(P().detailsList, Qt::Key_Return);
    EXPECT_EQ(P().statusLine->text(), "SYS:\\PUBLIC\\DOCS");

    // F1 opens the help file of the current folder.
    QTest::keyClick(window.get(), Qt::Key_F1);
    ASSERT_FALSE(opened.empty());
    EXPECT_NE(opened.back().find("TarvineHelp.html"), std::string::npos);
    EXPECT_TRUE(modals.seen.empty());
}

TEST_F(WindowTest, ListRightClickOffersSaveAndDetailsOnlyWhileBrowsingWithASelection) {
    Open({{WriteImage(SmallDisk()), ""}});
    int menus = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* m = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            ++menus;
            // Save, and Details of the one selected row.
            ASSERT_EQ(m->actions().size(), 2);
            EXPECT_EQ(m->actions()[1]->text(), "Details");
            EXPECT_EQ(m->defaultAction()->text(), "Save");
            m->close();
        }
    });
    closer.start(10);
    auto rightClick = [this] {
        QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(20, 20), P().detailsList->mapToGlobal(QPoint(20, 20)));
        QApplication::sendEvent(P().detailsList->viewport(), &e);
        QTest::qWait(30);
    };
    ChooseDiskAndMode(workflow::kModeQuick);
    rightClick();  // step 0
    EXPECT_EQ(menus, 0);
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    SearchDone();
    ClickLabel(P().volumeTree, Child(P().volumeTree->topLevelItem(0), "SYS"));
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    ASSERT_TRUE(AtStep(2));
    ASSERT_TRUE(WaitFor([&] { return P().detailsList->topLevelItemCount() > 0; }));
    P().detailsList->clearSelection();
    rightClick();  // nothing selected
    EXPECT_EQ(menus, 0);
    P().detailsList->topLevelItem(0)->setSelected(true);
    rightClick();
    EXPECT_EQ(menus, 1);
}

TEST_F(WindowTest, OpenDiskImageAddsTheNextDisk) {
    Open({{WriteImage(SmallDisk()), ""}});
    const std::string second = WriteImage(SmallDisk(), "second.img");
    modals.Queue([second](QWidget* d) {
        auto* dialog = qobject_cast<QFileDialog*>(d);
        ASSERT_NE(dialog, nullptr);
        // type the full path into the file name field and press Enter
        auto* edit = d->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(edit, nullptr);
        edit->setText(QString::fromStdString(second));  // pasted, so no completion pops up
        QTest::keyClick(edit, Qt::Key_Return);
        if (dialog->isVisible()) {
            ADD_FAILURE() << "the file dialog did not take the typed path";
            dialog->reject();
        }
    });
    P().openImageAction->trigger();
    QTreeWidgetItem* root = P().diskTree->topLevelItem(0);
    ASSERT_EQ(root->childCount(), 2);
    EXPECT_EQ(root->child(1)->text(0), "Disk1 (second.img)");
    EXPECT_EQ(S().selectedDiskLabel, "Disk1");
    EXPECT_EQ(P().detailsList->topLevelItem(1)->text(0), "Model   : Disk Image");

    ChooseDiskAndMode(workflow::kModeQuick);  // disk 0 still works
    ClickLabel(P().diskTree, root->child(1));
    Hover(P().modeButtons[0]);
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    EXPECT_TRUE(AtStep(1));
    EXPECT_EQ(S().selectedDiskNumber, 1);
}

TEST(SettingsStore, NamesAreCaseInsensitiveAndKeysDeleteWithTheirSubKeys) {
    testutil::TempDir dir;
    const QString path = QString::fromStdString(dir.File("r.ini"));
    {
        app::QtSettingsStore s(path);
        EXPECT_TRUE(s.Write("HKEY_CLASSES_ROOT", "TRV Windows\\Size", "Disk0", "1048576"));
        EXPECT_TRUE(s.Write("HKEY_CLASSES_ROOT", "TRV Windows", "Disk0", ""));
        EXPECT_TRUE(s.Write("HKEY_CLASSES_ROOT", "TarvineNovell", "FilePath", "/opt/Tarvine Folder"));
    }
    app::QtSettingsStore s(path);
    std::string out;
    ASSERT_TRUE(s.Read("HKEY_CLASSES_ROOT", "TRV WINDOWS\\SIZE", "disk0", out));
    EXPECT_EQ(out, "1048576");
    ASSERT_TRUE(s.Read("HKEY_CLASSES_ROOT", "TRV Windows", "Disk0", out));
    EXPECT_EQ(out, "");
    EXPECT_FALSE(s.Read("HKEY_CLASSES_ROOT", "TRV Windows", "Disk1", out));
    EXPECT_TRUE(s.DeleteKey("HKEY_CLASSES_ROOT", "TRV WINDOWS"));
    EXPECT_FALSE(s.Read("HKEY_CLASSES_ROOT", "TRV Windows\\Size", "Disk0", out));
    EXPECT_FALSE(s.DeleteKey("HKEY_CLASSES_ROOT", "TRV WINDOWS"));
    ASSERT_TRUE(s.Read("HKEY_CLASSES_ROOT", "TarvineNovell", "FilePath", out));
    EXPECT_EQ(out, "/opt/Tarvine Folder");
}

TEST(CommandLine, ImagesWithTheirMapfiles) {
    auto parse = [](QStringList args) {
        args.prepend("tarvine");
        return app::ParseCommandLine(args);
    };
    const app::CommandLine ok = parse({"--image", "a.img", "--badmap", "a.map", "--image", "b.img"});
    ASSERT_TRUE(ok.error.empty());
    ASSERT_EQ(ok.images.size(), 2u);
    EXPECT_EQ(ok.images[0].mapfilePath, "a.map");
    EXPECT_EQ(ok.images[1].mapfilePath, "");
    EXPECT_TRUE(parse({"--help"}).help);
    EXPECT_FALSE(parse({"--badmap", "a.map", "--image", "a.img"}).error.empty());
    EXPECT_FALSE(parse({"--image"}).error.empty());
    EXPECT_FALSE(parse({"--image", "a", "--badmap", "m", "--badmap", "n"}).error.empty());
    EXPECT_FALSE(parse({"a.img"}).error.empty());
    QStringList many;
    for (int i = 0; i < 11; ++i) many << "--image" << QString("%1.img").arg(i);
    EXPECT_FALSE(parse(many).error.empty());
}

TEST(InstallFolder, TheFolderBesideTheProgramIsRegisteredWhenItHoldsTheCompanionFiles) {
    testutil::TempDir dir;
    app::QtSettingsStore s(QString::fromStdString(dir.File("r.ini")));
    auto installFolder = [&s] {
        return workflow::RegistryTextRead(s, base::kClassesRoot, base::kProductKey, base::kInstallFolderValue);
    };
    std::filesystem::create_directories(dir.File("bin"));
    std::filesystem::create_directories(dir.File("other"));
    // Without the companion files nothing is registered.
    EXPECT_FALSE(app::RegisterInstallFolder(s, QString::fromStdString(dir.File("bin"))));
    testutil::WriteFile(dir.File("bin/Step1.bmp"), "BM");
    EXPECT_TRUE(app::RegisterInstallFolder(s, QString::fromStdString(dir.File("bin"))));
    EXPECT_EQ(installFolder(), dir.File("bin"));
    // A valid installation elsewhere is kept.
    testutil::WriteFile(dir.File("other/Step1.bmp"), "BM");
    EXPECT_FALSE(app::RegisterInstallFolder(s, QString::fromStdString(dir.File("other"))));
    EXPECT_EQ(installFolder(), dir.File("bin"));
}

}  // namespace
}  // namespace uitest
