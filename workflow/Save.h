// A save of the open volume: what the user ticked (session.selection) or
// the rows a list picked, into a destination folder, under the session's
// save settings. The caller owns the SaveJob (its figures, its Stop and Skip
// flags), the progress view and the prompts; the flow runs the whole job on
// the calling thread.
#pragma once

#include <string>
#include <vector>

#include "base/Digests.h"
#include "recovery/SaveEngine.h"
#include "recovery/SaveJob.h"
#include "workflow/Notice.h"
#include "workflow/Session.h"

namespace workflow {

struct SaveRequest {
    recovery::SaveSource source = recovery::kTreeSource;
    std::vector<recovery::ListItem> items;  // list source: the list's rows, in order, with their selection
    std::string destinationPath;            // the folder chosen in "File Saving"
    // The records of the save (see records/SaveRecords.h): a sha256sum-format
    // list of what was saved (with NAME.md5 and NAME.sha1 beside it when
    // `digestKinds` asks for them) and a DFXML report; empty: not written.
    std::string hashListPath;
    std::string dfxmlPath;
    unsigned digestKinds = base::kDigestSha256;
    std::string commandLine;  // for the report's creator; empty: none
};

struct SaveResult {
    // How the job ended, with the files saved damaged, the files that failed
    // and the entries saved under another name (for the summary); the
    // figures are in the SaveJob.
    recovery::SaveOutcome outcome;
    MaybeNotice notice;             // "Inavlid Path", "No folder selected, select folders from left window", ...
    // The records put under their names, and why any asked for could not
    // be written (the path and the reason; empty when all were). A record
    // that cannot even be begun stops the save before it starts.
    std::vector<std::string> recordsWritten;
    std::string recordsFailure;
};

// A record of a save kept beside its destination folder: the folder's path
// (without a trailing '/') and `suffix` ("/media/out" -> "/media/out.sha256"),
// so that it never takes the name of a saved file.
std::string RecordBeside(const std::string& destination, const std::string& suffix);

// Notes the destination in the session and the job and runs the job over
// the open volume with the session's save settings and activity report.
// Refused with kGoToStep2Text when no volume is open.
SaveResult RunSave(Session& session, recovery::SaveJob& job, const SaveRequest& request,
                recovery::SaveProgressView& view, recovery::SavePrompts& prompts);

}  // namespace workflow
