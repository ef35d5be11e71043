#include "workflow/Save.h"

#include <memory>

#include "base/Escape.h"
#include "records/SaveRecords.h"
#include "workflow/RecordSources.h"
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

std::string RecordBeside(const std::string& destination, const std::string& suffix) {
    std::string base = destination;
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    if (base == "/") base = "/saved";
    return base + suffix;
}

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

    std::unique_ptr<records::SaveRecords> records;
    if (!request.hashListPath.empty() || !request.dfxmlPath.empty()) {
        records::SaveRecordsRequest asked;
        asked.hashListPath = request.hashListPath;
        asked.dfxmlPath = request.dfxmlPath;
        asked.digestKinds = request.digestKinds;
        asked.source = ReportSource(session, "Recovered files", request.commandLine);
        asked.volume = session.mounted.currentVolume;
        asked.zone = session.saveSettings.extras.zone;
        asked.destination = request.destinationPath;
        records = std::make_unique<records::SaveRecords>(std::move(asked));
        std::string reason;
        if (!records->Open(&reason)) {
            result.outcome.end = recovery::SaveEnd::NoDestination;
            result.recordsFailure = reason;
            result.notice = ErrorNotice(std::string(kRecordNotWrittenText) + ": " + reason);
            session.activityLog.Append("\r\n" + std::string(kRecordNotWrittenText) + ": " +
                                       base::EscapeControls(reason, false));
            return result;
        }
        input.savedFiles = records.get();
        input.digestKinds = request.digestKinds;
    }

    result.outcome = recovery::RunSave(job, input, view, prompts);
    report.Flush();
    if (!result.outcome.message.empty()) result.notice = ErrorNotice(result.outcome.message);
    if (records) {
        std::string reason;
        if (!records->Finish(&result.recordsWritten, &reason)) result.recordsFailure = reason;
        for (const std::string& path : result.recordsWritten)
            session.activityLog.Append("\r\nRecord of the save written: \"" + base::EscapeControls(path, false) + "\"");
        if (!result.recordsFailure.empty()) {
            session.activityLog.Append("\r\n" + std::string(kRecordNotWrittenText) + ": " +
                                       base::EscapeControls(result.recordsFailure, false));
            if (!result.notice) result.notice = ErrorNotice(std::string(kRecordNotWrittenText) + ": " + result.recordsFailure);
        }
    }
    return result;
}

}  // namespace workflow
