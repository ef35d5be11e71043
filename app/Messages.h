// The window's message boxes: modal, captioned with the product title (or a
// caption of their own, as the Support and Update commands use), on the
// window thread. A box whose owner goes away while it is open answers with
// the button that changes nothing.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

#include "workflow/Notice.h"

class QWidget;

namespace app {

enum class MessageIcon { Error, Question, Information, Warning };
enum class MessageButtons { Ok, YesNo, OkCancel, YesNoCancel, AbortRetryIgnore };
enum class MessageAnswer { Ok, Yes, No, Cancel, Abort, Retry, Ignore };

MessageAnswer ShowMessage(QWidget* owner, const QString& caption, const QString& text, MessageIcon icon,
                          MessageButtons buttons = MessageButtons::Ok);
// Captioned with the product title.
MessageAnswer ShowMessage(QWidget* owner, const QString& text, MessageIcon icon,
                          MessageButtons buttons = MessageButtons::Ok);
// Closes the boxes of `owner` showing `text` as their escape button would
// (a question about work that has ended meanwhile).
void CloseMessages(QWidget* owner, const QString& text);
// Moves a dialog next to `anchor` (right of it, else left, else below), so
// that a question asked during a job leaves the job's progress in view.
void PlaceBeside(QWidget* dialog, QWidget* anchor);

// The outcome of a save or a scan: a headline, one line per figure, and an
// "Open Folder" button (shown when `openFolder` is set) beside OK. With
// `warning` (files damaged or failed) the box shows the warning icon.
void ShowSummary(QWidget* owner, const QString& caption, const QString& headline, const QStringList& figures,
                 const std::function<void()>& openFolder, bool warning = false);
// "1.2 MiB", "4.9 KiB", "512 bytes" (units of 1024 bytes).
QString SizeText(std::uint64_t bytes);
// "2 min 5 s", "4 s".
QString DurationText(std::int64_t seconds);
// "85.3 MB/s, about 2 min 5 s left" for work `percent` done of `totalBytes`
// after `elapsedMs`; empty until there is something to go by.
QString EstimateText(int percent, std::int64_t elapsedMs, std::uint64_t totalBytes);

// What a flow ended with.
void ShowNotice(QWidget* owner, const workflow::Notice& notice);
void ShowNotice(QWidget* owner, const workflow::MaybeNotice& notice);

}  // namespace app
