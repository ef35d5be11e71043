// The raw panel's behaviour: "Start Recovery" checks the request, asks for
// the destination and runs the raw scan on a worker of its own; while the
// scan runs the button stops it. The scan reports through this object
// (status line, progress bar, each document it handled, from which the
// panel keeps its "Files Recovered" rows), each report posted to the window
// thread; when the scan ends the panel goes back to idle on the window
// thread and shows the summary.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "app/UiChannel.h"
#include "app/WindowParts.h"
#include "app/WindowState.h"
#include "raw/RawScan.h"
#include "workflow/Session.h"
#include "workflow/Worker.h"

class QLabel;

namespace ui {
class CaptionProgressBar;
}

namespace app {

// The panel's button while idle and while a scan runs.
inline constexpr const char* kRawStartText = "&Start Recovery";
inline constexpr const char* kRawStopText = "&Stop Searching";

class RawPanelWidget : public QObject, public raw::RawScanView {
    Q_OBJECT
public:
    RawPanelWidget(WindowParts& parts, workflow::Session& session, WindowState& state, QWidget* window);
    // Stops a running scan and waits for it (its questions answered as
    // closing them would).
    ~RawPanelWidget() override;

    // Runs the "File Saving" dialog; replaceable by the owner.
    std::function<std::string()> askDestination;

    QLabel* StatusLine() const { return status_; }
    ui::CaptionProgressBar* Progress() const { return progress_; }
    bool Scanning() const { return worker_.Running(); }

    // The panel's button: starts a scan, or offers to stop the running one.
    void StartOrStop();

    // raw::RawScanView (called on the scan's thread)
    void SetRawStatus(const std::string& text) override;
    void ShowRawProgress(bool visible) override;
    void SetRawProgress(int percent) override;
    void DocumentCarved(const raw::CarvedDocument& document) override;

private:
    void Start();
    void Stop();
    // On the window thread once the scan has returned.
    void ScanEnded(const raw::RawScanResult& result, const std::string& destination);
    void EnableRequestControls(bool on);
    // On the window thread: the "Files Recovered" rows and the notes the
    // summary lists.
    void ShowCarved(const raw::CarvedDocument& document);

    WindowParts& p_;
    workflow::Session& session_;
    WindowState& state_;
    QWidget* window_;
    UiChannel channel_{this};
    workflow::Worker worker_;
    std::unique_ptr<raw::RawScan> scan_;
    QElapsedTimer clock_;
    QLabel* estimate_ = nullptr;
    bool sectorRange_ = false;  // the running scan's range came from the fields
    // The running scan's checked kinds, its whole documents per kind (the
    // rows) and its incomplete and failed documents (window thread only).
    std::array<bool, raw::kinds::kCount> checked_{};
    std::array<int, raw::kinds::kCount> wholeCounts_{};
    QStringList documentNotes_;
    QLabel* status_ = nullptr;
    ui::CaptionProgressBar* progress_ = nullptr;
};

}  // namespace app
