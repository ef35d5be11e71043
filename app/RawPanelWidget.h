// The raw panel of the main window as the raw scan sees it. The scan worker
// reads the panel through values mirrored here on the window thread, and
// its changes to the widgets are queued to the window thread, so the worker
// never waits for the window.
#pragma once

#include <QObject>
#include <functional>
#include <mutex>
#include <string>

#include "app/UiThread.h"
#include "app/WindowParts.h"
#include "raw/RawPanel.h"
#include "workflow/Session.h"

class QLabel;

namespace ui {
class CaptionProgressBar;
}

namespace app {

class RawPanelWidget : public QObject, public raw::RawPanel {
    Q_OBJECT
public:
    RawPanelWidget(WindowParts& parts, workflow::Session& session, QWidget* window);
    ~RawPanelWidget() override;

    // Runs the "File Saving" dialog; replaceable by the owner.
    std::function<std::string()> askDestination;

    QLabel* StatusLine() const { return status_; }
    ui::CaptionProgressBar* Progress() const { return progress_; }

    // raw::RawPanel
    int FileTypeRowCount() override;
    bool FileTypeChecked(int row) override;
    void EnableFileTypeList(bool on) override;
    std::string StartSectorText() override;
    std::string EndSectorText() override;
    void SetEndSectorText(const std::string& text) override;
    void EnableRangeFields(bool on) override;
    void EnableRangeButtons(bool on) override;
    std::string StartButtonText() override;
    void SetStartButtonText(const std::string& text) override;
    void EnableStartButton(bool on) override;
    void ShowFileSavingDialog() override;
    void SetRawStatus(const std::string& text) override;
    void ShowRawProgress(bool visible) override;
    void SetRawProgress(int percent, const std::string& caption) override;
    void ClearFilesRecovered() override;
    void AddFilesRecoveredRow(const std::string& text) override;
    void SetFilesRecoveredRow(int row, const std::string& text) override;
    void WaitForScanWorker(const std::atomic<std::uint64_t>& handle) override;

private:
    void Mirror();

    WindowParts& p_;
    workflow::Session& session_;
    QWidget* window_;
    UiChannel channel_{this};
    QLabel* status_ = nullptr;
    ui::CaptionProgressBar* progress_ = nullptr;

    std::mutex mutex_;  // guards the mirrored values below
    std::vector<bool> checked_;
    std::string startText_;
    std::string endText_;
    std::string buttonText_;
};

}  // namespace app
