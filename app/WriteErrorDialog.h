// "Error Writing Destination": a target file could not be created or written.
#pragma once

#include <QDialog>
#include <string>

#include "recovery/SaveJob.h"

namespace app {

class WriteErrorDialog : public QDialog {
    Q_OBJECT
public:
    WriteErrorDialog(const std::string& target, const std::string& reason, QWidget* parent = nullptr);
    // Closing the box counts as "&Skip".
    // `beside`: the dialog whose progress the question must not hide.
    static recovery::WriteErrorAnswer Ask(QWidget* parent, const std::string& target, const std::string& reason,
                                          QWidget* beside = nullptr);
    recovery::WriteErrorAnswer Answer() const { return answer_; }

private:
    recovery::WriteErrorAnswer answer_ = recovery::WriteErrorAnswer::Skip;
};

}  // namespace app
