#include "workflow/Save.h"

#include "workflow/Texts.h"

namespace workflow {

namespace {

// The session's activity report as the save writes to it: its lines are
// gathered and appended in pieces of about 64 KiB, and the rest when the
// save ends, so that a save noting an entry per file opens the report once
// per piece instead of once per line.
class SessionReport : public recovery::ActivityReport {
public:
    explicit SessionReport(records::ActivityLog& log) : log_(log) {}
    ~SessionReport() override { Flush(); }
    SessionReport(const SessionReport&) = delete;
    SessionReport& operator=(const SessionReport&) = delete;
    bool Append(const std::string& text) override {
        pending_ += text;
        return pending_.size() < kPiece || Flush();
    }
    bool Flush() {
        if (pending_.empty()) return true;
        const bool written = log_.Append(pending_);
        pending_.clear();
        return written;
    }

private:
    static constexpr std::size_t kPiece = 64 * 1024;
    records::ActivityLog& log_;
    std::string pending_;
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
    report.Flush();
    if (!result.outcome.message.empty()) result.notice = ErrorNotice(result.outcome.message);
    return result;
}

}  // namespace workflow
