#include "workflow/Search.h"

#include <string>

#include "workflow/Disks.h"
#include "workflow/Texts.h"

namespace workflow {

namespace {

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

bool BeginMode(Session& session, RecoveryMode mode, std::string* reportFailure) {
    session.recoveryMode = mode;
    records::ReportSection section;
    section.Blank()
        .Field("Selected Disk", session.selectedDiskLabel.empty() ? std::string()
                                                                  : std::to_string(session.selectedDiskNumber))
        .Field("Model Number", session.selectedDiskModel)
        .Field("Selected Mode", ModeName(mode));
    return session.activityLog.Write(section, reportFailure);
}

SearchOutcome RunQuickSearch(Session& session, nw::SearchReport& report, const base::CancelFlag* stop) {
    const disk::SectorReader reader = session.Reader();
    const nw::SearchResult result = nw::QuickVolumeSearch(TargetOf(session, reader), session.found, report, stop);
    SearchOutcome out = OutcomeOf(session, result);
    if (!out.diskOpened) return out;
    records::ReportSection section;
    section.Field("Total Volumes Found", std::to_string(out.volumeCount));
    if (out.stopped) {
        // What was found before the stop; an unread disk is not an empty one.
    } else if (!out.Found()) {
        out.notice = InformationNotice(kNoVolumeQuickText);
    } else if (!result.missingSegments.empty()) {
        // The volume is listed, but part of it is on a disk that is not attached.
        std::string text;
        for (const std::string& line : result.missingSegments) text += (text.empty() ? "" : "\n") + line;
        out.notice = Notice{text, Notice::Icon::Warning};
        for (const std::string& line : result.missingSegments) section.Line(line);
    }
    out.reportWritten = session.activityLog.Write(section, &out.reportFailure);
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
    if (!out.remark.empty())
        out.reportWritten = session.activityLog.Write(records::ReportSection().Line(out.remark), &out.reportFailure);
    return out;
}

}  // namespace workflow
