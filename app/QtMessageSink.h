// Message boxes of the desktop program: modal, captioned with the product
// title, shown on the window thread whichever thread asks.
#pragma once

#include <QPointer>
#include <QWidget>

#include "app/job/Controls.h"

namespace app {

class QtMessageSink : public job::MessageSink {
public:
    explicit QtMessageSink(QWidget* owner) : owner_(owner) {}
    job::MessageAnswer ShowMessage(const std::string& text, job::MessageIcon icon,
                                   job::MessageButtons buttons) override;

    // A box with its own caption (the Support and Update commands).
    static job::MessageAnswer Show(QWidget* owner, const QString& caption, const QString& text,
                                   job::MessageIcon icon, job::MessageButtons buttons);

private:
    QPointer<QWidget> owner_;
};

}  // namespace app
