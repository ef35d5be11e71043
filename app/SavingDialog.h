// "Saving": runs a save job. Opening it starts the save on a worker of its
// own; the worker reports its figures here and asks its questions through
// the dialog's channel. When the worker ends, the dialog (on the window
// thread) shows the message the job ended with and closes itself. Torn down
// while the job runs (its window went away), it answers the questions still
// open as closing them would, stops the job and waits for the worker.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "app/UiChannel.h"
#include "recovery/SaveJob.h"
#include "workflow/Save.h"
#include "workflow/Session.h"
#include "workflow/Worker.h"

class QGridLayout;
class QLabel;
class QPushButton;

namespace ui {
class CaptionProgressBar;
}

namespace app {

class CountingDialog;

class SavingDialog : public QDialog, public recovery::SaveProgressView, public recovery::SavePrompts {
    Q_OBJECT
public:
    SavingDialog(workflow::Session& session, recovery::SaveJob& job, workflow::SaveRequest request,
                 QWidget* parent = nullptr);
    ~SavingDialog() override;

    void reject() override;
    // The file being read now ("File Name :").
    QString CurrentFileName() const;  // the cancel key does nothing; the dialog closes when the job is over

    // recovery::SaveProgressView (called by the save worker)
    void CountingStarted() override;
    void CountingProgress(std::uint32_t totalFiles) override;
    void CountingFinished() override;
    void FileStarted(const recovery::FileFigures& figures) override;
    void SectorWritten(std::uint64_t written, std::uint64_t byteCount) override;
    void TimeFigures(std::int64_t remainingSeconds, std::int64_t elapsedSeconds) override;
    void FileFiltered(const std::string& folderPath, const std::string& name) override;
    void FileEnded(const std::string& target, recovery::FileOutcome outcome, std::uint64_t written,
                   std::uint64_t byteCount) override;

    // recovery::SavePrompts (called by the save worker, answered here)
    recovery::ReplaceAnswer ConfirmReplace(const std::string& target) override;
    recovery::WriteErrorAnswer WriteError(const std::string& target, const std::string& reason) override;
    void ShowError(const std::string& text) override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    QLabel* AddFigure(QGridLayout* grid, int row, const char* caption, const char* name);
    // Progress bar, "Total Data Recovered :" and " Recovered Current File :"
    // from the bytes written so far.
    void ShowBytes();
    // On the window thread once the worker's save has returned.
    void Finished(const workflow::SaveResult& result);
    // "Save finished" with what was written, damaged, renamed and skipped.
    void ShowOutcome(QWidget* owner, const recovery::SaveOutcome& outcome);

    workflow::Session& session_;
    recovery::SaveJob& job_;
    workflow::SaveRequest request_;
    UiChannel channel_{this};
    workflow::Worker worker_;

    QLabel* fileName_ = nullptr;
    QLabel* filePath_ = nullptr;
    QLabel* filesRecovered_ = nullptr;
    QLabel* currentFile_ = nullptr;
    QLabel* totalData_ = nullptr;
    QLabel* remaining_ = nullptr;
    QLabel* elapsed_ = nullptr;
    QLabel* rate_ = nullptr;
    ui::CaptionProgressBar* progress_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* skip_ = nullptr;
    QPointer<CountingDialog> counting_;
    std::atomic<std::uint32_t> countedFiles_{0};
    std::atomic<std::uint64_t> written_{0};
    std::atomic<std::uint64_t> byteCount_{0};
    std::atomic<bool> sectorsChanged_{false};
    // The job's bytes when the current file started and the job's total:
    // with the bytes written of the file they give the job's progress
    // while a large file is copied.
    std::atomic<std::uint64_t> fileBase_{0};
    std::atomic<std::uint64_t> totalBytes_{0};
    // How the files ended, for the summary.
    std::atomic<std::uint32_t> filesWritten_{0};
    std::atomic<std::uint32_t> filesSkipped_{0};
    std::atomic<std::uint64_t> bytesWritten_{0};
    // The hash list and DFXML report written, and why one was not.
    std::vector<std::string> recordsWritten_;
    std::string recordsFailure_;
    QElapsedTimer clock_;
    bool started_ = false;
    bool finished_ = false;
};

}  // namespace app
