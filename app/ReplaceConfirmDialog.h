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
    static recovery::ReplaceAnswer Ask(QWidget* parent);
    recovery::ReplaceAnswer Answer() const { return answer_; }

private:
    recovery::ReplaceAnswer answer_ = recovery::ReplaceAnswer::No;
};

}  // namespace app
