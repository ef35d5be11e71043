#include "app/WriteErrorDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "app/Messages.h"
#include "app/UiChannel.h"

namespace app {

WriteErrorDialog::WriteErrorDialog(const std::string& target, const std::string& reason, QWidget* parent)
    : QDialog(parent) {
    setObjectName("writeErrorDialog");
    setWindowTitle(recovery::kWriteErrorTitle);
    setModal(true);
    auto* icon = new QLabel;
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
    auto* text = new QLabel(recovery::kWriteErrorText);
    text->setObjectName("writeErrorText");
    text->setWordWrap(true);
    text->setMinimumWidth(420);
    // The file and the system's reason, so the user knows what failed.
    auto* detail = new QLabel(QString::fromStdString(target) +
                              (reason.empty() ? QString() : "\n" + QString::fromStdString(reason)));
    detail->setObjectName("writeErrorDetail");
    detail->setWordWrap(true);
    detail->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* abort = new QPushButton("&Abort");
    auto* skip = new QPushButton("&Skip");
    abort->setDefault(true);
    skip->setAutoDefault(false);
    connect(abort, &QPushButton::clicked, this, [this] {
        answer_ = recovery::WriteErrorAnswer::Abort;
        accept();
    });
    connect(skip, &QPushButton::clicked, this, [this] {
        answer_ = recovery::WriteErrorAnswer::Skip;
        accept();
    });
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->addWidget(text);
    texts->addWidget(detail);
    top->addLayout(texts);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(abort);
    buttons->addWidget(skip);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
}

recovery::WriteErrorAnswer WriteErrorDialog::Ask(QWidget* parent, const std::string& target,
                                                 const std::string& reason, QWidget* beside) {
    auto* dialog = new WriteErrorDialog(target, reason, parent);
    PlaceBeside(dialog, beside);
    return RunModal(dialog, recovery::WriteErrorAnswer::Skip,
                    [](WriteErrorDialog& d, int result) {
                        return result == QDialog::Accepted ? d.Answer() : recovery::WriteErrorAnswer::Skip;
                    });
}

}  // namespace app
