// The main window over builder images, driven with QTest, with a watcher
// that answers the modal boxes and dialogs as they come up.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/MainWindow.h"
#include "app/QtSettingsStore.h"
#include "base/Identity.h"
#include "common/TempDir.h"
#include "disk/BadSectorPolicy.h"
#include "tools/nwimage/NwImage.h"
#include "workflow/Session.h"

namespace uitest {

// Processes events until pred() holds or the time is up.
inline bool WaitFor(const std::function<bool()>& pred, int ms = 30000) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms) return false;
        QTest::qWait(5);
    }
    return true;
}

// Answers modal windows in the order they appear. Each answer gets the
// modal widget; without a queued answer a message box gets its escape
// button and a dialog is rejected.
class Modals : public QObject {
public:
    struct Seen {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString className;
    };
    using Answer = std::function<void(QWidget*)>;

    Modals() {
        connect(&timer_, &QTimer::timeout, this, &Modals::Poll);
        timer_.start(10);
    }
    void Queue(Answer a) { answers_.push_back(std::move(a)); }
    // Answers the next modal window of that object name, whenever it comes
    // (ahead of the queue; for windows whose order with others may vary).
    void On(const QString& objectName, Answer a) { named_.emplace_back(objectName, std::move(a)); }
    static Answer Click(QMessageBox::StandardButton which) {
        return [which](QWidget* w) {
            if (auto* box = qobject_cast<QMessageBox*>(w)) QTest::mouseClick(box->button(which), Qt::LeftButton);
        };
    }
    // Clicks the push button with that text in a dialog.
    static Answer Press(const QString& text) {
        return [text](QWidget* w) {
            for (QAbstractButton* b : w->findChildren<QAbstractButton*>())
                if (b->text() == text && b->isVisible()) {
                    QTest::mouseClick(b, Qt::LeftButton);
                    return;
                }
            ADD_FAILURE() << "no button " << text.toStdString();
        };
    }
    std::vector<Seen> seen;
    bool Pending() const { return !answers_.empty(); }
    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (const auto& s : seen) t.push_back(s.text.toStdString());
        return t;
    }

private:
    void Poll() {
        QWidget* m = QApplication::activeModalWidget();
        if (!m || m->property("answered").toBool() || !m->isVisible()) return;
        m->setProperty("answered", true);
        Seen s;
        s.title = m->windowTitle();
        s.className = m->metaObject()->className();
        if (auto* box = qobject_cast<QMessageBox*>(m)) {
            s.text = box->text();
            s.icon = box->icon();
        }
        seen.push_back(s);
        for (auto it = named_.begin(); it != named_.end(); ++it)
            if (it->first == m->objectName()) {
                Answer a = std::move(it->second);
                named_.erase(it);
                a(m);
                return;
            }
        if (!answers_.empty()) {
            Answer a = std::move(answers_.front());
            answers_.pop_front();
            a(m);
        } else if (auto* box = qobject_cast<QMessageBox*>(m)) {
            QAbstractButton* b = box->escapeButton() ? box->escapeButton() : box->defaultButton();
            if (!b && !box->buttons().isEmpty()) b = box->buttons().first();
            if (b) QTest::mouseClick(b, Qt::LeftButton);
        } else if (auto* d = qobject_cast<QDialog*>(m)) {
            d->reject();
        }
    }
    QTimer timer_;
    std::deque<Answer> answers_;
    std::vector<std::pair<QString, Answer>> named_;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        store = std::make_unique<app::QtSettingsStore>(QString::fromStdString(dir.File("registry.ini")));
        std::filesystem::create_directories(dir.File("install"));
        store->Write(base::kClassesRoot, base::kProductKey, base::kInstallFolderValue, dir.File("install"));
    }

    void TearDown() override {
        if (window) {
            EXPECT_TRUE(WaitFor([&] { return !Busy(); }));
        }
        window.reset();
    }

    std::string WriteImage(const nwimage::DiskSpec& desc, const std::string& name = "disk.img") {
        image = nwimage::Build(desc);
        const std::string path = dir.File(name);
        nwimage::WriteImageFile(image, path);
        return path;
    }

    // Opens the window over the given images; unreadable sectors are
    // skipped without asking unless a test says otherwise.
    void Open(std::vector<disk::DiskSource> sources) {
        window = std::make_unique<app::MainWindow>(*store, std::move(sources));
        window->shellOpen = [this](const QString& target, bool) {
            opened.push_back(target.toStdString());
            return true;
        };
        window->endProcess = [this](int status) {
            ++endedProcess;
            endStatus = status;
        };
        S().policy.BadSectorDecision = disk::kSkipAll;
        ASSERT_TRUE(window->Initialise());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    app::WindowParts& P() { return window->Parts(); }
    workflow::Session& S() { return window->Session(); }
    app::WindowState& W() { return window->State(); }
    // A search or a mount is running.
    bool Busy() { return W().searchWorker.Running() || W().mountWorker.Running(); }
    // Waits for a search (they run on a worker) and lets the window show
    // what it found.
    void SearchDone() {
        EXPECT_TRUE(WaitFor([&] { return !W().searchWorker.Running(); }));
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }

    QTreeWidgetItem* Child(QTreeWidgetItem* parent, const QString& text) {
        for (int i = 0; i < parent->childCount(); ++i)
            if (parent->child(i)->text(0) == text) return parent->child(i);
        return nullptr;
    }
    void ClickLabel(app::WizardTree* tree, QTreeWidgetItem* item) {
        tree->scrollToItem(item);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, tree->LabelPoint(item));
    }
    void ClickCheckBox(app::WizardTree* tree, QTreeWidgetItem* item) {
        tree->scrollToItem(item);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, tree->CheckBoxPoint(item));
    }
    // Moves the pointer onto the widget and lets it rest there (a mode
    // button's rest ends at once rather than after its time).
    void Hover(QWidget* w) {
        QTest::mouseMove(w, QPoint(10, w->height() / 2));
        QTest::mouseMove(w, QPoint(14, w->height() / 2));
        if (auto* mode = qobject_cast<app::ModeButton*>(w)) mode->FinishRest();
    }
    QTreeWidgetItem* Row(const QString& name) {
        for (int i = 0; i < P().detailsList->topLevelItemCount(); ++i)
            if (P().detailsList->topLevelItem(i)->text(0) == name) return P().detailsList->topLevelItem(i);
        return nullptr;
    }
    std::vector<std::string> RowTexts() {
        std::vector<std::string> r;
        for (int i = 0; i < P().detailsList->topLevelItemCount(); ++i)
            r.push_back(P().detailsList->topLevelItem(i)->text(0).toStdString());
        return r;
    }
    // Opens the small disk with its first directory block unreadable (a
    // mapfile), the bad-sector question on, and clicks its volume SYS.
    void ChooseVolumeWithBadDirectorySectors();
    // Picks disk 0 and a mode (by moving the pointer over its button).
    void ChooseDiskAndMode(int mode) {
        QTreeWidgetItem* root = P().diskTree->topLevelItem(0);
        ASSERT_NE(root, nullptr);
        ClickLabel(P().diskTree, root->child(0));
        Hover(P().modeButtons[mode - 1]);
        ASSERT_EQ(S().recoveryMode.load(), mode);
    }
    // Quick search on disk 0, volume SYS clicked and Next: true once the
    // browsing step is up.
    bool BrowseSys() {
        ChooseDiskAndMode(workflow::kModeQuick);
        QTest::mouseClick(P().nextButton, Qt::LeftButton);
        SearchDone();
        ClickLabel(P().volumeTree, Child(P().volumeTree->topLevelItem(0), "SYS"));
        QTest::mouseClick(P().nextButton, Qt::LeftButton);
        return AtStep(2);
    }
    bool AtStep(int step) {
        const bool reached = WaitFor([&] { return W().currentStep == step; }) && WaitFor([&] { return !Busy(); });
        // What the worker posted to the window before it ended is queued by
        // now: let the window carry it out before the test clicks on.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        return reached;
    }
    // With TARVINE_SCREENSHOT_DIR set, the window as it is now, at its
    // default size and at 1600x1000, as NAME.png and NAME-1600x1000.png.
    void Shot(const char* name) {
        const char* d = std::getenv("TARVINE_SCREENSHOT_DIR");
        if (!d) return;
        QTest::qWait(50);
        window->grab().save(QString(d) + "/" + name + ".png");
        const QSize was = window->size();
        window->resize(1600, 1000);
        QTest::qWait(50);
        window->grab().save(QString(d) + "/" + name + "-1600x1000.png");
        window->resize(was);
        QTest::qWait(20);
    }

    testutil::TempDir dir;
    std::unique_ptr<app::QtSettingsStore> store;
    nwimage::Image image;
    std::unique_ptr<app::MainWindow> window;
    Modals modals;
    std::vector<std::string> opened;
    int endedProcess = 0;
    int endStatus = -1;
};

// One NetWare partition at sector 63 with volume SYS: PUBLIC (5) holding
// DOCS (6) and two files, a file in the root, and an orphaned folder OLD.
inline nwimage::DiskSpec SmallDisk() {
    using namespace nwimage;
    DiskSpec d;
    PartitionSpec p;
    p.firstSector = 63;
    p.sectorCount = 400 + 2000 * 8;
    VolumeSpec v;
    v.name = "SYS";
    v.sectorsPerBlock = 8;
    v.blocks = 2000;
    auto folder = [](const char* name, std::uint32_t number, std::uint32_t parent) {
        EntrySpec e;
        e.folder = true;
        e.name = name;
        e.number = number;
        e.parent = parent;
        e.dateTime = PackDateTime(2007, 3, 5, 9, 4, 58);
        return e;
    };
    auto file = [](const char* name, std::uint32_t size, std::uint32_t parent) {
        EntrySpec e;
        e.name = name;
        e.size = size;
        e.parent = parent;
        e.dateTime = PackDateTime(2007, 3, 5, 9, 4, 58);
        return e;
    };
    v.entries.push_back(folder("PUBLIC", 5, 0));
    v.entries.push_back(folder("DOCS", 6, 5));
    v.entries.push_back(file("REPORT.DOC", 5000, 5));
    v.entries.push_back(file("NOTES.TXT", 700, 5));
    v.entries.push_back(file("LETTER.DOC", 3000, 6));
    v.entries.push_back(file("README.TXT", 100, 0));
    v.entries.push_back(folder("OLD", 9, 77));
    p.volumes.push_back(v);
    d.partitions.push_back(p);
    return d;
}

inline void WindowTest::ChooseVolumeWithBadDirectorySectors() {
    nwimage::DiskSpec desc = SmallDisk();
    nwimage::BadArea bad;
    bad.target = nwimage::BadArea::Target::Det1Block;
    bad.block = 0;
    bad.count = 2;
    desc.bad.push_back(bad);
    const std::string path = WriteImage(desc);
    testutil::WriteFile(dir.File("disk.map"), nwimage::MapfileText(image));
    Open({{path, dir.File("disk.map")}});
    S().policy.BadSectorDecision = disk::kRetry;
    ChooseDiskAndMode(workflow::kModeQuick);
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    SearchDone();
    ClickLabel(P().volumeTree, Child(P().volumeTree->topLevelItem(0), "SYS"));
}

}  // namespace uitest
