#include "app/CountingDialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

#include "app/Messages.h"

namespace app {

CountingDialog::CountingDialog(recovery::SaveJob& job, QWidget* parent) : QDialog(parent), job_(job) {
    setObjectName("countingDialog");
    setWindowTitle("Calculating File Size");
    setModal(true);
    auto* text = new QLabel(recovery::kCountingText);
    countText_ = new QLabel("0");
    countText_->setObjectName("countingFiles");
    stop_ = new QPushButton("Stop ");
    stop_->setDefault(true);
    auto* grid = new QGridLayout(this);
    grid->addWidget(text, 0, 0, 1, 2);
    grid->addWidget(new QLabel("Total Files :"), 1, 0);
    grid->addWidget(countText_, 1, 1);
    grid->addWidget(stop_, 2, 1, Qt::AlignRight);
    connect(stop_, &QPushButton::clicked, this, &CountingDialog::Stop);
    startTimer(50);
}

void CountingDialog::timerEvent(QTimerEvent*) { countText_->setText(QString::number(count_.load())); }

void CountingDialog::Stop() {
    stop_->setEnabled(false);
    QPointer<CountingDialog> self(this);
    const MessageAnswer answer =
        ShowMessage(this, recovery::kTerminateCountingQuestion, MessageIcon::Question, MessageButtons::YesNo);
    if (!self) return;  // the counting ended while the question was open
    if (answer == MessageAnswer::Yes) {
        job_.RequestCountingStop();
        done(QDialog::Accepted);
        return;
    }
    stop_->setEnabled(true);
}

}  // namespace app
