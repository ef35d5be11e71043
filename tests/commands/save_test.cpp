// Saving through the window: "File Saving", "Saving" with its counting, the
// replace and write-error questions, both sources, and the settings dialog.
#include <QComboBox>
#include <QRadioButton>

#include "CommandsFixture.h"
#include "recovery/SaveEngine.h"
#include "recovery/SaveSettings.h"

namespace cmdtest {
namespace {

using SaveTest = CommandsTest;

TEST_F(SaveTest, TreeSourceSaveReproducesTheManifest) {
    Browse();
    // Before anything is checked the tree save says so and writes nothing.
    const std::string out = dir.File("out");
    SaveTreeInto(out);
    EXPECT_EQ(Shown("savingDialog"), 1);
    EXPECT_EQ(Shown("countingDialog"), 1);
    EXPECT_NE(std::find(modals.Texts().begin(), modals.Texts().end(),
                        "No folder selected, select folders from left window"),
              modals.Texts().end());

    CheckRoot();
    modals.seen.clear();
    // The end is summed up, with a way to the folder.
    QStringList figures;
    SaveTreeInto(out + "/", {[&figures](QWidget* w) {  // a trailing slash gets no second one
                     if (auto* box = qobject_cast<QMessageBox*>(w)) figures = box->informativeText().split('\n');
                     Modals::Press("Open &Folder")(w);
                 }});
    ExpectSavedAsManifest(out);
    ASSERT_EQ(modals.seen.size(), 2u);  // "File Saving", then the summary
    EXPECT_EQ(modals.seen[1].text, "Save finished");
    ASSERT_EQ(figures.size(), 7);
    EXPECT_EQ(figures.mid(0, 6), (QStringList{"Files saved: 4", "Data written: 8.6 KiB (8800 bytes)",
                                              "Damaged (saved as far as they could be read): 0", "Failed: 0",
                                              "Renamed: 0", "Skipped: 0"}));
    EXPECT_EQ(opened, std::vector<std::string>{out + "/"});
    EXPECT_EQ(LastSave().filesStarted, 4u);
    EXPECT_EQ(LastSave().totalFiles, 4u);
}

TEST_F(SaveTest, CancelInFileSavingRunsNothing) {
    Browse();
    CheckRoot();
    modals.Queue(Modals::Press("&Cancel"));
    QTest::mouseClick(window->ToolButton(app::MainWindow::Tool::SaveData), Qt::LeftButton);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Shown("savingDialog"), 0);
    EXPECT_TRUE(LastSave().destinationPath.empty());
}

TEST_F(SaveTest, ListSourceSaveOfSelectedRows) {
    Browse();
    const std::string out = dir.File("list");
    // The root lists PUBLIC, LOST and README.TXT; choose PUBLIC and README.TXT.
    P().detailsList->clearSelection();
    Row("PUBLIC")->setSelected(true);
    Row("README.TXT")->setSelected(true);
    modals.Queue(TypeFolder(out));
    QTimer::singleShot(50, [] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            EXPECT_EQ(menu->defaultAction()->text(), "Save");
            menu->setActiveAction(menu->defaultAction());
            QTest::keyClick(menu, Qt::Key_Return);
        }
    });
    const QRect r = P().detailsList->visualItemRect(Row("README.TXT"));
    QContextMenuEvent event(QContextMenuEvent::Mouse, r.center(), P().detailsList->viewport()->mapToGlobal(r.center()));
    QApplication::sendEvent(P().detailsList->viewport(), &event);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Shown("savingDialog"), 1);
    // A folder row saves its whole branch, checked or not; the file row goes
    // into the destination folder itself.
    ExpectSavedAsManifest(out);
    EXPECT_FALSE(std::filesystem::exists(out + "/LOST"));
}

TEST_F(SaveTest, ReplaceAnswersHoldAsTheyShould) {
    Browse();
    CheckRoot();
    const std::string out = dir.File("again");
    SaveTreeInto(out);
    const std::string report = out + "/PUBLIC/REPORT.DOC";
    testutil::WriteFile(report, "mine");

    // "&No" applies to one file: every existing target asks again.
    modals.seen.clear();
    SaveTreeInto(out, std::vector<Modals::Answer>(4, Modals::Press("&No")));
    EXPECT_EQ(Seen("Replace File Confirmation"), 4);
    EXPECT_EQ(testutil::ReadFile(report), "mine");

    // "No &to All": asked once, nothing replaced.
    modals.seen.clear();
    SaveTreeInto(out, {Modals::Press("No &to All")});
    EXPECT_EQ(Seen("Replace File Confirmation"), 1);
    EXPECT_EQ(testutil::ReadFile(report), "mine");

    // The next job asks again; "Yes to &All" replaces everything.
    modals.seen.clear();
    SaveTreeInto(out, {Modals::Press("Yes to &All")});
    EXPECT_EQ(Seen("Replace File Confirmation"), 1);
    ExpectSavedAsManifest(out);

    // Closing the box counts as "&No" and asks again at the next file.
    testutil::WriteFile(report, "mine");
    modals.seen.clear();
    SaveTreeInto(out, std::vector<Modals::Answer>(4, [](QWidget* w) { w->close(); }));
    EXPECT_EQ(Seen("Replace File Confirmation"), 4);
    EXPECT_EQ(testutil::ReadFile(report), "mine");
}

TEST_F(SaveTest, WriteErrorSkipGoesOnAndAbortEndsTheJob) {
    Browse();
    CheckRoot();
    const std::string out = dir.File("blocked");
    // A folder where a target file should be: it exists, and once the user
    // agrees to replace it, it cannot be created.
    std::filesystem::create_directories(out + "/PUBLIC/REPORT.DOC");
    SaveTreeInto(out, {Modals::Press("&Yes"), Modals::Press("&Skip")});
    ASSERT_EQ(Seen("Error Writing Destination"), 1);
    EXPECT_TRUE(std::filesystem::exists(out + "/PUBLIC/NOTES.TXT"));
    EXPECT_TRUE(std::filesystem::exists(out + "/PUBLIC/DOCS/LETTER.DOC"));

    const std::string out2 = dir.File("blocked2");
    std::filesystem::create_directories(out2 + "/PUBLIC/REPORT.DOC");
    modals.seen.clear();
    SaveTreeInto(out2, {Modals::Press("&Yes"), Modals::Press("&Abort")});
    ASSERT_EQ(Seen("Error Writing Destination"), 1);
    // Abort ends the job after this file.
    EXPECT_FALSE(std::filesystem::exists(out2 + "/PUBLIC/NOTES.TXT"));
    EXPECT_FALSE(std::filesystem::exists(out2 + "/PUBLIC/DOCS/LETTER.DOC"));
}

// The window goes away while the save waits for "Replace File
// Confirmation": the question counts as "&No", the job stops and its worker
// ends; the file already there is kept.
TEST_F(SaveTest, ClosingTheWindowAnswersTheSavesQuestion) {
    Browse();
    CheckRoot();
    const std::string out = dir.File("closing");
    SaveTreeInto(out);
    const std::string report = out + "/PUBLIC/REPORT.DOC";
    testutil::WriteFile(report, "mine");
    int asked = 0;
    modals.Queue(TypeFolder(out));
    modals.Queue([&](QWidget* d) {
        ++asked;
        EXPECT_EQ(d->windowTitle(), "Replace File Confirmation");
        window.reset();  // the question and "Saving" go with their window
    });
    QMetaObject::invokeMethod(qApp, [this] { window->Commands().SaveTree(true); }, Qt::QueuedConnection);
    ASSERT_TRUE(WaitFor([&] { return !window; }));
    ASSERT_TRUE(Settled());
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(testutil::ReadFile(report), "mine");
}

TEST_F(SaveTest, UnusableDestinationIsAnInvalidPath) {
    Browse();
    CheckRoot();
    const std::string file = dir.File("plain-file");
    testutil::WriteFile(file, "x");
    SaveTreeInto(file + "/below");
    EXPECT_NE(std::find(modals.Texts().begin(), modals.Texts().end(), "Inavlid Path"), modals.Texts().end());
}

// ---- settings ------------------------------------------------------------------------

// Types extensions into the settings dialog and presses "&Add " for each.
// The refusal boxes that come up are noted in `boxes` and closed with OK.
Modals::Answer AddExtensions(std::vector<std::string> texts, std::function<void(QWidget*)> then,
                             std::vector<Modals::Seen>* boxes = nullptr) {
    return [texts, then, boxes](QWidget* w) {
        auto* field = w->findChild<QLineEdit*>("extensionField");
        ASSERT_NE(field, nullptr);
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [boxes] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            if (boxes) boxes->push_back({box->windowTitle(), box->text(), box->icon(), "QMessageBox"});
            QTest::mouseClick(box->buttons().first(), Qt::LeftButton);
        });
        closer.start(10);
        for (const std::string& t : texts) {
            field->clear();
            QTest::keyClicks(field, QString::fromStdString(t));
            Modals::Press("&Add ")(w);
        }
        closer.stop();
        then(w);
    };
}

TEST_F(SaveTest, SettingsRefusalsAndCancelRestores) {
    Browse();
    const recovery::SaveSettings& s = S().saveSettings;
    ASSERT_EQ(s.earlierYear, 0);
    // Refusals are answered by the watcher (their boxes get OK) in between.
    std::vector<std::string> listed;
    std::vector<Modals::Seen> boxes;
    modals.Queue(AddExtensions({"doc", "do.c", "d*", "abcde", "doc", "DOC", ""}, [&](QWidget* w) {
        auto* list = w->findChild<QListWidget*>("extensionList");
        for (int i = 0; i < list->count(); ++i) listed.push_back(list->item(i)->text().toStdString());
        w->findChild<QRadioButton*>("deletedMode1")->click();
        Modals::Press("Cancel")(w);
    }, &boxes));
    P().saveSettingsAction->trigger();
    ASSERT_TRUE(Settled());
    EXPECT_EQ(listed, (std::vector<std::string>{"DOC", "doc"}));  // the newest on top
    std::vector<std::string> texts;
    for (const auto& b : boxes) texts.push_back(b.text.toStdString());
    auto has = [&](const char* t) { return std::find(texts.begin(), texts.end(), t) != texts.end(); };
    EXPECT_EQ(texts.size(), 4u);
    EXPECT_TRUE(has(recovery::kExtensionHasDot));
    EXPECT_TRUE(has(recovery::kExtensionHasStar));
    EXPECT_TRUE(has(recovery::kExtensionTooLong));
    EXPECT_TRUE(has(recovery::kExtensionExists));
    for (const auto& seen : boxes) {
        if (seen.text == recovery::kExtensionExists) {
            EXPECT_EQ(seen.icon, QMessageBox::Information);
        }
        if (seen.text == recovery::kExtensionHasDot) {
            EXPECT_EQ(seen.icon, QMessageBox::Critical);
        }
    }
    // Cancel put the entries and the mode back, but the opening's defaults stay.
    EXPECT_EQ(s.extensionCount, 0);
    EXPECT_EQ(s.deletedMode, 0);
    EXPECT_EQ(s.earlierYear, 2099);
    EXPECT_EQ(s.afterYear, 1970);
}

TEST_F(SaveTest, SettingsApplyFiltersTheNextSave) {
    Browse();
    CheckRoot();
    // "&Settings" inside "File Saving": keep only .doc files, "Earlier" set to the first items.
    const std::string out = dir.File("docs");
    modals.Queue([&](QWidget* w) {
        QTest::keyClicks(w->findChild<QLineEdit*>("savePath"), QString::fromStdString(out));
        // The settings dialog runs from the event loop, where the watcher can answer it.
        QTimer::singleShot(0, w, [w] {
            Modals::Press("&Settings")(w);
            Modals::Press("&OK")(w);
        });
    });
    modals.Queue(AddExtensions({"doc"}, [](QWidget* w) {
        for (const char* name : {"earlierDay", "earlierMonth", "earlierYear"})
            w->findChild<QComboBox*>(name)->setCurrentIndex(0);
        Modals::Press("&Apply")(w);
    }));
    QTest::mouseClick(window->ToolButton(app::MainWindow::Tool::SaveData), Qt::LeftButton);
    ASSERT_TRUE(Settled());
    const recovery::SaveSettings& s = S().saveSettings;
    EXPECT_EQ(s.extensionCount, 1);
    EXPECT_EQ(s.earlierYear, 1970);
    // Every file is dated 2007, after the "Earlier" bound: nothing passes.
    EXPECT_FALSE(std::filesystem::exists(out + "/PUBLIC/REPORT.DOC"));

    // Reopened, the "Earlier" row shows 31, 12, 2099 again; Apply takes them.
    modals.Queue([](QWidget* w) {
        EXPECT_EQ(w->findChild<QComboBox*>("earlierDay")->currentText(), "31");
        EXPECT_EQ(w->findChild<QComboBox*>("earlierMonth")->currentText(), "12");
        EXPECT_EQ(w->findChild<QComboBox*>("earlierYear")->currentText(), "2099");
        Modals::Press("&Apply")(w);
    });
    P().saveSettingsAction->trigger();
    ASSERT_TRUE(Settled());
    EXPECT_EQ(s.earlierYear, 2099);
    SaveTreeInto(out);
    EXPECT_TRUE(std::filesystem::exists(out + "/PUBLIC/REPORT.DOC"));
    EXPECT_TRUE(std::filesystem::exists(out + "/PUBLIC/DOCS/LETTER.DOC"));
    EXPECT_FALSE(std::filesystem::exists(out + "/PUBLIC/NOTES.TXT"));
    EXPECT_FALSE(std::filesystem::exists(out + "/README.TXT"));
}

}  // namespace
}  // namespace cmdtest

namespace cmdtest {
namespace {

TEST_F(SaveTest, InvertSelectionSavesTheRowsNotSelected) {
    Browse();
    modals.Queue([](QWidget* w) {
        w->findChild<QRadioButton*>("selectionMode2")->click();  // "Invert Selection"
        Modals::Press("&Apply")(w);
    });
    P().saveSettingsAction->trigger();
    ASSERT_TRUE(Settled());
    ASSERT_EQ(S().saveSettings.selectionMode, recovery::kInvertSelection);

    P().detailsList->clearSelection();
    Row("README.TXT")->setSelected(true);
    const std::string out = dir.File("inverted");
    modals.Queue(TypeFolder(out));
    QTimer::singleShot(50, [] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            menu->setActiveAction(menu->defaultAction());
            QTest::keyClick(menu, Qt::Key_Return);
        }
    });
    const QRect r = P().detailsList->visualItemRect(Row("README.TXT"));
    QContextMenuEvent event(QContextMenuEvent::Mouse, r.center(), P().detailsList->viewport()->mapToGlobal(r.center()));
    QApplication::sendEvent(P().detailsList->viewport(), &event);
    ASSERT_TRUE(Settled());
    EXPECT_FALSE(std::filesystem::exists(out + "/README.TXT"));
    EXPECT_EQ(std::filesystem::file_size(out + "/PUBLIC/REPORT.DOC"), 5000u);
    EXPECT_EQ(std::filesystem::file_size(out + "/PUBLIC/DOCS/LETTER.DOC"), 3000u);
    EXPECT_TRUE(std::filesystem::is_directory(out + "/LOST"));
}

}  // namespace
}  // namespace cmdtest
