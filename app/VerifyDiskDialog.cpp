#include "app/VerifyDiskDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "app/MainWindow.h"
#include "app/Messages.h"
#include "app/WizardTree.h"
#include "workflow/Verify.h"

namespace app {

namespace {

// Progress from the worker, carried to the bar through the dialog's channel.
class BarProgress : public base::ProgressSink {
public:
    BarProgress(UiChannel& channel, QPointer<QProgressBar> bar) : channel_(channel), bar_(std::move(bar)) {}
    void Percent(int percent) override {
        channel_.Post([bar = bar_, percent] {
            if (bar) bar->setValue(percent);
        });
    }

private:
    UiChannel& channel_;
    QPointer<QProgressBar> bar_;  // made on the window thread, only passed on here
};

QString HashLines(const records::DiskVerification& v) {
    QString lines;
    for (const records::HashCheck& h : v.hashes) {
        lines += QString("\n%1 computed: %2").arg(QString::fromStdString(h.kind), QString::fromStdString(h.computed));
        if (!h.stored.empty())
            lines += QString("\n%1 stored: %2").arg(QString::fromStdString(h.kind), QString::fromStdString(h.stored));
    }
    return lines;
}

}  // namespace

VerifyDiskDialog::VerifyDiskDialog(workflow::Session& session, unsigned disk, QWidget* parent)
    : QDialog(parent), session_(session), disk_(disk) {
    setObjectName("verifyDiskDialog");
    setWindowTitle("Verify Disk");
    setModal(true);
    setMinimumWidth(420);
    status_ = new QLabel(QString("Verifying Disk%1....").arg(disk));
    status_->setObjectName("verifyStatus");
    bar_ = new QProgressBar;
    bar_->setObjectName("verifyProgress");
    bar_->setRange(0, 100);
    result_ = new QLabel;
    result_->setObjectName("verifyResult");
    result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    stop_ = new QPushButton("&Stop");
    stop_->setObjectName("verifyStop");
    close_ = new QPushButton("&Close");
    close_->setObjectName("verifyClose");
    close_->setEnabled(false);
    connect(stop_, &QPushButton::clicked, this, [this] {
        cancel_.store(true);
        stop_->setEnabled(false);
    });
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(stop_);
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(status_);
    layout->addWidget(bar_);
    layout->addWidget(result_);
    layout->addLayout(buttons);
}

VerifyDiskDialog::~VerifyDiskDialog() {
    cancel_.store(true);
    channel_.Close();
    worker_.Join();
}

void VerifyDiskDialog::reject() {
    if (done_) {
        QDialog::reject();
        return;
    }
    cancel_.store(true);
    stop_->setEnabled(false);
}

void VerifyDiskDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (started_) return;
    started_ = true;
    worker_.Start([this, bar = QPointer<QProgressBar>(bar_)] {
        BarProgress progress(channel_, bar);
        const records::DiskVerification outcome = workflow::VerifyDisk(session_, disk_, progress, &cancel_);
        channel_.Post([this, outcome] {
            worker_.Join();  // its routine has posted this as its last act
            Finished(outcome);
        });
    });
}

void VerifyDiskDialog::Finished(const records::DiskVerification& outcome) {
    outcome_ = outcome;
    done_ = true;
    status_->setText(QString("Disk%1: %2").arg(disk_).arg(QString::fromStdString(workflow::VerificationFact(outcome))));
    if (!outcome.stopped) result_->setText(HashLines(outcome).mid(1));
    stop_->setEnabled(false);
    close_->setEnabled(true);
    close_->setDefault(true);
    close_->setFocus();
}

void VerifyChosenDisk(MainWindow& window) {
    workflow::Session& session = window.Session();
    if (session.selectedDiskLabel.empty()) {
        ShowMessage(&window, "Choose a disk first: click it in the disk list.", MessageIcon::Information);
        return;
    }
    const unsigned disk = session.selectedDiskNumber;
    auto* dialog = new VerifyDiskDialog(session, disk, &window);
    QPointer<VerifyDiskDialog> guard(dialog);
    dialog->exec();
    if (!guard) return;
    if (dialog->Done()) workflow::NoteVerification(session, disk, dialog->Outcome());
    delete dialog;
    // The disk's facts show the outcome when the disk is the one shown.
    WizardTree* tree = window.Parts().diskTree;
    if (window.State().currentStep == 0 && tree && tree->currentItem() &&
        WizardTree::NumberOf(tree->currentItem()) == disk)
        window.Wizard().DiskChosen(tree->currentItem());
}

}  // namespace app
