#include "app/job/Controls.h"

#include "app/job/WizardState.h"

namespace job {

std::string ProgressCaption(int percent) {
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    return std::to_string(percent) + " % Completed";
}

void ReportProgress(int percent) {
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    if (auto* c = Wizard().controls) c->SetSearchProgress(percent, ProgressCaption(percent));
}

void ReportStatus(const std::string& text) {
    if (auto* c = Wizard().controls) c->SetStatusLine(text);
}

void ReportDetailsRow(const std::vector<std::string>& columns) {
    if (auto* c = Wizard().controls) c->AddDetailsRow(columns);
}

void ClearDetailsRows() {
    if (auto* c = Wizard().controls) c->ClearDetails();
}

void ReportVolumeCount(const std::string& text) {
    if (auto* c = Wizard().controls) c->SetVolumeCountText(text);
}

MessageAnswer ShowMessage(const std::string& text, MessageIcon icon, MessageButtons buttons) {
    if (auto* m = Wizard().messages) return m->ShowMessage(text, icon, buttons);
    switch (buttons) {
        case MessageButtons::YesNo: return MessageAnswer::No;
        case MessageButtons::OkCancel:
        case MessageButtons::YesNoCancel: return MessageAnswer::Cancel;
        case MessageButtons::AbortRetryIgnore: return MessageAnswer::Abort;
        case MessageButtons::Ok: break;
    }
    return MessageAnswer::Ok;
}

}  // namespace job
