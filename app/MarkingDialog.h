// "Marking Compressed File": runs the compressed-file marking pass as it
// opens and shows the file being looked at; "&Close" is enabled when the
// pass is over.
#pragma once

#include <QDialog>

#include "recovery/CompressedMarking.h"

class QLabel;
class QPushButton;

namespace app {

class MarkingDialog : public QDialog, public recovery::MarkingView {
    Q_OBJECT
public:
    explicit MarkingDialog(QWidget* parent = nullptr);
    ~MarkingDialog() override;

    void SetStatusText(const std::string& text) override;
    void EnableClose() override;
    void reject() override;  // Escape and the close box only once the pass is over

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* status_ = nullptr;
    QPushButton* close_ = nullptr;
    bool started_ = false;
};

}  // namespace app
