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
    count_ = new QLabel;
    count_->setObjectName("markingCount");
    close_ = new QPushButton("&Close");
    close_->setEnabled(false);
    close_->setDefault(true);
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(status_);
    layout->addWidget(count_);
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
        const recovery::MarkingResult result = workflow::RunMarkingPass(session_, true, this);
        std::size_t marked = 0;
        for (const recovery::MarkingCandidate& c : result.candidates) marked += c.changed ? 1 : 0;
        const std::size_t found = result.candidates.size();
        channel_.Post([this, marked, found] {
            worker_.Join();  // its routine has posted this as its last act
            count_->setText(QString("Files marked: %1 of %2").arg(marked).arg(found));
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
