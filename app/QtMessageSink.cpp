#include "app/QtMessageSink.h"

#include <QMessageBox>

#include "app/UiThread.h"
#include "app/job/Identity.h"

namespace app {

job::MessageAnswer QtMessageSink::Show(QWidget* owner, const QString& caption, const QString& text,
                                       job::MessageIcon icon, job::MessageButtons buttons) {
    QMessageBox box(owner);
    box.setWindowTitle(caption);
    box.setText(text);
    box.setWindowModality(Qt::ApplicationModal);
    switch (icon) {
        case job::MessageIcon::Error: box.setIcon(QMessageBox::Critical); break;
        case job::MessageIcon::Question: box.setIcon(QMessageBox::Question); break;
        case job::MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
        case job::MessageIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    }
    QMessageBox::StandardButtons set;
    QMessageBox::StandardButton escape = QMessageBox::Ok;
    switch (buttons) {
        case job::MessageButtons::Ok: set = QMessageBox::Ok; break;
        case job::MessageButtons::YesNo: set = QMessageBox::Yes | QMessageBox::No; escape = QMessageBox::No; break;
        case job::MessageButtons::OkCancel: set = QMessageBox::Ok | QMessageBox::Cancel; escape = QMessageBox::Cancel; break;
        case job::MessageButtons::YesNoCancel:
            set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
            escape = QMessageBox::Cancel;
            break;
        case job::MessageButtons::AbortRetryIgnore:
            set = QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
            escape = QMessageBox::Abort;
            break;
    }
    box.setStandardButtons(set);
    box.setEscapeButton(escape);
    switch (box.exec()) {
        case QMessageBox::Yes: return job::MessageAnswer::Yes;
        case QMessageBox::No: return job::MessageAnswer::No;
        case QMessageBox::Cancel: return job::MessageAnswer::Cancel;
        case QMessageBox::Abort: return job::MessageAnswer::Abort;
        case QMessageBox::Retry: return job::MessageAnswer::Retry;
        case QMessageBox::Ignore: return job::MessageAnswer::Ignore;
        default: return job::MessageAnswer::Ok;
    }
}

job::MessageAnswer QtMessageSink::ShowMessage(const std::string& text, job::MessageIcon icon,
                                              job::MessageButtons buttons) {
    // Without the window (it is closing) the answer changes nothing.
    job::MessageAnswer fallback = buttons == job::MessageButtons::YesNo ? job::MessageAnswer::No
                                  : buttons == job::MessageButtons::Ok  ? job::MessageAnswer::Ok
                                                                        : job::MessageAnswer::Cancel;
    QWidget* owner = owner_.data();
    if (!owner) return fallback;
    const QString qtext = QString::fromStdString(text);
    bool ran = false;
    const job::MessageAnswer a = Call(owner, [&]() {
        ran = true;
        return Show(owner, QString::fromLatin1(job::kProductTitle), qtext, icon, buttons);
    });
    return ran ? a : fallback;
}

}  // namespace app
