#include "workflow/Search.h"

#include <string>

#include "workflow/Disks.h"
#include "workflow/Partitions.h"
#include "workflow/Texts.h"

namespace workflow {

namespace {

nw::SearchTarget TargetOf(const Session& session, const disk::SectorReader& reader) {
    nw::SearchTarget target;
    target.reader = &reader;
    target.disk = session.selectedDiskNumber;
    return target;
}

// The lines of a text of several lines, each a line of the report.
void AddLines(records::ReportSection& section, const std::string& text) {
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        section.Line(text.substr(from, end - from));
        from = end + 1;
    }
}

SearchOutcome OutcomeOf(const Session& session, const nw::SearchResult& result) {
    SearchOutcome out;
    out.diskOpened = result.diskOpened;
    out.stopped = result.stopped;
    out.volumeCount = session.found.Count();
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
    out.partitionNote = PartitionNote(ReadDiskPartitions(session, session.selectedDiskNumber));
    AddLines(section, out.partitionNote);
    out.reportWritten = session.activityLog.Write(section, &out.reportFailure);
    return out;
}

SearchOutcome RunAdvancedSearch(Session& session, nw::SearchReport& report, const base::CancelFlag& stop) {
    return RunAdvancedSearch(session, report, stop, 0, DiskSectorCount(session, session.selectedDiskNumber));
}

SearchOutcome RunAdvancedSearch(Session& session, nw::SearchReport& report, const base::CancelFlag& stop,
                                std::uint64_t first, std::uint64_t end) {
    const disk::SectorReader reader = session.Reader();
    report.Status(kSearchPhase1Text);
    const nw::SearchResult result =
        nw::AdvancedVolumeSearch(TargetOf(session, reader), end, session.found, report, stop, first);
    SearchOutcome out = OutcomeOf(session, result);
    if (out.diskOpened && !out.Found()) out.notice = ErrorNotice(kNoVolumeAdvancedText);
    if (out.diskOpened && !out.stopped)
        out.partitionNote = PartitionNote(ReadDiskPartitions(session, session.selectedDiskNumber));
    out.remark = result.unprovenSegmentsNote;
    records::ReportSection section;
    if (!out.remark.empty()) section.Line(out.remark);
    AddLines(section, out.partitionNote);
    if (!out.remark.empty() || !out.partitionNote.empty())
        out.reportWritten = session.activityLog.Write(section, &out.reportFailure);
    return out;
}

MaybeNotice SearchEndNotice(const SearchOutcome& outcome) {
    if (outcome.partitionNote.empty()) return outcome.notice;
    if (!outcome.notice) return InformationNotice(outcome.partitionNote);
    Notice notice = *outcome.notice;
    notice.text += "\n" + outcome.partitionNote;
    return notice;
}

}  // namespace workflow
