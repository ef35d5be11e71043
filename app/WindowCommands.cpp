#include "app/WindowCommands.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QMenu>
#include <QMimeDatabase>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPointer>
#include <QProcess>

#include "app/DesktopOpen.h"
#include "app/FileSavingDialog.h"
#include "app/ListingPrinter.h"
#include "app/MainWindow.h"
#include "app/MarkingDialog.h"
#include "app/Messages.h"
#include "app/RawPanelWidget.h"
#include "app/SavingDialog.h"
#include "app/SettingsDialog.h"
#include "records/RecoveryLog.h"
#include "workflow/Files.h"
#include "workflow/RecoveryLogs.h"
#include "workflow/Reports.h"
#include "workflow/Save.h"
#include "workflow/Texts.h"

namespace app {

namespace {

// The desktop's "open" for the report and listing commands.
class ShellOpener : public records::FileOpener {
public:
    explicit ShellOpener(MainWindow& w) : w_(w) {}
    bool Open(const std::string& path) override {
        w_.OpenWithDesktop(QString::fromStdString(path), false);
        return true;
    }

private:
    MainWindow& w_;
};

class ViewOpener : public recovery::FileOpener {
public:
    explicit ViewOpener(WindowCommands& c) : c_(c) {}
    recovery::OpenResult Open(const std::string& path) override {
        const recovery::OpenResult result = c_.openFile(path);
        if (result == recovery::OpenResult::Failed) c_.OpenFailed(path);
        return result;
    }
    void OpenWith(const std::string& path) override { c_.openWith(path); }

private:
    WindowCommands& c_;
};

// xdg-open through xdg-mime: a type with no default application counts as
// no association.
recovery::OpenResult DesktopOpen(const std::string& path) {
    const QString file = QString::fromStdString(path);
    const QString mime = QMimeDatabase().mimeTypeForFile(file).name();
    QProcess query;
    query.start("xdg-mime", {"query", "default", mime});
    if (query.waitForFinished(5000) && query.exitCode() == 0 &&
        QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed().isEmpty())
        return recovery::OpenResult::NoAssociation;
    return QProcess::startDetached("xdg-open", {file}) ? recovery::OpenResult::Opened : recovery::OpenResult::Failed;
}

// Runs a dialog made on the heap modally and deletes it; QDialog::Rejected
// when it went with its owner while open.
int ExecOwned(QDialog* dialog) {
    QPointer<QDialog> guard(dialog);
    const int result = dialog->exec();
    if (!guard) return QDialog::Rejected;
    delete dialog;
    return result;
}

// A file dialog of the window; the chosen files (empty when cancelled).
QStringList ChooseFiles(QWidget* owner, const QString& caption, const char* name, QFileDialog::AcceptMode mode,
                        QFileDialog::FileMode fileMode, const QString& filter) {
    auto* dialog = new QFileDialog(owner, caption);
    QPointer<QFileDialog> guard(dialog);
    dialog->setObjectName(name);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(mode);
    dialog->setFileMode(fileMode);
    dialog->setNameFilter(filter);
    const int result = dialog->exec();
    if (!guard) return {};
    const QStringList files = result == QDialog::Accepted ? dialog->selectedFiles() : QStringList();
    delete dialog;
    return files;
}

}  // namespace

WindowCommands::WindowCommands(MainWindow& window) : QObject(&window), window_(window) {
    WindowParts& p = window.Parts();
    rawPanel_ = new RawPanelWidget(p, window.Session(), window.State(), &window);

    choosePrinter = [this](QPrinter& printer) {
        QPrintDialog dialog(&printer, &window_);
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
        dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
        return dialog.exec() == QDialog::Accepted;
    };
    printerAvailable = [] { return !QPrinterInfo::availablePrinters().isEmpty(); };
    openFile = &DesktopOpen;
    openWith = [this](const std::string& path) {
        bool ok = false;
        const QString program = QInputDialog::getText(
            &window_, "Open With", "No program is associated with this file. Open it with:", QLineEdit::Normal,
            QString(), &ok);
        if (ok && !program.trimmed().isEmpty() &&
            !QProcess::startDetached(program.trimmed(), {QString::fromStdString(path)}))
            ShowOpenFailure(&window_, QString::fromStdString(path),
                            QString("the program %1 could not be started").arg(program.trimmed()));
    };

    connect(p.saveAction, &QAction::triggered, this, [this] { SaveTree(false); });
    connect(p.saveSettingsAction, &QAction::triggered, this, &WindowCommands::SaveSettings);
    connect(p.saveLogAction, &QAction::triggered, this, &WindowCommands::SaveLog);
    connect(p.loadLogAction, &QAction::triggered, this, &WindowCommands::LoadLog);
    connect(p.listViewAction, &QAction::triggered, this, &WindowCommands::ViewListing);
    connect(p.listPrintAction, &QAction::triggered, this, &WindowCommands::PrintListing);
    connect(p.listEmailAction, &QAction::triggered, this, &WindowCommands::EmailListing);
    window.Wizard().viewFile = [this](std::size_t fileIndex) { ViewFile(fileIndex); };

    p.directoryTree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(p.directoryTree, &QWidget::customContextMenuRequested, this, &WindowCommands::TreeContextMenu);
}

WindowCommands::~WindowCommands() = default;

// ---- saving --------------------------------------------------------------------------

void WindowCommands::SaveTree(bool fromSaveDataButton) {
    if (window_.State().currentStep < 2) {
        if (fromSaveDataButton) ShowMessage(&window_, workflow::kGoToStep2Text, MessageIcon::Error);
        return;
    }
    RunSave(recovery::kTreeSource);
}

void WindowCommands::SaveList() {
    if (window_.State().currentStep < 2) return;
    RunSave(recovery::kListSource);
}

void WindowCommands::RunSave(int source) {
    workflow::Session& session = window_.Session();
    QPointer<WindowCommands> self(this);
    const std::string path = FileSavingDialog::Ask(&window_, session.saveSettings);
    if (!self) return;  // the window went away meanwhile
    lastSave_ = std::make_unique<recovery::SaveJob>();
    lastSave_->destinationPath = path;
    lastSave_->source = static_cast<std::int16_t>(source);
    session.destinationPath = path;
    if (path.empty()) return;
    workflow::SaveRequest request;
    request.source = static_cast<recovery::SaveSource>(source);
    request.destinationPath = path;
    if (session.saveSettings.dfxmlReport) {
        request.hashListPath = workflow::RecordBeside(path, ".sha256");
        request.dfxmlPath = workflow::RecordBeside(path, ".dfxml.xml");
    }
    // The list's rows as they are now: the list cannot change while the
    // modal "Saving" dialog is up, and the worker never reads the widget.
    if (request.source == recovery::kListSource) request.items = window_.Parts().detailsList->ListItems();
    if (preparingSave) preparingSave(*lastSave_);
    ExecOwned(new SavingDialog(session, *lastSave_, std::move(request), &window_));
}

void WindowCommands::TreeContextMenu(const QPoint& pos) {
    WizardTree* tree = window_.Parts().directoryTree;
    if (window_.State().currentStep < 2) return;
    QMenu menu(&window_);
    menu.setObjectName("treeMenu");
    QAction* save = menu.addAction("Save");
    menu.setDefaultAction(save);
    if (menu.exec(tree->viewport()->mapToGlobal(pos)) == save) SaveTree(false);
}

void WindowCommands::SaveSettings() { ExecOwned(new SettingsDialog(window_.Session().saveSettings, &window_)); }

// ---- logs ------------------------------------------------------------------------------

void WindowCommands::SaveLog() {
    QPointer<WindowCommands> self(this);
    const QStringList files =
        ChooseFiles(&window_, "Save Log", "saveLogDialog", QFileDialog::AcceptSave, QFileDialog::AnyFile, "*.Sav");
    if (!self || files.isEmpty()) return;
    const workflow::LogSaved saved = workflow::SaveRecoveryLog(window_.Session(), files.first().toStdString());
    ShowNotice(&window_, saved.notice);
    if (saved.written && !saved.notice)
        ShowMessage(&window_, "Save Log", QString("The recovery log was saved to %1").arg(QString::fromStdString(saved.path)),
                    MessageIcon::Information);
}

void WindowCommands::LoadLog() {
    workflow::Session& session = window_.Session();
    if (session.recoveryMode.load() == workflow::kModeRaw) {
        ShowMessage(&window_, records::kLoadLogRawModeText, MessageIcon::Error);
        return;
    }
    QPointer<WindowCommands> self(this);
    const QStringList files = ChooseFiles(&window_, "Load Log", "loadLogDialog", QFileDialog::AcceptOpen,
                                          QFileDialog::ExistingFiles, "*.sav");
    if (!self || files.isEmpty()) return;
    const std::string path = files.last().toStdString();
    WindowState& state = window_.State();
    // A log names a disk that is read to check it: the reading runs on the
    // step's worker, and the window carries on when it has ended.
    if (state.currentStep == 0 && !state.searchWorker.Running()) {
        state.searchWorker.Start([this, &session, path] {
            const workflow::LogLoaded loaded = workflow::LoadVolumeList(session, path);
            window_.Channel().Post([this, loaded] { VolumeListLoaded(loaded); });
        });
    } else if (state.currentStep == 1 && !state.mountWorker.Running()) {
        state.storedLengths.clear();
        state.mountWorker.Start([this, &session, &state, path] {
            const workflow::LogLoaded loaded = workflow::LoadMountedVolume(session, path);
            if (loaded.loaded) state.storedLengths = workflow::ReadStoredLengths(session);
            window_.Channel().Post([this, loaded] { MountedVolumeLoaded(loaded); });
        });
    }
    window_.Wizard().NoteStepShown();  // the tools grey while the worker runs
}

void WindowCommands::VolumeListLoaded(const workflow::LogLoaded& loaded) {
    WindowState& state = window_.State();
    WizardController& wizard = window_.Wizard();
    state.searchWorker.Join();  // its routine has posted this as its last act
    ShowNotice(&window_, loaded.notice);
    if (!loaded.loaded) {
        wizard.NoteStepShown();
        return;
    }
    wizard.ShowFoundVolumes();
    state.currentStep = 1;
    wizard.NoteStepShown();
    wizard.ShowStep(WizardController::Layout::VolumesListed);
}

void WindowCommands::MountedVolumeLoaded(const workflow::LogLoaded& loaded) {
    window_.State().mountWorker.Join();  // its routine has posted this as its last act
    ShowNotice(&window_, loaded.notice);
    if (!loaded.loaded) {
        window_.Wizard().NoteStepShown();
        return;
    }
    window_.Wizard().ShowOpenVolume();
}

// ---- marking and viewing ---------------------------------------------------------------

void WindowCommands::MarkCompressed() {
    if (window_.State().currentStep != 2) return;
    ExecOwned(new MarkingDialog(window_.Session(), &window_));
}

void WindowCommands::OpenFailed(const std::string& path) {
    ShowMessage(&window_,
                QString("Could not open %1: no program on this system is set up to open it.")
                    .arg(QString::fromStdString(path)),
                MessageIcon::Error);
}

void WindowCommands::ViewFile(std::size_t fileIndex) {
    ViewOpener opener(*this);
    const workflow::ViewOutcome outcome = workflow::ViewFile(window_.Session(), fileIndex, opener);
    ShowNotice(&window_, outcome.notice);
}

// ---- reports and listings --------------------------------------------------------------

void WindowCommands::ViewReport() {
    ShellOpener opener(window_);
    ShowNotice(&window_, workflow::ViewReport(window_.Session(), opener).notice);
}

void WindowCommands::ShowMailOutcome(const workflow::ReportOutcome& outcome) {
    ShowNotice(&window_, outcome.notice);
    if (outcome.handOffStatus == 0) return;
    const QString reason = outcome.handOffStatus < 0 ? QString("the mail program could not be started")
                                                     : OpenerFailureText(outcome.handOffStatus);
    const QString path = QString::fromStdString(outcome.path);
    ShowHandOffFailure(&window_, "Email", QString("Could not hand %1 to a mail program: %2.").arg(path, reason), path);
}

void WindowCommands::EmailReport() { ShowMailOutcome(workflow::EmailReport(window_.Session())); }

void WindowCommands::ViewListing() {
    ShellOpener opener(window_);
    ShowNotice(&window_, workflow::ViewListing(window_.Session(), opener).notice);
}

void WindowCommands::EmailListing() { ShowMailOutcome(workflow::EmailListing(window_.Session())); }

void WindowCommands::PrintListing() {
    const workflow::ReportOutcome prepared = workflow::PrepareListingPrint(window_.Session());
    ShowNotice(&window_, prepared.notice);
    if (!prepared.done) return;
    QFile file(QString::fromStdString(prepared.path));
    if (!file.open(QIODevice::ReadOnly)) return;
    const QByteArray bytes = file.readAll();
    file.close();
    const std::vector<std::string> lines = records::SplitPrintRecords(bytes.toStdString());
    const QString path = QString::fromStdString(prepared.path);
    if (printerAvailable && !printerAvailable()) {
        ShowHandOffFailure(&window_, "Print",
                           QString("Could not print %1: no printer is set up on this system.").arg(path), path);
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    if (!choosePrinter || !choosePrinter(printer)) return;
    const int pages = PrintListingLines(printer, lines);
    if ((pages == 0 && !lines.empty()) || printer.printerState() == QPrinter::Error)
        ShowHandOffFailure(&window_, "Print",
                           QString("Could not print %1: the printer %2 did not take it.")
                               .arg(path, printer.printerName().isEmpty() ? QString("chosen") : printer.printerName()),
                           path);
}

}  // namespace app
