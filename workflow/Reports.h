// The folder listing (view, print, mail) and the activity report (view,
// mail), with the notices they end with.
#pragma once

#include <string>

#include "records/DirectoryListing.h"
#include "workflow/Notice.h"
#include "workflow/Session.h"

namespace workflow {

struct ReportOutcome {
    bool done = false;   // handed to the viewer, the printer or the mail client
    std::string path;    // the file written (the print file for the printer)
    MaybeNotice notice;  // kGoToStep2Text, "Unable to open file: ...", "Unable to find log file", ...
    int handOffStatus = 0;  // the mail hand-off failed with this exit status (see records::CommandResult)
};

// The listing needs an open volume (else kGoToStep2Text).
ReportOutcome ViewListing(Session& session, records::FileOpener& opener);
// Writes the print file; the front end prints `path`.
ReportOutcome PrepareListingPrint(Session& session);
ReportOutcome EmailListing(Session& session);

ReportOutcome ViewReport(Session& session, records::FileOpener& opener);
ReportOutcome EmailReport(Session& session);

}  // namespace workflow
