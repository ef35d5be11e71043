// The window's message boxes: modal, captioned with the product title (or a
// caption of their own, as the Support and Update commands use), on the
// window thread. A box whose owner goes away while it is open answers with
// the button that changes nothing.
#pragma once

#include <QString>

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
// What a flow ended with.
void ShowNotice(QWidget* owner, const workflow::Notice& notice);
void ShowNotice(QWidget* owner, const workflow::MaybeNotice& notice);

}  // namespace app
