#include "app/MarkingDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/UiThread.h"
#include "app/job/Worker.h"

namespace app {

MarkingDialog::MarkingDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("markingDialog");
    setWindowTitle("Marking Compressed File");
    setModal(true);
    setMinimumWidth(360);
    status_ = new QLabel;
    status_->setObjectName("markingStatus");
    close_ = new QPushButton("&Close");
    close_->setEnabled(false);
    close_->setDefault(true);
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(status_);
    layout->addLayout(buttons);
}

MarkingDialog::~MarkingDialog() {
    recovery::DetachMarkingView();
    job::WaitForWorker(recovery::MarkingWorker());
}

void MarkingDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (started_) return;
    started_ = true;
    if (!recovery::StartMarkingPass(this)) EnableClose();
}

void MarkingDialog::SetStatusText(const std::string& text) {
    Post(this, [this, text] { status_->setText(QString::fromStdString(text)); });
}

void MarkingDialog::EnableClose() {
    Post(this, [this] { close_->setEnabled(true); });
}

void MarkingDialog::reject() {
    if (close_->isEnabled()) QDialog::reject();
}

}  // namespace app
