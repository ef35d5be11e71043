#include "app/MarkingDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

#include "app/Messages.h"
#include "workflow/Files.h"
#include "workflow/Volume.h"

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
    // The listing only reads; it reads the first data sector of every file,
    // which on a large volume takes a while.
    status_->setText("Looking for files that hold compressed data without the compressed mark...");
    worker_.Start([this] {
        const recovery::MarkingResult planned = workflow::RunMarkingPass(session_, false, nullptr);
        channel_.Post([this, planned] {
            worker_.Join();  // its routine has posted this as its last act
            Listed(planned);
        });
    });
}

void MarkingDialog::Listed(const recovery::MarkingResult& planned) {
    status_->clear();
    if (planned.candidates.empty()) {
        ShowMessage(this, "No file needs the compressed mark: nothing was written.", MessageIcon::Information);
        close_->setEnabled(true);
        accept();
        return;
    }
    // The one command that writes the source disk: the user sees what it
    // would change and agrees first.
    constexpr std::size_t kNamesShown = 15;
    QStringList names;
    for (std::size_t i = 0; i < planned.candidates.size() && i < kNamesShown; ++i) {
        const recovery::MarkingCandidate& c = planned.candidates[i];
        QString line = QString::fromStdString(workflow::FilePath(session_, c.fileIndex));
        if (!c.failure.empty()) line += QString(" (cannot be marked: %1)").arg(QString::fromStdString(c.failure));
        names << line;
    }
    if (planned.candidates.size() > kNamesShown)
        names << QString("... and %1 more").arg(planned.candidates.size() - kNamesShown);
    const QString question =
        QString("%1 file(s) hold compressed data without the compressed mark:\n\n%2\n\n"
                "Write the mark into both directory copies on the source disk?")
            .arg(planned.candidates.size())
            .arg(names.join('\n'));
    QPointer<MarkingDialog> self(this);
    const MessageAnswer answer = ShowMessage(this, question, MessageIcon::Warning, MessageButtons::YesNo);
    if (!self) return;
    if (answer != MessageAnswer::Yes) {
        close_->setEnabled(true);
        reject();
        return;
    }
    StartMarking();
}

void MarkingDialog::StartMarking() {
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
