#include "workflow/Raw.h"

#include "workflow/Disks.h"

namespace workflow {

std::string EndPastDiskText(std::uint64_t lastSector) {
    return std::string(kRawInvalidEndText) + ": the disk's last sector is " + std::to_string(lastSector);
}

RawStart CheckRawStart(Session& session, const raw::RawRequest& request) {
    const std::uint64_t sectors = DiskSectorCount(session, session.selectedDiskNumber);
    const raw::RawCheckResult c = raw::CheckRawRequest(request, sectors);
    RawStart r;
    r.check = c.check;
    r.ok = c.check == raw::RawCheck::Ok;
    r.start = c.start;
    r.end = c.end;
    switch (c.check) {
        case raw::RawCheck::Ok: break;
        case raw::RawCheck::NoFileType: r.notice = InformationNotice(kRawSelectFileTypeText); break;
        case raw::RawCheck::InvalidEnd: r.notice = ErrorNotice(kRawInvalidEndText); break;
        case raw::RawCheck::EndPastDisk: r.notice = ErrorNotice(EndPastDiskText(c.lastSector)); break;
        case raw::RawCheck::InvalidStart: r.notice = ErrorNotice(kRawInvalidStartText); break;
        case raw::RawCheck::StartNotBelowEnd: r.notice = ErrorNotice(kRawStartNotBelowEndText); break;
    }
    if (c.check == raw::RawCheck::InvalidEnd || c.check == raw::RawCheck::EndPastDisk) r.endFieldSector = c.lastSector;
    return r;
}

MaybeNotice PrepareRawDestination(const std::string& path) {
    if (path.empty() || !raw::PrepareDestination(path)) return ErrorNotice(kRawCreateDirectoryText);
    return std::nullopt;
}

raw::RawScanResult RunRaw(Session& session, raw::RawScan& scan, const RawStart& start,
                          const raw::RawRequest& request, const std::string& destination, raw::RawScanView& view,
                          std::string* reportFailure) {
    view.SetRawStatus(raw::SearchingDiskText(session.selectedDiskNumber));
    const disk::SectorReader reader = session.Reader();
    const raw::RawScanResult result = raw::RunRawScan(scan, reader, session.selectedDiskNumber, start.start,
                                                      start.end, request.checked, destination, view);
    session.activityLog.Write(records::RawScanSection(RawScanRecordOf(start, request, result)), reportFailure);
    return result;
}

records::RawScanRecord RawScanRecordOf(const RawStart& start, const raw::RawRequest& request,
                                       const raw::RawScanResult& result) {
    records::RawScanRecord record;
    record.startSector = start.start;
    record.endSector = start.end;
    for (const raw::DocumentKind& kind : raw::DocumentKinds()) {
        if (!request.checked[static_cast<std::size_t>(kind.code)]) continue;
        const int found = result.typeCounts[static_cast<std::size_t>(kind.code)];
        record.kinds.push_back({kind.prefix, static_cast<std::uint64_t>(found > 0 ? found : 0)});
    }
    record.incomplete = static_cast<std::uint64_t>(result.documentsIncomplete > 0 ? result.documentsIncomplete : 0);
    record.failed = static_cast<std::uint64_t>(result.documentsFailed > 0 ? result.documentsFailed : 0);
    record.skippedSectors = result.sectorsSkipped;
    record.stopped = result.stopped;
    return record;
}

}  // namespace workflow
