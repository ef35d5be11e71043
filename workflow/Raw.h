// Raw recovery as both front ends run it: the start checks with the message
// each refusal shows, the destination, and the scan itself over the
// session's chosen disk. The front end asks for the destination between
// CheckRawStart and PrepareRawDestination and runs RunRaw on a worker.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "raw/RawScan.h"
#include "records/ActivityLog.h"
#include "workflow/Notice.h"
#include "workflow/Session.h"

namespace workflow {

// The refusals of "Start Recovery" and the question a Stop asks.
inline constexpr const char* kRawSelectFileTypeText = "Please select file type for recovery";
inline constexpr const char* kRawInvalidEndText = "Invalid End Sector";
inline constexpr const char* kRawInvalidStartText = "Invalid Start Sector";
inline constexpr const char* kRawStartNotBelowEndText = "Start sector should be less than End sector";
inline constexpr const char* kRawCreateDirectoryText = "Unable to Create Directory";
inline constexpr const char* kRawTerminateText = "Do you want terminate this process ?";
// An end past the disk: "Invalid End Sector: the disk's last sector is 19999".
std::string EndPastDiskText(std::uint64_t lastSector);

struct RawStart {
    bool ok = false;
    MaybeNotice notice;               // why not
    raw::RawCheck check = raw::RawCheck::Ok;
    std::uint64_t start = 0;          // the sectors to scan when ok: [start, end)
    std::uint64_t end = 0;
    // A refused end is replaced by this sector, the disk's last.
    std::optional<std::uint64_t> endFieldSector;
};

// The checks "Start Recovery" makes before it asks for a destination, over
// the session's chosen disk.
RawStart CheckRawStart(Session& session, const raw::RawRequest& request);

// kRawCreateDirectoryText when files cannot be created in `path`.
MaybeNotice PrepareRawDestination(const std::string& path);

// The DFXML report a raw scan writes into its destination.
inline constexpr const char* kRawReportName = "report.xml";

// Scans the checked range of the chosen disk into `destination`, writes
// the DFXML report of the documents written there (kRawReportName: each
// one's name, size, byte run on the disk, kind, digests, whole or
// incomplete) and what it did to the activity report as one section
// (RawScanRecordOf), naming the DFXML report. When the activity report
// cannot be written, *reportFailure says why; when the DFXML report
// cannot, *xmlFailure does (the path and the reason).
raw::RawScanResult RunRaw(Session& session, raw::RawScan& scan, const RawStart& start,
                          const raw::RawRequest& request, const std::string& destination, raw::RawScanView& view,
                          std::string* reportFailure = nullptr, std::string* xmlFailure = nullptr);

// The report's account of a scan: the range, the checked kinds with the
// documents found of each, and what could not be written whole.
records::RawScanRecord RawScanRecordOf(const RawStart& start, const raw::RawRequest& request,
                                       const raw::RawScanResult& result);

}  // namespace workflow
