// The published controls of the main window (job::PublishedControls): what
// engine code writes into the window. Calls from workers are queued to the
// window thread in the order they are made.
#pragma once

#include <QPointer>

#include "app/WindowParts.h"
#include "app/WizardController.h"
#include "app/job/Controls.h"

namespace app {

class QtControls : public job::PublishedControls {
public:
    QtControls(WindowParts& parts, WizardController& wizard, QWidget* window)
        : p_(parts), wizard_(wizard), window_(window) {}

    void SetSearchProgress(int percent, const std::string& caption) override;
    void SetStatusLine(const std::string& text) override;
    void ClearDetails() override;
    void AddDetailsRow(const std::vector<std::string>& columns) override;
    void SetVolumeCountText(const std::string& text) override;
    void EnableStopButton(bool on) override;
    void EnableBackButton(bool on) override;
    void EnableNextButton(bool on) override;
    void ShowStep(int layout) override;
    void ShowStepPicture(int picture) override;

private:
    WindowParts& p_;
    WizardController& wizard_;
    QPointer<QWidget> window_;
};

}  // namespace app
