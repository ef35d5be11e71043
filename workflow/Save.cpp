#include "workflow/Save.h"

#include "workflow/Texts.h"

namespace workflow {

namespace {

// The session's activity report as the save writes to it.
class SessionReport : public recovery::ActivityReport {
public:
    explicit SessionReport(records::ActivityLog& log) : log_(log) {}
    bool Append(const std::string& text) override { return log_.Append(text); }

private:
    records::ActivityLog& log_;
};

}  // namespace

SaveResult RunSave(Session& session, recovery::SaveJob& job, const SaveRequest& request,
                   recovery::SaveProgressView& view, recovery::SavePrompts& prompts) {
    SaveResult result;
    if (!session.volumeOpen.load()) {
        result.outcome.end = recovery::SaveEnd::NothingSelected;
        result.notice = ErrorNotice(kGoToStep2Text);
        return result;
    }
    session.destinationPath = request.destinationPath;
    job.destinationPath = request.destinationPath;
    job.source = request.source;

    const disk::SectorReader reader = session.Reader();
    SessionReport report(session.activityLog);
    recovery::SaveInput input(session.mounted, reader);
    input.selection = &session.selection;
    input.listItems = request.items;
    input.settings = session.saveSettings;
    input.activityReport = &report;
    result.outcome = recovery::RunSave(job, input, view, prompts);
    if (!result.outcome.message.empty()) result.notice = ErrorNotice(result.outcome.message);
    return result;
}

}  // namespace workflow
