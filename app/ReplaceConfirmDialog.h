// "Replace File Confirmation": asked before a save replaces an existing file.
#pragma once

#include <QDialog>

#include "recovery/SaveJob.h"

namespace app {

class ReplaceConfirmDialog : public QDialog {
    Q_OBJECT
public:
    // `target`: the file that would be replaced, named under the question.
    explicit ReplaceConfirmDialog(const QString& target, QWidget* parent = nullptr);
    // Closing the box counts as "&No".
    // `beside`: the dialog whose progress the question must not hide.
    static recovery::ReplaceAnswer Ask(QWidget* parent, const QString& target, QWidget* beside = nullptr);
    recovery::ReplaceAnswer Answer() const { return answer_; }

private:
    recovery::ReplaceAnswer answer_ = recovery::ReplaceAnswer::No;
};

}  // namespace app
