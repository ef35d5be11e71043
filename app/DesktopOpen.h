// Hands a file or a web address to the desktop's opener (xdg-open) and
// watches how it ends: an opener that exits with a failure (no handler for
// the type, a failed action) is reported with the reason, so that a
// hand-off never fails without a word. Window thread only.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

namespace app {

// Why an opener exiting with `status` did not open its target (xdg-open's
// exit statuses; any other is named by number).
QString OpenerFailureText(int status);

// Starts `program target`; `failed` gets the reason when the program cannot
// be started, crashes or exits with a failure. Returns at once; `context`
// owns the watch (nothing is reported once it is gone).
void OpenWithProgram(const QString& program, const QString& target, QObject* context,
                     std::function<void(const QString& reason)> failed);

// The message for a target nothing could open: the reason, and a
// "Copy path" button that puts the target on the clipboard.
void ShowOpenFailure(QWidget* owner, const QString& target, const QString& reason);
// The same for any hand-off (printing, mail): `text` says what failed and why.
void ShowHandOffFailure(QWidget* owner, const QString& title, const QString& text, const QString& target);

}  // namespace app
