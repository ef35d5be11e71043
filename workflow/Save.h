// A save of the open volume: what the user ticked (session.selection) or
// the rows a list picked, into a destination folder, under the session's
// save settings. The caller owns the SaveJob (its figures, its Stop and Skip
// flags), the progress view and the prompts; the flow runs the whole job on
// the calling thread.
#pragma once

#include <string>
#include <vector>

#include "recovery/SaveEngine.h"
#include "recovery/SaveJob.h"
#include "workflow/Notice.h"
#include "workflow/Session.h"

namespace workflow {

struct SaveRequest {
    recovery::SaveSource source = recovery::kTreeSource;
    std::vector<recovery::ListItem> items;  // list source: the rows to save
    std::string destinationPath;            // the folder chosen in "File Saving"
};

struct SaveRun {
    bool ran = false;    // the job ran: its figures are in the SaveJob
    MaybeNotice notice;  // why not ("Inavlid Path", "No folder selected, ..."), or what to tell afterwards
};

// Notes the destination in the session and the job, and runs the job.
// Refused with kGoToStep2Text when no volume is open.
SaveRun RunSave(Session& session, recovery::SaveJob& job, const SaveRequest& request,
                recovery::SaveProgressView& view, recovery::SavePrompts& prompts);

}  // namespace workflow
