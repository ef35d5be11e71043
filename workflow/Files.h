// Work on single files of the open volume: viewing a file through a
// temporary copy, and the compressed-file marking pass.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "recovery/CompressedMarking.h"
#include "recovery/FileViewer.h"
#include "workflow/Notice.h"
#include "workflow/Session.h"

namespace workflow {

struct ViewOutcome {
    bool opened = false;
    std::string copyPath;  // where the copy went (empty when refused before one was made)
    MaybeNotice notice;  // "Can not view compressed file directly", "Can not create file to view", ...
};
// Copies file `fileIndex` of the open volume into the session's private
// viewing folder (made below `tempFolder`) and opens the copy.
ViewOutcome ViewFile(Session& session, std::size_t fileIndex, recovery::FileOpener& opener);

// The marking pass over the open volume's files (nothing when no volume is
// open). With `write` false nothing is written. `stop` ends it between two
// files (MarkingResult::stopped).
recovery::MarkingResult RunMarkingPass(Session& session, bool write, recovery::MarkingView* view,
                                       const base::CancelFlag* stop = nullptr);

}  // namespace workflow
