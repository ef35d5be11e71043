#include "app/SavingDialog.h"

#include <QCloseEvent>
#include <algorithm>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/CountingDialog.h"
#include "app/MainWindow.h"
#include "app/Messages.h"
#include "app/ReplaceConfirmDialog.h"
#include "app/WriteErrorDialog.h"
#include "ui/CaptionProgressBar.h"
#include "workflow/Texts.h"

namespace app {

namespace {

QString PercentCaption(int percent) { return QString("%1% Completed").arg(percent); }
QString MinutesText(std::int64_t seconds) { return QString("%1 Min %2 Sec").arg(seconds / 60).arg(seconds % 60); }

}  // namespace

SavingDialog::SavingDialog(workflow::Session& session, recovery::SaveJob& job, workflow::SaveRequest request,
                           QWidget* parent)
    : QDialog(parent), session_(session), job_(job), request_(std::move(request)) {
    setObjectName("savingDialog");
    setWindowTitle("Saving");
    setModal(true);
    setMinimumWidth(520);
    auto* grid = new QGridLayout;
    fileName_ = AddFigure(grid, 0, "File Name :", "fileName");
    filePath_ = AddFigure(grid, 1, "File Path :", "filePath");
    filesRecovered_ = AddFigure(grid, 2, "Total Files Recovered :", "filesRecovered");
    currentFile_ = AddFigure(grid, 3, " Recovered Current File :", "currentFile");
    totalData_ = AddFigure(grid, 4, "Total Data Recovered :", "totalData");
    remaining_ = AddFigure(grid, 5, "Time Remaining :", "timeRemaining");
    elapsed_ = AddFigure(grid, 6, "Time Elapsed :", "timeElapsed");
    rate_ = AddFigure(grid, 7, "Rate :", "saveRate");
    progress_ = new ui::CaptionProgressBar;
    progress_->setObjectName("saveProgress");
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->SetCaption(PercentCaption(0));

    stop_ = new QPushButton("&Stop");
    skip_ = new QPushButton("S&kip");
    stop_->setDefault(true);
    skip_->setAutoDefault(false);
    connect(stop_, &QPushButton::clicked, this, [this] { job_.RequestStop(); });
    connect(skip_, &QPushButton::clicked, this, [this] { job_.RequestSkip(); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(stop_);
    buttons->addWidget(skip_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(progress_);
    layout->addLayout(buttons);
    startTimer(50);
}

SavingDialog::~SavingDialog() {
    // Torn down with its owner while the job runs: the questions the worker
    // waits for are answered as closing them would, and the job stops after
    // its current block (or the counting at its next record). Then nothing
    // can keep the worker waiting.
    channel_.Close();
    if (!finished_) {
        job_.RequestCountingStop();
        job_.RequestStop();
    }
    worker_.Join();
}

QLabel* SavingDialog::AddFigure(QGridLayout* grid, int row, const char* caption, const char* name) {
    auto* value = new QLabel;
    value->setObjectName(name);
    value->setMinimumWidth(300);
    grid->addWidget(new QLabel(caption), row, 0);
    grid->addWidget(value, row, 1);
    return value;
}

void SavingDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (started_) return;
    started_ = true;
    clock_.start();
    worker_.Start([this] {
        const workflow::SaveResult result = workflow::RunSave(session_, job_, request_, *this, *this);
        channel_.Post([this, result] { Finished(result); });
    });
}

void SavingDialog::Finished(const workflow::SaveResult& result) {
    worker_.Join();  // its routine has posted this as its last act
    finished_ = true;
    if (counting_) counting_->done(QDialog::Accepted);
    QPointer<SavingDialog> self(this);
    ShowNotice(this, result.notice);
    if (!self) return;
    done(QDialog::Accepted);
    recordsWritten_ = result.recordsWritten;
    recordsFailure_ = result.recordsFailure;
    // A job that ran says what it did; one refused before its first file
    // has said why in its notice.
    if (!result.notice || job_.filesStarted > 0) ShowOutcome(parentWidget(), result.outcome);
}

void SavingDialog::ShowOutcome(QWidget* owner, const recovery::SaveOutcome& outcome) {
    constexpr std::size_t kNamedAtMost = 10;  // files named one by one in the summary
    const bool stopped = outcome.stopped;
    const std::int64_t seconds = clock_.isValid() ? clock_.elapsed() / 1000 : 0;
    QStringList figures;
    figures << QString("Files saved: %1").arg(filesWritten_.load())
            << QString("Data written: %1 (%2 bytes)").arg(SizeText(bytesWritten_.load())).arg(bytesWritten_.load())
            << QString("Damaged (saved as far as they could be read): %1").arg(outcome.damaged.size());
    for (std::size_t k = 0; k < outcome.damaged.size() && k < kNamedAtMost; ++k) {
        const recovery::DamagedFile& d = outcome.damaged[k];
        figures << QString("    %1 (%2 bytes unreadable)").arg(QString::fromStdString(d.target)).arg(d.unreadableBytes);
    }
    if (outcome.damaged.size() > kNamedAtMost)
        figures << QString("    ... and %1 more").arg(outcome.damaged.size() - kNamedAtMost);
    figures << QString("Failed: %1").arg(outcome.failed.size());
    for (std::size_t k = 0; k < outcome.failed.size() && k < kNamedAtMost; ++k)
        figures << QString("    %1: %2").arg(QString::fromStdString(outcome.failed[k].target),
                                           QString::fromStdString(outcome.failed[k].reason));
    if (outcome.failed.size() > kNamedAtMost)
        figures << QString("    ... and %1 more").arg(outcome.failed.size() - kNamedAtMost);
    figures << QString("Renamed: %1").arg(outcome.renamed.size())
            << QString("Skipped: %1").arg(filesSkipped_.load()) << QString("Time: %1").arg(DurationText(seconds));
    // The records of the save: the hash list to check the copy with
    // (sha256sum -c in the destination) and the DFXML report.
    for (const std::string& path : recordsWritten_)
        figures << QString("%1: %2")
                       .arg(QString::fromStdString(path).endsWith(".xml") ? "DFXML report" : "Hash list",
                            QString::fromStdString(path));
    if (!recordsFailure_.empty())
        figures << QString("%1: %2").arg(workflow::kRecordNotWrittenText, QString::fromStdString(recordsFailure_));
    const QString folder = QString::fromStdString(job_.destinationPath);
    std::function<void()> openFolder;
    if (auto* window = qobject_cast<MainWindow*>(owner))
        openFolder = [window, folder] { window->OpenWithDesktop(folder, false); };
    ShowSummary(owner, "Save Summary", stopped ? "Save stopped" : "Save finished", figures, openFolder,
                !outcome.damaged.empty() || !outcome.failed.empty());
}

void SavingDialog::reject() {
    if (finished_) QDialog::reject();
}

void SavingDialog::closeEvent(QCloseEvent* event) {
    if (finished_) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
}

void SavingDialog::timerEvent(QTimerEvent*) {
    if (counting_) counting_->SetCount(countedFiles_.load());
    if (sectorsChanged_.exchange(false)) ShowBytes();
}

void SavingDialog::ShowBytes() {
    const std::uint64_t written = written_.load();
    const std::uint64_t total = totalBytes_.load();
    const std::uint64_t done = std::max(job_.savedBytes.load(), fileBase_.load() + written);
    currentFile_->setText(QString("%1 of %2").arg(SizeText(written), SizeText(byteCount_.load())));
    if (total == 0) return;
    const int percent = static_cast<int>(std::min<std::uint64_t>(100, done * 100 / total));
    progress_->setValue(percent);
    progress_->SetCaption(PercentCaption(percent));
    totalData_->setText(QString("%1 of %2").arg(SizeText(done), SizeText(total)));
}

// ---- what the worker reports -----------------------------------------------------------

void SavingDialog::CountingStarted() {
    channel_.Post([this] {
        if (counting_ || finished_) return;
        counting_ = new CountingDialog(job_, this);
        counting_->setAttribute(Qt::WA_DeleteOnClose);
        counting_->open();
    });
}

void SavingDialog::CountingProgress(std::uint32_t totalFiles) { countedFiles_ = totalFiles; }

void SavingDialog::CountingFinished() {
    channel_.Post([this] {
        if (counting_) counting_->done(QDialog::Accepted);
    });
}

void SavingDialog::FileStarted(const recovery::FileFigures& f) {
    // On the worker, which owns the job's figures while it runs.
    fileBase_ = f.savedBytes;
    totalBytes_ = f.totalBytes;
    written_ = 0;
    channel_.Post([this, f] {
        filePath_->setText(QString::fromStdString(f.folderPath));
        fileName_->setText(QString::fromStdString(f.name));
        filesRecovered_->setText(QString("%1 / %2").arg(f.filesDone).arg(f.filesTotal));
        ShowBytes();
    });
}

void SavingDialog::SectorWritten(std::uint64_t written, std::uint64_t byteCount) {
    written_ = written;
    byteCount_ = byteCount;
    sectorsChanged_ = true;
}

void SavingDialog::TimeFigures(std::int64_t remainingSeconds, std::int64_t elapsedSeconds) {
    channel_.Post([this, remainingSeconds, elapsedSeconds] {
        remaining_->setText(MinutesText(remainingSeconds));
        elapsed_->setText(MinutesText(elapsedSeconds));
        const double seconds = clock_.isValid() ? clock_.elapsed() / 1000.0 : 0;
        if (seconds > 0.5)
            rate_->setText(SizeText(static_cast<std::uint64_t>(job_.savedBytes.load() / seconds)) + "/s");
    });
}

void SavingDialog::FileFiltered(const std::string&, const std::string&) { ++filesSkipped_; }

void SavingDialog::FileEnded(const std::string&, recovery::FileOutcome outcome, std::uint64_t written,
                             std::uint64_t) {
    // Kept files count as saved (the damaged among them are named from the
    // job's outcome at the end); a file not kept left nothing behind.
    if (recovery::FileKept(outcome)) {
        bytesWritten_ += written;
        ++filesWritten_;
    } else if (outcome != recovery::FileOutcome::WriteFailed && outcome != recovery::FileOutcome::CreateFailed) {
        ++filesSkipped_;
    }
}

recovery::ReplaceAnswer SavingDialog::ConfirmReplace(const std::string& target) {
    return channel_.Ask<recovery::ReplaceAnswer>(
        [this, target] { return ReplaceConfirmDialog::Ask(this, QString::fromStdString(target), this); },
        recovery::ReplaceAnswer::No);
}

recovery::WriteErrorAnswer SavingDialog::WriteError(const std::string& target, const std::string& reason) {
    return channel_.Ask<recovery::WriteErrorAnswer>(
        [this, target, reason] { return WriteErrorDialog::Ask(this, target, reason, this); },
        recovery::WriteErrorAnswer::Skip);
}

QString SavingDialog::CurrentFileName() const { return fileName_ ? fileName_->text() : QString(); }

void SavingDialog::ShowError(const std::string& text) {
    channel_.Ask<bool>(
        [this, text] {
            ShowMessage(this, QString::fromStdString(text), MessageIcon::Error);
            return true;
        },
        true);
}

}  // namespace app
