// The window at the browsing step of a builder image, with helpers that
// answer the command dialogs as a user would.
#pragma once

#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "app/WindowCommands.h"
#include "ui/UiFixture.h"

namespace cmdtest {

using uitest::Modals;
using uitest::WaitFor;

// Counts the job's own dialogs as they open and keeps the modal watcher's
// answers away from them: they close by themselves.
class JobDialogs : public QObject {
public:
    JobDialogs() { qApp->installEventFilter(this); }
    ~JobDialogs() override { qApp->removeEventFilter(this); }
    std::map<QString, int> shown;

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Show && o->isWidgetType()) {
            const QString name = o->objectName();
            if (name == "savingDialog" || name == "countingDialog" || name == "markingDialog") {
                o->setProperty("answered", true);
                ++shown[name];
            }
        }
        return false;
    }
};

class CommandsTest : public uitest::WindowTest {
protected:
    JobDialogs jobDialogs;

    // Disk 0, Quick search, the one volume, mount: the window ends at step 2.
    // With `badSectors` the disk's mapfile (its bad areas) is attached too.
    void Browse(const nwimage::DiskSpec& desc = uitest::SmallDisk(), bool badSectors = false) {
        const std::string path = WriteImage(desc);
        std::string map;
        if (badSectors) {
            map = dir.File("disk.map");
            testutil::WriteFile(map, nwimage::MapfileText(image));
        }
        Open({{path, map}});
        ChooseDiskAndMode(workflow::kModeQuick);
        QTest::mouseClick(P().nextButton, Qt::LeftButton);
        ASSERT_TRUE(AtStep(1));
        ClickLabel(P().volumeTree, P().volumeTree->topLevelItem(0)->child(0));
        QTest::mouseClick(P().nextButton, Qt::LeftButton);
        ASSERT_TRUE(AtStep(2));
        ASSERT_TRUE(WaitFor([&] { return P().directoryTree->isEnabled(); }));
    }

    // Answers "File Saving" by typing the folder and pressing "&OK".
    static Modals::Answer TypeFolder(const std::string& folder) {
        return [folder](QWidget* w) {
            EXPECT_EQ(w->windowTitle(), "File Saving");
            auto* field = w->findChild<QLineEdit*>("savePath");
            ASSERT_NE(field, nullptr);
            QTest::keyClicks(field, QString::fromStdString(folder));
            Modals::Press("&OK")(w);
        };
    }
    // Answers a file dialog by typing the file's full path and accepting.
    // (selectFile() leaves the name field alone while that field has the
    // focus, which made the answer depend on timing.)
    static Modals::Answer ChooseFile(const std::string& path) {
        return [path](QWidget* w) {
            auto* d = qobject_cast<QFileDialog*>(w);
            ASSERT_NE(d, nullptr);
            auto* edit = d->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(edit, nullptr);
            edit->setText(QString::fromStdString(path));
            static_cast<QDialog*>(d)->accept();
            if (d->isVisible()) {
                ADD_FAILURE() << "the file dialog did not take " << path;
                d->reject();
            }
        };
    }

    // Waits until no modal window is left and every queued answer was used.
    bool Settled(int ms = 30000) {
        const bool ok = WaitFor([&] { return !modals.Pending() && QApplication::activeModalWidget() == nullptr; }, ms);
        if (!ok && QApplication::activeModalWidget())
            ADD_FAILURE() << "still open: " << QApplication::activeModalWidget()->metaObject()->className() << " "
                          << QApplication::activeModalWidget()->windowTitle().toStdString();
        return ok;
    }

    // Answers queued in `then` go to the questions that follow "File Saving".
    void SaveTreeInto(const std::string& folder, std::vector<Modals::Answer> then = {}) {
        modals.Queue(TypeFolder(folder));
        for (auto& a : then) modals.Queue(std::move(a));
        QTest::mouseClick(window->ToolButton(app::MainWindow::Tool::SaveData), Qt::LeftButton);
        ASSERT_TRUE(Settled());
    }

    int Shown(const char* name) { return jobDialogs.shown[name]; }

    // The figures and flags of the last save the window started.
    const recovery::SaveJob& LastSave() {
        const recovery::SaveJob* job = window->Commands().LastSaveJob();
        EXPECT_NE(job, nullptr);
        static const recovery::SaveJob none;
        return job ? *job : none;
    }

    int Seen(const QString& title) const {
        int n = 0;
        for (const auto& s : modals.seen) n += s.title == title ? 1 : 0;
        return n;
    }

    // Every live file of the manifest, compared with the saved copy below
    // `folder` (paths joined with '/').
    void ExpectSavedAsManifest(const std::string& folder) {
        int files = 0;
        for (const auto& r : image.manifest) {
            if (r.folder || r.deleted) continue;
            std::string rel = r.path;
            for (char& c : rel)
                if (c == '\\') c = '/';
            const std::string path = folder + "/" + rel;
            ASSERT_TRUE(std::filesystem::exists(path)) << path;
            const std::string bytes = testutil::ReadFile(path);
            EXPECT_EQ(bytes.size(), r.deliveredBytes) << rel;
            EXPECT_EQ(nwimage::Sha256Hex(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), r.sha256)
                << rel;
            ++files;
        }
        EXPECT_GT(files, 0);
    }

    void CheckRoot() {
        QTreeWidgetItem* root = P().directoryTree->topLevelItem(0);
        ClickCheckBox(P().directoryTree, root);
        ASSERT_EQ(P().directoryTree->StateImage(root), nw::kChecked);
        // The list shows the root's rows: they are re-listed ticked.
        for (int i = 0; i < P().detailsList->topLevelItemCount(); ++i)
            EXPECT_EQ(P().detailsList->topLevelItem(i)->checkState(0), Qt::Checked) << i;
    }
};

}  // namespace cmdtest
