#include "app/MarkingDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "workflow/Files.h"

namespace app {

MarkingDialog::MarkingDialog(workflow::Session& session, QWidget* parent) : QDialog(parent), session_(session) {
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
    channel_.Close();
    worker_.Join();
}

void MarkingDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (started_) return;
    started_ = true;
    worker_.Start([this] {
        workflow::RunMarkingPass(session_, true, this);
        channel_.Post([this] {
            worker_.Join();  // its routine has posted this as its last act
            close_->setEnabled(true);
        });
    });
}

void MarkingDialog::SetStatusText(const std::string& text) {
    channel_.Post([this, text] { status_->setText(QString::fromStdString(text)); });
}

void MarkingDialog::EnableClose() {
    channel_.Post([this] { close_->setEnabled(true); });
}

void MarkingDialog::reject() {
    if (close_->isEnabled()) QDialog::reject();
}

}  // namespace app
