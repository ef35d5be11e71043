// "Replace File Confirmation": asked before a save replaces an existing file.
#pragma once

#include <QDialog>

#include "recovery/SaveJob.h"

namespace app {

class ReplaceConfirmDialog : public QDialog {
    Q_OBJECT
public:
    explicit ReplaceConfirmDialog(QWidget* parent = nullptr);
    // Closing the box counts as "&No".
    // `beside`: the dialog whose progress the question must not hide.
    static recovery::ReplaceAnswer Ask(QWidget* parent, QWidget* beside = nullptr);
    recovery::ReplaceAnswer Answer() const { return answer_; }

private:
    recovery::ReplaceAnswer answer_ = recovery::ReplaceAnswer::No;
};

}  // namespace app
