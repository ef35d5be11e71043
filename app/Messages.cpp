#include "app/Messages.h"

#include <QMessageBox>

#include "app/UiChannel.h"
#include "base/Identity.h"

namespace app {

namespace {

// The answer of a box that was never answered: the one that changes nothing.
MessageAnswer Unanswered(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::YesNo: return MessageAnswer::No;
        case MessageButtons::OkCancel:
        case MessageButtons::YesNoCancel: return MessageAnswer::Cancel;
        case MessageButtons::AbortRetryIgnore: return MessageAnswer::Abort;
        case MessageButtons::Ok: break;
    }
    return MessageAnswer::Ok;
}

MessageIcon IconOf(workflow::Notice::Icon icon) {
    switch (icon) {
        case workflow::Notice::Icon::Error: return MessageIcon::Error;
        case workflow::Notice::Icon::Information: return MessageIcon::Information;
        case workflow::Notice::Icon::Question: return MessageIcon::Question;
        case workflow::Notice::Icon::Warning: return MessageIcon::Warning;
    }
    return MessageIcon::Error;
}

}  // namespace

MessageAnswer ShowMessage(QWidget* owner, const QString& caption, const QString& text, MessageIcon icon,
                          MessageButtons buttons) {
    auto* box = new QMessageBox(owner);
    box->setWindowTitle(caption);
    box->setText(text);
    box->setWindowModality(Qt::ApplicationModal);
    switch (icon) {
        case MessageIcon::Error: box->setIcon(QMessageBox::Critical); break;
        case MessageIcon::Question: box->setIcon(QMessageBox::Question); break;
        case MessageIcon::Information: box->setIcon(QMessageBox::Information); break;
        case MessageIcon::Warning: box->setIcon(QMessageBox::Warning); break;
    }
    QMessageBox::StandardButtons set;
    QMessageBox::StandardButton escape = QMessageBox::Ok;
    switch (buttons) {
        case MessageButtons::Ok: set = QMessageBox::Ok; break;
        case MessageButtons::YesNo: set = QMessageBox::Yes | QMessageBox::No; escape = QMessageBox::No; break;
        case MessageButtons::OkCancel: set = QMessageBox::Ok | QMessageBox::Cancel; escape = QMessageBox::Cancel; break;
        case MessageButtons::YesNoCancel:
            set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
            escape = QMessageBox::Cancel;
            break;
        case MessageButtons::AbortRetryIgnore:
            set = QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
            escape = QMessageBox::Abort;
            break;
    }
    box->setStandardButtons(set);
    box->setEscapeButton(escape);
    return RunModal(box, Unanswered(buttons), [](QMessageBox&, int result) {
        switch (result) {
            case QMessageBox::Yes: return MessageAnswer::Yes;
            case QMessageBox::No: return MessageAnswer::No;
            case QMessageBox::Cancel: return MessageAnswer::Cancel;
            case QMessageBox::Abort: return MessageAnswer::Abort;
            case QMessageBox::Retry: return MessageAnswer::Retry;
            case QMessageBox::Ignore: return MessageAnswer::Ignore;
            default: return MessageAnswer::Ok;
        }
    });
}

MessageAnswer ShowMessage(QWidget* owner, const QString& text, MessageIcon icon, MessageButtons buttons) {
    return ShowMessage(owner, QString::fromLatin1(base::kProductTitle), text, icon, buttons);
}

void ShowNotice(QWidget* owner, const workflow::Notice& notice) {
    ShowMessage(owner, QString::fromStdString(notice.text), IconOf(notice.icon));
}

void ShowNotice(QWidget* owner, const workflow::MaybeNotice& notice) {
    if (notice) ShowNotice(owner, *notice);
}

}  // namespace app
