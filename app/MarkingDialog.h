// "Marking Compressed File": runs the compressed-file marking pass on a
// worker of its own as it opens and shows the file being looked at;
// "&Close" is enabled when the pass is over. Torn down while the pass runs
// (its window went away), it waits for the pass without waiting on the
// window thread.
#pragma once

#include <QDialog>

#include "app/UiChannel.h"
#include "recovery/CompressedMarking.h"
#include "workflow/Session.h"
#include "workflow/Worker.h"

class QLabel;
class QPushButton;

namespace app {

class MarkingDialog : public QDialog, public recovery::MarkingView {
    Q_OBJECT
public:
    explicit MarkingDialog(workflow::Session& session, QWidget* parent = nullptr);
    ~MarkingDialog() override;

    void SetStatusText(const std::string& text) override;
    void EnableClose() override;
    void reject() override;  // Escape and the close box only once the pass is over

protected:
    void showEvent(QShowEvent* event) override;

private:
    workflow::Session& session_;
    UiChannel channel_{this};
    workflow::Worker worker_;
    QLabel* count_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* close_ = nullptr;
    bool started_ = false;
};

}  // namespace app
