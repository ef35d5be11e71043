// What the main window keeps beside the session: where the wizard stands,
// what the list shows, which control has the focus, the questions on screen,
// the raw panel's range choice, the stop flags it hands to its workers, and
// the workers of the search and the mount. The window thread reads and
// writes it; workers only poll the stop flags, and the mount's worker fills
// the stored lengths before it ends (the window reads them after joining it).
#pragma once

#include <cstdint>

#include "base/Progress.h"
#include "netware/FolderTree.h"
#include "workflow/StoredLengths.h"
#include "workflow/Worker.h"

namespace app {

struct WindowState {
    int currentStep = 0;                         // 0 disk and mode, 1 volume list, 2 browsing
    std::uint32_t currentFolderNode = nw::kNoNode;  // the folder the list shows
    bool treeHasFocus = false;
    bool exitQuestionOpen = false;
    bool lostFolderScanActive = false;           // "Stop Searching" ends the lost-folder pass
    bool rangeIsWholeDisk = false;
    bool rangeIsSectorRange = false;

    base::CancelFlag searchStop{false};          // ends the advanced search
    base::CancelFlag lostScanStop{false};        // ends the lost-folder pass of a mount
    workflow::Worker searchWorker;
    workflow::Worker mountWorker;
    workflow::StoredLengths storedLengths;       // of the mounted volume's compressed files
};

}  // namespace app
