#include "workflow/Search.h"

#include <string>

#include "workflow/Disks.h"
#include "workflow/Texts.h"

namespace workflow {

namespace {

constexpr std::size_t kDiskLabelPrefix = 4;  // "Disk"

nw::SearchTarget TargetOf(const Session& session, const disk::SectorReader& reader) {
    nw::SearchTarget target;
    target.reader = &reader;
    target.disk = session.selectedDiskNumber;
    return target;
}

SearchOutcome OutcomeOf(const Session& session, const nw::SearchResult& result) {
    SearchOutcome out;
    out.diskOpened = result.diskOpened;
    out.stopped = result.stopped;
    out.tableFull = result.tableFull;
    out.volumeCount = session.found.volumeCount.load();
    if (!result.diskOpened) out.notice = ErrorNotice(nw::UnableToOpenDiskText(result.openFailure));
    return out;
}

}  // namespace

void BeginMode(Session& session, RecoveryMode mode) {
    session.recoveryMode = mode;
    const std::string& label = session.selectedDiskLabel;
    records::ActivityLog& log = session.activityLog;
    log.Append("\r\n");
    log.Append("\r\n");
    log.Append("Selected Disk : ");
    log.Append(label.size() > kDiskLabelPrefix ? label.substr(kDiskLabelPrefix) : std::string());
    log.Append("\r\n");
    log.Append("Model Number : ");
    log.Append(session.selectedDiskModel);
    log.Append("\r\n");
    log.Append("Selected Mode : ");
    log.Append(ModeName(mode));
}

SearchOutcome RunQuickSearch(Session& session, nw::SearchReport& report) {
    const disk::SectorReader reader = session.Reader();
    const nw::SearchResult result = nw::QuickVolumeSearch(TargetOf(session, reader), session.found, report);
    SearchOutcome out = OutcomeOf(session, result);
    if (!out.diskOpened) return out;
    session.activityLog.Append("\r\n");
    session.activityLog.Append("Total Volumes Found : ");
    session.activityLog.Append(std::to_string(out.volumeCount));
    if (!out.Found()) {
        out.notice = InformationNotice(kNoVolumeQuickText);
    } else if (!result.missingSegments.empty()) {
        // The volume is listed, but part of it is on a disk that is not attached.
        std::string text;
        for (const std::string& line : result.missingSegments) text += (text.empty() ? "" : "\n") + line;
        out.notice = Notice{text, Notice::Icon::Warning};
        for (const std::string& line : result.missingSegments) session.activityLog.Append("\r\n" + line);
    }
    return out;
}

SearchOutcome RunAdvancedSearch(Session& session, nw::SearchReport& report, const base::CancelFlag& stop) {
    const disk::SectorReader reader = session.Reader();
    report.Status(kSearchPhase1Text);
    const std::uint64_t total = DiskSectorCount(session, session.selectedDiskNumber);
    const nw::SearchResult result =
        nw::AdvancedVolumeSearch(TargetOf(session, reader), total, session.found, report, stop);
    SearchOutcome out = OutcomeOf(session, result);
    if (out.diskOpened && !out.Found()) out.notice = ErrorNotice(kNoVolumeAdvancedText);
    out.remark = result.unprovenSegmentsNote;
    if (!out.remark.empty()) session.activityLog.Append("\r\n" + out.remark);
    return out;
}

}  // namespace workflow
