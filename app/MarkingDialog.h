// "Marking Compressed File": looks on a worker of its own for the files that
// hold compressed data without the compressed mark, then asks, listing them,
// before it writes anything; on Yes it marks them on a worker and shows the
// file being marked. With nothing to mark, or on No, it says so and closes.
// "&Close" is enabled when the work is over. Torn down while a pass runs
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
    void reject() override;  // Escape and the close box only once the work is over

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Window thread: the listing pass is over.
    void Listed(const recovery::MarkingResult& planned);
    void StartMarking();

    workflow::Session& session_;
    UiChannel channel_{this};
    workflow::Worker worker_;
    QLabel* count_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* close_ = nullptr;
    bool started_ = false;
};

}  // namespace app
