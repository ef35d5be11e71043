#include "app/job/WizardState.h"

namespace job {

WizardState& Wizard() {
    static WizardState state;
    return state;
}

void ResetWizardState() {
    WizardState& w = Wizard();
    w.currentStep = 0;
    w.recoveryMode = kModeNone;
    w.selectedDiskLabel.clear();
    w.selectedDiskNumber = 0;
    w.selectedDiskModel.clear();
    w.volumeCount = 0;
    w.VolumeList = nw::VolumeListTable{};
    w.selectedVolumeIndex = 0;
    w.selectedVolumeName.clear();
    w.currentVolume = nw::VolumeDescriptor{};
    w.mountedMark = 0;
    w.FolderList.Clear();
    w.FileList.Clear();
    w.currentFolderItem = nullptr;
    w.treeHasFocus = 0;
    w.searchStopRequested = 0;
    w.lostFolderScanActive = 0;
    w.exitQuestionOpen = 0;
    w.balloonHelpOn = 1;
    w.rangeIsWholeDisk = 0;
    w.rangeIsSectorRange = 0;
    w.diskSectorCount = 0;
    w.destinationPath.clear();
}

}  // namespace job
