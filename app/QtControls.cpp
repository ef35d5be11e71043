#include "app/QtControls.h"

#include "app/UiThread.h"

namespace app {

void QtControls::SetSearchProgress(int percent, const std::string& caption) {
    Post(window_.data(), [this, percent, c = QString::fromStdString(caption)] {
        p_.searchProgress->setValue(percent);
        p_.searchProgress->SetCaption(c);
        p_.searchProgress->show();
    });
}

void QtControls::SetStatusLine(const std::string& text) {
    Post(window_.data(), [this, t = QString::fromStdString(text)] { p_.statusLine->setText(t); });
}

void QtControls::ClearDetails() {
    Post(window_.data(), [this] { p_.detailsList->ClearRows(); });
}

void QtControls::AddDetailsRow(const std::vector<std::string>& columns) {
    Post(window_.data(), [this, columns] { p_.detailsList->AddRow(columns); });
}

void QtControls::SetVolumeCountText(const std::string& text) {
    Post(window_.data(), [this, t = QString::fromStdString(text)] { p_.volumeCountText->setText(t); });
}

void QtControls::EnableStopButton(bool on) {
    Post(window_.data(), [this, on] {
        p_.stopButton->setVisible(on);
        p_.stopButton->setEnabled(on);
    });
}

void QtControls::EnableBackButton(bool on) {
    Post(window_.data(), [this, on] { p_.backButton->setEnabled(on); });
}

void QtControls::EnableNextButton(bool on) {
    Post(window_.data(), [this, on] { p_.nextButton->setEnabled(on); });
}

void QtControls::ShowStep(int layout) {
    Post(window_.data(), [this, layout] { wizard_.ShowStep(layout); });
}

void QtControls::ShowStepPicture(int picture) {
    Post(window_.data(), [this, picture] { wizard_.ShowStepPicture(picture); });
}

}  // namespace app
