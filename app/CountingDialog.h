// "Calculating File Size": shown over "Saving" while the counting pass runs.
#pragma once

#include <QDialog>
#include <atomic>
#include <cstdint>

#include "recovery/SaveJob.h"

class QLabel;
class QPushButton;

namespace app {

class CountingDialog : public QDialog {
    Q_OBJECT
public:
    // "Stop " asks "Do you want to terminate this process?" and on Yes ends
    // the counting of `job`.
    explicit CountingDialog(recovery::SaveJob& job, QWidget* parent = nullptr);
    // Any thread: the running file count ("Total Files :").
    void SetCount(std::uint32_t files) { count_ = files; }

    void reject() override {}  // the cancel key does nothing here

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void Stop();

    recovery::SaveJob& job_;
    std::atomic<std::uint32_t> count_{0};
    QLabel* countText_ = nullptr;
    QPushButton* stop_ = nullptr;
};

}  // namespace app
