// Raw recovery as both front ends run it: the start checks with the message
// each refusal shows, the destination, and the scan itself over the
// session's chosen disk. The front end asks for the destination between
// CheckRawStart and PrepareRawDestination and runs RunRaw on a worker.
#pragma once

#include <cstdint>
#include <string>

#include "raw/RawScan.h"
#include "records/ActivityLog.h"
#include "workflow/Notice.h"
#include "workflow/Session.h"

namespace workflow {

struct RawStart {
    bool ok = false;
    MaybeNotice notice;               // why not
    raw::RawCheck check = raw::RawCheck::Ok;
    std::uint64_t start = 0;          // the range, when ok
    std::uint64_t end = 0;
    std::string endFieldText;         // a refused end field is refilled with this
};

// The checks "Start Recovery" makes before it asks for a destination, over
// the session's chosen disk.
RawStart CheckRawStart(Session& session, const raw::RawRequest& request);

// "Unable to Create Directory" when files cannot be created in `path`.
MaybeNotice PrepareRawDestination(const std::string& path);

// Scans the checked range of the chosen disk into `destination` and writes
// what it did to the activity report as one section (RawScanRecordOf); when
// that write fails, *reportFailure says why.
raw::RawScanResult RunRaw(Session& session, raw::RawScan& scan, const RawStart& start,
                          const raw::RawRequest& request, const std::string& destination, raw::RawScanView& view,
                          std::string* reportFailure = nullptr);

// The report's account of a scan: the range, the checked kinds with the
// documents found of each, and what could not be written whole.
records::RawScanRecord RawScanRecordOf(const RawStart& start, const raw::RawRequest& request,
                                       const raw::RawScanResult& result);

}  // namespace workflow
