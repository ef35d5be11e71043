// "Verify Disk": reads the chosen disk on a worker of its own and checks it
// against the hashes stored when it was acquired (an E01 set), or hashes
// it (any other disk), with a progress bar and "&Stop". "&Close" is enabled
// when the check is over; the outcome then stands in the dialog and, once
// it closes, in the disk's facts. Torn down while the check runs (its
// window went away), it stops the check and waits for it without waiting
// on the window thread.
#pragma once

#include <QDialog>

#include "app/UiChannel.h"
#include "records/DiskVerify.h"
#include "workflow/Session.h"
#include "workflow/Worker.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace app {

class MainWindow;

class VerifyDiskDialog : public QDialog {
    Q_OBJECT
public:
    VerifyDiskDialog(workflow::Session& session, unsigned disk, QWidget* parent = nullptr);
    ~VerifyDiskDialog() override;

    void reject() override;  // Escape and the close box: Stop while the check runs
    bool Done() const { return done_; }
    const records::DiskVerification& Outcome() const { return outcome_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Finished(const records::DiskVerification& outcome);

    workflow::Session& session_;
    unsigned disk_;
    UiChannel channel_{this};
    workflow::Worker worker_;
    base::CancelFlag cancel_{false};
    records::DiskVerification outcome_;
    QLabel* status_ = nullptr;
    QLabel* result_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* close_ = nullptr;
    bool started_ = false;
    bool done_ = false;
};

// The menu command: checks the disk chosen in the window (says so when none
// is), then shows the outcome in the disk's facts.
void VerifyChosenDisk(MainWindow& window);

}  // namespace app
