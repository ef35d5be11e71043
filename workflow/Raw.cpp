#include "workflow/Raw.h"

#include <vector>

#include "records/Dfxml.h"
#include "workflow/Disks.h"
#include "workflow/RecordSources.h"
#include "workflow/Texts.h"

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

namespace {

// Passes everything on to the front end's view and keeps the documents
// written, for the DFXML report.
class CollectingView : public raw::RawScanView {
public:
    explicit CollectingView(raw::RawScanView& view) : view_(view) {}
    void SetRawStatus(const std::string& text) override { view_.SetRawStatus(text); }
    void ShowRawProgress(bool visible) override { view_.ShowRawProgress(visible); }
    void SetRawProgress(int percent) override { view_.SetRawProgress(percent); }
    void DocumentCarved(const raw::CarvedDocument& document) override {
        if (document.state != raw::DocumentState::Failed) documents.push_back(document);
        view_.DocumentCarved(document);
    }
    std::vector<raw::CarvedDocument> documents;

private:
    raw::RawScanView& view_;
};

std::string KindPrefix(int code) {
    for (const raw::DocumentKind& kind : raw::DocumentKinds())
        if (kind.code == code) return kind.prefix;
    return {};
}

bool WriteRawReport(const Session& session, const std::string& path, const std::vector<raw::CarvedDocument>& documents,
                    std::string* reason) {
    records::DfxmlWriter writer;
    const records::DfxmlSource source = ReportSource(session, "Carved documents", {});
    if (!writer.Open(path, source, reason)) return false;
    const bool severalDisks = source.images.size() > 1;
    for (const raw::CarvedDocument& d : documents) {
        records::DfxmlFileObject f;
        f.filename = d.fileName;
        f.filesize = d.bytes;
        nw::FileByteRun run;
        run.length = d.bytes;
        run.placed = true;
        run.disk = session.selectedDiskNumber;
        run.diskOffset = d.firstSector * 512;
        f.runs.push_back(run);
        f.digests = d.digests;
        f.extras.emplace_back("kind", KindPrefix(d.kind));
        f.extras.emplace_back("state", d.state == raw::DocumentState::Whole ? "whole" : "incomplete");
        writer.FileObject(f, severalDisks);
    }
    return writer.Finish(reason);
}

}  // namespace

raw::RawScanResult RunRaw(Session& session, raw::RawScan& scan, const RawStart& start,
                          const raw::RawRequest& request, const std::string& destination, raw::RawScanView& view,
                          std::string* reportFailure, std::string* xmlFailure) {
    view.SetRawStatus(raw::SearchingDiskText(session.selectedDiskNumber));
    const disk::SectorReader reader = session.Reader();
    CollectingView collecting(view);
    const raw::RawScanResult result = raw::RunRawScan(scan, reader, session.selectedDiskNumber, start.start,
                                                      start.end, request.checked, destination, collecting);
    std::string xmlPath = destination;
    if (xmlPath.empty() || xmlPath.back() != '/') xmlPath += '/';
    xmlPath += kRawReportName;
    std::string reason;
    records::RawScanRecord record = RawScanRecordOf(start, request, result);
    if (WriteRawReport(session, xmlPath, collecting.documents, &reason)) {
        record.dfxmlReport = xmlPath;
    } else {
        record.dfxmlFailure = xmlPath + ": " + reason;
        if (xmlFailure) *xmlFailure = record.dfxmlFailure;
    }
    session.activityLog.Write(records::RawScanSection(record), reportFailure);
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
