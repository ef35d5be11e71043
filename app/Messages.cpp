#include "app/Messages.h"

#include <QLocale>
#include <algorithm>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

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

void CloseMessages(QWidget* owner, const QString& text) {
    if (!owner) return;
    for (QMessageBox* box : owner->findChildren<QMessageBox*>())
        if (box->isVisible() && box->text() == text) box->done(box->escapeButton() == box->button(QMessageBox::No)
                                                                    ? QMessageBox::No
                                                                    : QMessageBox::Cancel);
}

void PlaceBeside(QWidget* dialog, QWidget* anchor) {
    if (!dialog || !anchor || !anchor->isVisible()) return;
    dialog->adjustSize();
    const QRect a = anchor->frameGeometry();
    const QSize size = dialog->frameGeometry().size().expandedTo(dialog->sizeHint());
    const QScreen* screen = anchor->screen();
    const QRect room = screen ? screen->availableGeometry() : QRect(a.topLeft(), a.size() * 3);
    constexpr int kGap = 12;
    QPoint at(a.right() + kGap, a.top());
    if (at.x() + size.width() > room.right()) at.setX(a.left() - kGap - size.width());
    if (at.x() < room.left()) at = QPoint(a.left(), a.bottom() + kGap);
    dialog->move(at);
}

void ShowSummary(QWidget* owner, const QString& caption, const QString& headline, const QStringList& figures,
                 const std::function<void()>& openFolder, bool warning) {
    auto* box = new QMessageBox(owner);
    box->setObjectName("summaryBox");
    box->setWindowTitle(caption);
    box->setIcon(warning ? QMessageBox::Warning : QMessageBox::Information);
    box->setText(headline);
    box->setInformativeText(figures.join('\n'));
    box->setWindowModality(Qt::ApplicationModal);
    QPushButton* ok = box->addButton(QMessageBox::Ok);
    QPushButton* folder = openFolder ? box->addButton("Open &Folder", QMessageBox::ActionRole) : nullptr;
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
    const bool open = RunModal(box, false, [folder](QMessageBox& b, int) { return folder && b.clickedButton() == folder; });
    if (open) openFolder();
}

QString SizeText(std::uint64_t bytes) {
    if (bytes < 1024) return QString("%1 bytes").arg(bytes);
    // Units of 1024 bytes are named as such: KiB, MiB, GiB.
    return QLocale::c().formattedDataSize(static_cast<qint64>(bytes), 1, QLocale::DataSizeIecFormat);
}

QString DurationText(std::int64_t seconds) {
    if (seconds < 0) seconds = 0;
    if (seconds < 60) return QString("%1 s").arg(seconds);
    if (seconds < 3600) return QString("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
    return QString("%1 h %2 min").arg(seconds / 3600).arg((seconds % 3600) / 60);
}

QString EstimateText(int percent, std::int64_t elapsedMs, std::uint64_t totalBytes) {
    if (percent <= 0 || elapsedMs < 1000) return {};
    const double done = static_cast<double>(totalBytes) * percent / 100.0;
    const double seconds = elapsedMs / 1000.0;
    const auto rate = static_cast<std::uint64_t>(done / seconds);
    const auto left = static_cast<std::int64_t>(seconds * (100 - std::min(percent, 100)) / percent);
    return QString("%1/s, about %2 left").arg(SizeText(rate), DurationText(left));
}

void ShowNotice(QWidget* owner, const workflow::Notice& notice) {
    ShowMessage(owner, QString::fromStdString(notice.text), IconOf(notice.icon));
}

void ShowNotice(QWidget* owner, const workflow::MaybeNotice& notice) {
    if (notice) ShowNotice(owner, *notice);
}

}  // namespace app
