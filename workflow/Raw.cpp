#include "workflow/Raw.h"

#include "workflow/Disks.h"

namespace workflow {

RawStart CheckRawStart(Session& session, const raw::RawRequest& request) {
    const std::uint64_t sectors = DiskSectorCount(session, session.selectedDiskNumber);
    const raw::RawCheckResult c = raw::CheckRawRequest(request, sectors);
    RawStart r;
    r.check = c.check;
    r.ok = c.check == raw::RawCheck::Ok;
    r.start = c.start;
    r.end = c.end;
    if (!r.ok) {
        r.notice = c.check == raw::RawCheck::NoFileType ? InformationNotice(c.message) : ErrorNotice(c.message);
        if (c.check == raw::RawCheck::InvalidEnd) r.endFieldText = raw::EndSectorFieldText(sectors);
    }
    return r;
}

MaybeNotice PrepareRawDestination(const std::string& path) {
    if (path.empty() || !raw::PrepareDestination(path)) return ErrorNotice(raw::kMsgCreateDirectory);
    return std::nullopt;
}

raw::RawScanResult RunRaw(Session& session, raw::RawScan& scan, const RawStart& start,
                          const raw::RawRequest& request, const std::string& destination, raw::RawScanView& view) {
    view.SetRawStatus(raw::SearchingDiskText(session.selectedDiskNumber));
    const disk::SectorReader reader = session.Reader();
    return raw::RunRawScan(scan, reader, session.selectedDiskNumber, start.start, start.end, request.checked,
                           destination, view);
}

}  // namespace workflow
