// The shared record of the current job. One instance lives from program start
// to program end; engine code reads and writes its fields directly.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "app/job/Controls.h"
#include "app/job/Tree.h"
#include "app/job/TreeItem.h"
#include "netware/EntryList.h"
#include "netware/VolumeDescriptor.h"

namespace job {

enum RecoveryMode : std::int16_t { kModeNone = 0, kModeQuick = 1, kModeAdvanced = 2, kModeRaw = 3 };

struct WizardState {
    std::atomic<std::int32_t> currentStep{0};   // 0 disk and mode, 1 volume list, 2 browsing
    std::atomic<std::int16_t> recoveryMode{kModeNone};
    std::string selectedDiskLabel;              // "Disk" + number
    std::atomic<std::uint16_t> selectedDiskNumber{0};
    std::string selectedDiskModel;
    std::string installFolder;                  // at most 260 bytes
    std::string activityLogPath;
    std::string tempFolder;

    std::atomic<std::uint32_t> volumeCount{0};
    nw::VolumeListTable VolumeList{};
    std::int32_t selectedVolumeIndex = 0;
    std::string selectedVolumeName;
    nw::VolumeDescriptor currentVolume{};
    std::uint16_t mountedMark = 0;              // 1 once currentVolume has been mounted

    // The rebuilt directory records of the mounted volume.
    nw::EntryList FolderList;
    nw::EntryList FileList;

    TreeItem currentFolderItem = nullptr;
    std::int32_t treeHasFocus = 0;

    std::atomic<std::int32_t> searchStopRequested{0};
    std::atomic<std::int32_t> lostFolderScanActive{0};
    std::atomic<std::int32_t> exitQuestionOpen{0};
    std::atomic<std::int32_t> balloonHelpOn{1};
    std::atomic<std::int32_t> rangeIsWholeDisk{0};
    std::atomic<std::int32_t> rangeIsSectorRange{0};
    std::uint32_t diskSectorCount = 0;

    // Nonzero while the worker of that kind runs (cleared by the worker).
    std::atomic<std::uint64_t> searchWorker{0};
    std::atomic<std::uint64_t> mountWorker{0};

    std::string destinationPath;

    // The window's trees (installed by the front end).
    TreeView* diskTree = nullptr;
    TreeView* volumeTree = nullptr;
    TreeView* directoryTree = nullptr;

    // The published controls and the message boxes of the window.
    PublishedControls* controls = nullptr;
    MessageSink* messages = nullptr;
};

// The program's single instance.
WizardState& Wizard();
// Puts every field back to its initial value (the installed controls and
// message sink stay); used by front ends between runs and by tests.
void ResetWizardState();

}  // namespace job
