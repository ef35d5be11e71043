#include "app/WindowCommands.h"

#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QMenu>
#include <QMimeDatabase>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>

#include "app/FileSavingDialog.h"
#include "app/ListingPrinter.h"
#include "app/MainWindow.h"
#include "app/MarkingDialog.h"
#include "app/RawPanelWidget.h"
#include "app/SavingDialog.h"
#include "app/SettingsDialog.h"
#include "app/UiThread.h"
#include "app/job/Controls.h"
#include "app/job/WizardState.h"
#include "records/DirectoryListing.h"
#include "records/RecoveryLog.h"
#include "records/Reports.h"
#include "recovery/SaveEngine.h"

namespace app {

namespace {

job::WizardState& W() { return job::Wizard(); }

// The details list as a list-source save reads it. The rows are taken once,
// on the window thread, when the job starts: the list cannot change while
// the modal "Saving" dialog is up, and the worker then never waits for the
// window.
class ListRows : public recovery::DetailsRows {
public:
    explicit ListRows(DetailsList* list) {
        const int columns = list->columnCount();
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = list->topLevelItem(i);
            Row row;
            for (int c = 0; c < columns; ++c) row.cells.push_back(item->text(c).toStdString());
            row.selected = item->isSelected();
            rows_.push_back(std::move(row));
        }
    }
    std::size_t RowCount() override { return rows_.size(); }
    std::string Cell(std::size_t row, int column) override {
        if (row >= rows_.size() || column < 0) return {};
        const auto& cells = rows_[row].cells;
        return static_cast<std::size_t>(column) < cells.size() ? cells[static_cast<std::size_t>(column)] : std::string();
    }
    bool IsSelected(std::size_t row) override { return row < rows_.size() && rows_[row].selected; }

private:
    struct Row {
        std::vector<std::string> cells;
        bool selected = false;
    };
    std::vector<Row> rows_;
};

// The desktop's "open" for the report and listing commands.
class ShellOpener : public records::FileOpener {
public:
    explicit ShellOpener(MainWindow& w) : w_(w) {}
    bool Open(const std::string& path) override {
        w_.shellOpen(QString::fromStdString(path), false);
        return true;
    }

private:
    MainWindow& w_;
};

class ViewOpener : public recovery::FileOpener {
public:
    explicit ViewOpener(WindowCommands& c) : c_(c) {}
    recovery::OpenResult Open(const std::string& path) override { return c_.openFile(path); }
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

}  // namespace

WindowCommands::WindowCommands(MainWindow& window) : QObject(&window), window_(window) {
    WindowParts& p = window.Parts();
    rawPanel_ = new RawPanelWidget(p, &window);

    choosePrinter = [this](QPrinter& printer) {
        QPrintDialog dialog(&printer, &window_);
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
        dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
        return dialog.exec() == QDialog::Accepted;
    };
    openFile = &DesktopOpen;
    openWith = [this](const std::string& path) {
        bool ok = false;
        const QString program = QInputDialog::getText(
            &window_, "Open With", "No program is associated with this file. Open it with:", QLineEdit::Normal,
            QString(), &ok);
        if (ok && !program.trimmed().isEmpty())
            QProcess::startDetached(program.trimmed(), {QString::fromStdString(path)});
    };

    connect(p.saveAction, &QAction::triggered, this, [this] { SaveTree(false); });
    connect(p.saveSettingsAction, &QAction::triggered, this, &WindowCommands::SaveSettings);
    connect(p.saveLogAction, &QAction::triggered, this, &WindowCommands::SaveLog);
    connect(p.loadLogAction, &QAction::triggered, this, &WindowCommands::LoadLog);
    connect(p.listViewAction, &QAction::triggered, this, &WindowCommands::ViewListing);
    connect(p.listPrintAction, &QAction::triggered, this, &WindowCommands::PrintListing);
    connect(p.listEmailAction, &QAction::triggered, this, &WindowCommands::EmailListing);
    window.Wizard().viewFile = [this](const nw::EntryRecord* file) { ViewFile(file); };

    p.directoryTree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(p.directoryTree, &QWidget::customContextMenuRequested, this, &WindowCommands::TreeContextMenu);
}

WindowCommands::~WindowCommands() = default;

// ---- saving --------------------------------------------------------------------------

void WindowCommands::SaveTree(bool fromSaveDataButton) {
    if (!recovery::SaveCommandAllowed(fromSaveDataButton)) return;
    RunSave(recovery::kTreeSource);
}

void WindowCommands::SaveList() {
    if (!recovery::SaveCommandAllowed(false)) return;
    RunSave(recovery::kListSource);
}

void WindowCommands::RunSave(int source) {
    const std::string path = FileSavingDialog::Ask(&window_);
    recovery::SaveJob& job = recovery::CurrentSaveJob();
    job.destinationPath = path;
    W().destinationPath = path;
    job.source = static_cast<std::int16_t>(source);
    if (path.empty()) return;
    ListRows rows(window_.Parts().detailsList);
    recovery::SetDetailsRows(&rows);
    {
        SavingDialog saving(&window_);
        saving.exec();
    }
    recovery::SetDetailsRows(nullptr);
}

void WindowCommands::TreeContextMenu(const QPoint& pos) {
    WizardTree* tree = window_.Parts().directoryTree;
    if (W().currentStep.load() < 2) return;
    QMenu menu(&window_);
    menu.setObjectName("treeMenu");
    QAction* save = menu.addAction("Save");
    menu.setDefaultAction(save);
    if (menu.exec(tree->viewport()->mapToGlobal(pos)) == save) SaveTree(false);
}

void WindowCommands::SaveSettings() {
    SettingsDialog dialog(&window_);
    dialog.exec();
}

// ---- logs ------------------------------------------------------------------------------

void WindowCommands::SaveLog() {
    QFileDialog dialog(&window_, "Save Log");
    dialog.setObjectName("saveLogDialog");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter("*.Sav");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    std::string written;
    if (records::SaveLog(dialog.selectedFiles().first().toStdString(), &written))
        recovery::CurrentSaveJob().destinationPath = W().destinationPath;
}

void WindowCommands::LoadLog() {
    if (W().recoveryMode.load() == job::kModeRaw) {
        job::ShowMessage(records::kLoadLogRawModeText, job::MessageIcon::Error);
        return;
    }
    QFileDialog dialog(&window_, "Load Log");
    dialog.setObjectName("loadLogDialog");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilter("*.sav");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    records::LoadLog(dialog.selectedFiles().last().toStdString());
}

// ---- marking and viewing ---------------------------------------------------------------

void WindowCommands::MarkCompressed() {
    if (W().currentStep.load() != 2) return;
    MarkingDialog dialog(&window_);
    dialog.exec();
}

void WindowCommands::ViewFile(const nw::EntryRecord* file) {
    if (!file) return;
    ViewOpener opener(*this);
    recovery::ViewFile(file->size, file->firstBlock, recovery::ViewFolder(), file->name, file->attributesHigh, opener);
}

// ---- reports and listings --------------------------------------------------------------

void WindowCommands::ViewReport() {
    ShellOpener opener(window_);
    records::ViewReport(opener);
}

void WindowCommands::EmailReport() { records::EmailReport(); }

void WindowCommands::ViewListing() {
    ShellOpener opener(window_);
    records::ViewListing(opener);
}

void WindowCommands::EmailListing() { records::EmailListing(); }

void WindowCommands::PrintListing() {
    std::string path;
    if (!records::PreparePrintListing(&path)) return;
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return;
    const QByteArray bytes = file.readAll();
    file.close();
    const std::vector<std::string> lines = records::SplitPrintRecords(bytes.toStdString());
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    if (!choosePrinter || !choosePrinter(printer)) return;
    PrintListingLines(printer, lines);
}

}  // namespace app
