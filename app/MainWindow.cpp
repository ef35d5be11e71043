#include "app/MainWindow.h"
#include "app/FolderMount.h"
#include "app/MainWindowGeometry.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QFileInfo>
#include <algorithm>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTime>
#include <QUrl>
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "app/AboutDialog.h"
#include "app/BalloonHelp.h"
#include "app/DesktopOpen.h"
#include "app/EntryDetailsDialog.h"
#include "app/HelpFile.h"
#include "app/Icons.h"
#include "app/Messages.h"
#include "app/NameSpaceDialog.h"
#include "app/RawPanelWidget.h"
#include "app/SupportContacts.h"
#include "app/SupportDetails.h"
#include "app/WindowCommands.h"
#include "netware/MountedVolume.h"
#include "base/Identity.h"
#include "raw/FormatKinds.h"
#include "records/ActivityLog.h"
#include "disk/Disk.h"
#include "workflow/Disks.h"
#include "workflow/Texts.h"

namespace app {

using namespace mainwindow;


MainWindow::MainWindow(workflow::SettingsStore& store, std::vector<disk::DiskSource> sources, QWidget* parent)
    : QMainWindow(parent), sources_(std::move(sources)), session_(store) {
    setObjectName("mainWindow");
    // The server's local dates are read in this machine's zone.
    session_.saveSettings.extras.zone = nw::TimeZone::Machine(std::getenv("TZ"));
    setWindowTitle(base::kProductTitle);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(icons::WindowIcon());
    // The control with the keyboard focus stands out.
    setStyleSheet("app--ModeButton:focus { background: palette(highlight); color: palette(highlighted-text);"
                  " border-radius: 3px; }"
                  "QTreeView:focus { border: 2px solid palette(highlight); }");
    wizard_ = new WizardController(parts_, session_, state_, channel_, this);
    BuildMenus();
    BuildCentral();
    BuildStatusBar();
    commands_ = new WindowCommands(*this);
    // The default size is the smallest: the window grows, the left column
    // and the list share the width through the handle between them.
    resize(kWidth, kCentralHeight + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
    setMinimumSize(size());
    LayOut();

    // The desktop's opener is watched to its end: one without a handler
    // for the type says so in the window (QDesktopServices reports only
    // that the opener started).
    shellOpen = [this](const QString& target, bool isUrl) {
        const QString opener = QStandardPaths::findExecutable("xdg-open");
        if (opener.isEmpty()) return QDesktopServices::openUrl(isUrl ? QUrl(target) : QUrl::fromLocalFile(target));
        QPointer<MainWindow> self(this);
        OpenWithProgram(opener, target, this, [self, target](const QString& reason) {
            if (self) ShowOpenFailure(self, target, reason);
        });
        return true;
    };
    wizard_->stepShown = [this] { ShowStepState(); };
    endProcess = [](int status) {
        std::fflush(nullptr);
        std::_Exit(status);
    };
    qApp->installEventFilter(this);
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
    if (isVisible() && !isMaximized())
        session_.store->Write(base::kClassesRoot, base::kProductKey, kWindowSizeValue,
                              std::to_string(width()) + "x" + std::to_string(height()));
    Shutdown();
    // The job dialogs and the raw panel run workers over the session: they
    // go now, while the session still exists (the window's own children
    // would otherwise outlive it), and before the commands that own the
    // save job. Each answers its own questions, stops its work and waits.
    QList<QPointer<QDialog>> dialogs;
    for (QDialog* d : findChildren<QDialog*>()) dialogs.append(d);
    for (const QPointer<QDialog>& d : dialogs) delete d.data();
    delete commands_->RawPanel();
    delete commands_;
    commands_ = nullptr;
    session_.policy.SetPrompt(nullptr);
}

void MainWindow::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    // Questions still open get the answer that closing them gives; then the
    // workers are stopped and waited for (none of them waits for this thread
    // any more). The job dialogs do the same for their own workers when they
    // go with the window.
    wizard_->StopWorkers();
}

// ---- what can run now ----------------------------------------------------------------------

void MainWindow::ShowStepState() {
    const int step = state_.currentStep;
    const bool raw = session_.recoveryMode.load() == workflow::kModeRaw && step >= 1;
    const bool busy = state_.searchWorker.Running() || state_.mountWorker.Running();
    struct Gate {
        Tool tool;
        const char* name;
        bool open;
        const char* why;
    };
    const Gate gates[3] = {
        {Tool::SaveData, "Save Data", step == 2 && !busy, "available once a volume is open"},
        {Tool::LoadLog, "Load Log", !raw && step != 2 && !busy,
         raw ? "not available in Raw Recovery mode" : "available while choosing a disk or a volume"},
        {Tool::SaveLog, "Save Log", !raw && step == 2 && !busy,
         raw ? "not available in Raw Recovery mode" : "available once a volume is open"},
    };
    for (const Gate& g : gates) {
        QToolButton* b = ToolButton(g.tool);
        b->setEnabled(g.open);
        b->setToolTip(g.open ? QString(g.name) : QString("%1 (%2)").arg(g.name, g.why));
    }
    parts_.loadLogAction->setEnabled(ToolButton(Tool::LoadLog)->isEnabled());
    parts_.saveLogAction->setEnabled(ToolButton(Tool::SaveLog)->isEnabled());
    if (markAction_) markAction_->setEnabled(step == 2 && !busy);
    if (folderMount_) folderMount_->StepShown(step, busy);
    // The handle shares the width between a left column and the list.
    splitHandle_->setVisible(!parts_.rawPanel->isVisible());

    // Status bar: the disk, the volume, and what the volume holds.
    QStringList where;
    for (const disk::DiskInfo& d : session_.diskList)
        if (d.number == session_.selectedDiskNumber && !session_.selectedDiskLabel.empty())
            where << QString("%1 (%2)").arg(QString::fromStdString(session_.selectedDiskLabel),
                                            QFileInfo(QString::fromStdString(d.path)).fileName());
    if (session_.volumeOpen.load() && step == 2) {
        const nw::MountedVolume& v = session_.mounted;
        where << QString("Volume %1").arg(QString::fromStdString(v.currentVolume.name))
              << QString("%1 folders, %2 files").arg(v.FolderList.Size()).arg(v.FileList.Size());
    } else if (step == 1 && !raw) {
        where << QString("%1 volume(s) found").arg(session_.found.Count());
    }
    where_->setText(where.join("   |   "));
}

// ---- size ----------------------------------------------------------------------------------

void MainWindow::LayOut() {
    QWidget* central = centralWidget();
    if (!central || !parts_.detailsList) return;
    const int w = std::max(kWidth, central->width());
    const int h = std::max(kCentralHeight, central->height());
    const int dx = w - kWidth;
    const int dy = h - kCentralHeight;
    const int left = std::clamp(leftWidth_, kLeftWidth, std::max(kLeftWidth, w / 2));
    const int listX = 5 + left + 10;

    parts_.diskFrame->setGeometry(kDiskFrame.x(), kDiskFrame.y(), left, kDiskFrame.height() + dy);
    parts_.diskTree->setGeometry(kDiskTree.x(), kDiskTree.y(), left - 16, kDiskTree.height() + dy);
    const QRect modes(kModeFrame.x(), kModeFrame.y() + dy, left, kModeFrame.height());
    parts_.plainFrame->setGeometry(modes);
    parts_.modeFrame->setGeometry(modes);
    for (int i = 0; i < 3; ++i)
        parts_.modeButtons[i]->setGeometry(modes.left() + 20, modes.top() + 26 + i * 27, left - 30, 24);
    const QRect tree(kLeftTree.x(), kLeftTree.y(), left, kLeftTree.height() + dy);
    parts_.volumeTree->setGeometry(tree);
    parts_.directoryTree->setGeometry(tree);
    parts_.detailsList->setGeometry(listX, kDetails.y(), w - listX - 5, kDetails.height() + dy);
    splitHandle_->setGeometry(5 + left + 2, kDetails.y(), 6, kDetails.height() + dy);
    parts_.rawPanel->setGeometry(kRawPanel.x(), kRawPanel.y(), kRawPanel.width() + dx, kRawPanel.height() + dy);
    parts_.volumeCountText->setGeometry(listX + 7, kVolumeCount.y(), kVolumeCount.width() + dx, kVolumeCount.height());
    parts_.statusLine->setGeometry(kStatusLine.x(), kStatusLine.y() + dy, kStatusLine.width() + dx,
                                   kStatusLine.height());
    parts_.searchProgress->setGeometry(kProgress.translated(0, dy));
    parts_.stopButton->setGeometry(kStop.translated(0, dy));
    parts_.backButton->setGeometry(kBack.translated(dx, dy));
    parts_.nextButton->setGeometry(kNext.translated(dx, dy));
    parts_.nextModeText->setGeometry(kNextModeText.translated(dx, dy));
    parts_.detailsList->FitColumns();
}

// ---- start-up ------------------------------------------------------------------------------

bool MainWindow::Initialise() {
    setWindowTitle(base::kProductTitle);
    session_.installFolder = workflow::RegistryTextRead(*session_.store, base::kClassesRoot, base::kProductKey,
                                                        base::kInstallFolderValue);
    if (session_.installFolder.empty()) {
        ShowMessage(this, "Tarvine is not installed properly", MessageIcon::Error);
        return false;
    }
    const std::string dataFolder = records::UserDataFolder();
    session_.activityLog.path = dataFolder.empty() ? std::string() : dataFolder + "/" + records::kActivityLogName;
    session_.activityLog.WriteStartHeader(std::time(nullptr));
    session_.policy.SetPrompt(&badSectorQuestion_);

    clockTimer_ = startTimer(1000);
    if (clockTimer_ == 0) {
        ShowMessage(this, "No timers are available.", MessageIcon::Error);
    } else {
        ShowClock();
    }

    state_.currentStep = -1;
    std::string error;
    const bool listed = workflow::AttachDisks(session_, sources_, &error);
    wizard_->ShowDisks();
    state_.currentStep = 0;
    if (!listed) ShowMessage(this, QString::fromStdString(error), MessageIcon::Error);

    session_.tempFolder = QDir::tempPath().toStdString();

    // The balloon language: the menu shows the stored choice when it names
    // one of the four files exactly.
    const QString stored = QString::fromStdString(
        workflow::RegistryTextRead(*session_.store, base::kClassesRoot, base::kProductKey, base::kLanguageValue));
    for (QAction* a : languages_->actions()) a->setChecked(a->data().toString() == stored);
    // Menu and mode balloons, the language file chosen from "LngFile".
    BalloonHelp* help = BalloonHelp::Install(this, *session_.store, session_.installFolder);
    help->on = balloonAction_->isChecked();

    state_.exitQuestionOpen = false;
    wizard_->ShowStepPicture(1);
    // The size the window had when it was last closed.
    const QString size = QString::fromStdString(
        workflow::RegistryTextRead(*session_.store, base::kClassesRoot, base::kProductKey, kWindowSizeValue));
    const QStringList wh = size.split('x');
    if (wh.size() == 2 && wh[0].toInt() > 0 && wh[1].toInt() > 0)
        resize(QSize(wh[0].toInt(), wh[1].toInt()).expandedTo(minimumSize()));
    ShowStepState();
    return true;
}

// ---- clock ---------------------------------------------------------------------------------

QString MainWindow::ClockText(int hour, int minute) {
    const int shown = hour % 12 == 0 ? 12 : hour % 12;
    return QString::asprintf("%02i:%02i %s", shown, minute, hour < 12 ? "AM" : "PM");
}

void MainWindow::ShowSearchEstimate() {
    if (!state_.searchWorker.Running() || !parts_.searchProgress->isVisible()) {
        if (searchClock_.isValid()) {
            searchClock_.invalidate();
            ShowStepState();
        }
        return;
    }
    if (!searchClock_.isValid()) searchClock_.start();
    const std::uint64_t bytes = workflow::DiskSectorCount(session_, session_.selectedDiskNumber) * disk::kSectorSize;
    const QString estimate = EstimateText(parts_.searchProgress->value(), searchClock_.elapsed(), bytes);
    if (!estimate.isEmpty()) where_->setText("Searching: " + estimate);
}

void MainWindow::ShowClock() {
    const QTime now = QTime::currentTime();
    clock_->setText(ClockText(now.hour(), now.minute()));
}

void MainWindow::timerEvent(QTimerEvent* event) {
    if (event->timerId() == clockTimer_) {
        ShowClock();
        ShowSearchEstimate();
        return;
    }
    QMainWindow::timerEvent(event);
}

// ---- exit ----------------------------------------------------------------------------------

bool MainWindow::AskExit() {
    if (state_.exitQuestionOpen) return false;  // the question is already on screen
    state_.exitQuestionOpen = true;
    QPointer<MainWindow> self(this);
    const MessageAnswer a =
        ShowMessage(this, "Do you want to exit from Tarvine?", MessageIcon::Question, MessageButtons::YesNo);
    if (!self) return false;
    if (a != MessageAnswer::Yes) {
        state_.exitQuestionOpen = false;
        return false;
    }
    return true;
}

void MainWindow::MenuExit() {
    if (AskExit()) endProcess(0);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (AskExit()) {
        // A worker still asking a question gets its answer now; one still
        // running ends with the program.
        channel_.Close();
        if (folderMount_) folderMount_->Stop();
        event->accept();
        QMainWindow::closeEvent(event);
    } else {
        event->ignore();
    }
}

// ---- tool buttons and commands -------------------------------------------------------------

void MainWindow::Info(const QString& caption, const QString& text) {
    ShowMessage(this, caption, text, MessageIcon::Information);
}

void MainWindow::Refuse(const char* text) { ShowMessage(this, text, MessageIcon::Error); }

void MainWindow::SaveDataTool() {
    if (state_.currentStep < 2) {
        Refuse(workflow::kGoToStep2Text);
        return;
    }
    commands_->SaveTree(true);
}

void MainWindow::LoadLogTool() {
    if (session_.recoveryMode.load() == workflow::kModeRaw) {
        Refuse(workflow::kRawModeRefusalText);
        return;
    }
    if (state_.currentStep == 2) {
        Refuse(workflow::kGoToStep1Or2Text);
        return;
    }
    commands_->LoadLog();
}

void MainWindow::SaveLogTool() {
    if (session_.recoveryMode.load() == workflow::kModeRaw) {
        Refuse(workflow::kRawModeRefusalText);
        return;
    }
    if (state_.currentStep != 2) {
        Refuse(workflow::kGoToStep2Text);
        return;
    }
    commands_->SaveLog();
}

void MainWindow::HelpContents() {
    const QString help = HelpFileIn(QString::fromStdString(session_.installFolder));
    if (!QFileInfo::exists(help)) {
        ShowMessage(this, "The help file cannot be found: " + help, MessageIcon::Error);
        return;
    }
    OpenWithDesktop(help, false);
}

void MainWindow::OpenWithDesktop(const QString& target, bool isUrl) {
    if (shellOpen && shellOpen(target, isUrl)) return;
    ShowOpenFailure(this, target, "no program on this system is set up to open it");
}

void MainWindow::ListContextMenu(const QPoint& globalPos) {
    if (state_.currentStep != 2 || parts_.detailsList->selectedItems().isEmpty()) return;
    QMenu menu(this);
    QAction* save = menu.addAction("Save");
    menu.setDefaultAction(save);
    const QList<QTreeWidgetItem*> rows = parts_.detailsList->selectedItems();
    QAction* details = rows.size() == 1 ? menu.addAction("Details") : nullptr;
    QAction* chosen = menu.exec(globalPos);
    if (chosen == save) commands_->SaveList();
    if (chosen && chosen == details) ShowEntryDetails(rows.first());
}

void MainWindow::ShowEntryDetails(const QTreeWidgetItem* row) {
    const nw::MountedVolume& volume = session_.mounted;
    const std::uint64_t number = DetailsList::NumberOfRow(row);
    const nw::EntryRecord* entry = nullptr;
    if (DetailsList::RowIsFolder(row))
        entry = nw::FolderOfNode(volume, static_cast<std::uint32_t>(number));
    else if (number < volume.FileList.Size())
        entry = &volume.FileList[static_cast<std::size_t>(number)];
    if (!entry) return;
    EntryDetailsDialog dialog(session_, *entry, this);
    dialog.exec();
}

void MainWindow::ChooseNameSpaces() {
    if (state_.mountWorker.Running()) return;  // the mount reads the preference
    NameSpaceDialog dialog(session_.saveSettings.extras, session_.mounted.preferredNameSpace, this);
    dialog.exec();
}

void MainWindow::ChooseLanguage(const QString& file) {
    for (QAction* a : languages_->actions()) a->setChecked(a->data().toString() == file);
    session_.store->Write(base::kClassesRoot, base::kProductKey, base::kLanguageValue, file.toStdString());
}

void MainWindow::OpenDiskImage() {
    if (state_.currentStep != 0 || state_.searchWorker.Running()) return;
    QFileDialog dialog(this, "Open Disk Image");
    dialog.setObjectName("openImageDialog");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({"Disk images (*.img *.dd *.raw *.bin *.ima *.vhd *.vhdx *.vmdk *.qcow2 *.qcow *.E01 *.e01 *.001 *.aa)", "All files (*)"});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    AttachImage(dialog.selectedFiles().first());
}

bool MainWindow::AttachImage(const QString& path) {
    unsigned number = 0;
    std::string error;
    if (!workflow::AddImageDisk(session_, path.toStdString(), &number, &error)) {
        Refuse(error.c_str());
        return false;
    }
    wizard_->ShowDisks();
    QTreeWidgetItem* root = parts_.diskTree->topLevelItem(0);
    for (int i = 0; root && i < root->childCount(); ++i)
        if (WizardTree::NumberOf(root->child(i)) == number) wizard_->DiskChosen(root->child(i));
    return true;
}

// ---- keyboard ----------------------------------------------------------------------------------

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == centralWidget() && event->type() == QEvent::Resize) LayOut();
    if (watched == splitHandle_ && event->type() == QEvent::MouseMove) {
        auto* move = static_cast<QMouseEvent*>(event);
        if (move->buttons() & Qt::LeftButton) {
            leftWidth_ = splitHandle_->mapTo(centralWidget(), move->position().toPoint()).x() - 5;
            LayOut();
            return true;
        }
    }
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return QMainWindow::eventFilter(watched, event);
    auto* target = static_cast<QWidget*>(watched);
    // Keys of this window and its controls only; dialogs, menus and message
    // boxes keep their own handling.
    if (target->window() != this) return QMainWindow::eventFilter(watched, event);
    return HandleKey(target, static_cast<QKeyEvent*>(event));
}

bool MainWindow::HandleKey(QWidget* target, QKeyEvent* event) {
    WindowState& w = state_;
    const int step = w.currentStep;
    switch (event->key()) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            if (step != 2) return false;
            if (!w.treeHasFocus) {
                w.treeHasFocus = true;
                parts_.directoryTree->setFocus(Qt::TabFocusReason);
            } else {
                w.treeHasFocus = false;
                parts_.detailsList->setFocus(Qt::TabFocusReason);
            }
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (step < 2) {
                // Enter on a mode button selects it; at the first two steps
                // Enter then presses Next when it can go on.
                if (auto* mode = qobject_cast<ModeButton*>(target); mode && mode->isEnabled())
                    wizard_->ModeHovered(mode->Mode());
                if (parts_.nextButton->isVisible() && parts_.nextButton->isEnabled()) parts_.nextButton->click();
            } else if (step == 2 && w.treeHasFocus) {
                if (QTreeWidgetItem* item = parts_.directoryTree->currentItem()) wizard_->ShowFolderOf(item);
            } else if (step == 2 && target == parts_.detailsList) {
                wizard_->OpenRow(parts_.detailsList->currentItem());
            }
            return true;
        case Qt::Key_Escape:
            return true;
        case Qt::Key_F6:
            if (step == 1) {
                parts_.volumeTree->setFocus(Qt::OtherFocusReason);
            } else if (step == 2) {
                parts_.directoryTree->setFocus(Qt::OtherFocusReason);
                w.treeHasFocus = true;
            }
            return false;
        case Qt::Key_F7:
            parts_.detailsList->setFocus(Qt::OtherFocusReason);
            if (QTreeWidgetItem* first = parts_.detailsList->topLevelItem(0))
                parts_.detailsList->setCurrentItem(first, 0, QItemSelectionModel::NoUpdate);
            return false;
        case Qt::Key_F1:
            OpenWithDesktop(HelpFileForKey(QDir::currentPath(), QString::fromStdString(session_.installFolder)), false);
            return true;
        default:
            return false;
    }
}

}  // namespace app
