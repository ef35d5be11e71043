// One recovery session: the attached disks and everything found, mounted
// and chosen on them. The front end owns exactly one Session for as long as
// its window or command runs and passes it by reference to the workflow
// functions; nothing else holds session state. Fields that carry the
// product's established names keep them (currentVolume, FolderList,
// FileList, ... live in the objects below).
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/Progress.h"
#include "disk/BadSectorPolicy.h"
#include "disk/DiskCatalogue.h"
#include "disk/DiskSet.h"
#include "disk/SectorReader.h"
#include "netware/FoundVolumes.h"
#include "netware/MountedVolume.h"
#include "netware/Selection.h"
#include "netware/Volume.h"
#include "records/ActivityLog.h"
#include "records/DiskVerify.h"
#include "recovery/FileViewer.h"
#include "recovery/SaveSettings.h"
#include "workflow/SettingsStore.h"

namespace workflow {

enum RecoveryMode : std::int16_t { kModeNone = 0, kModeQuick = 1, kModeAdvanced = 2, kModeRaw = 3 };

struct Session {
    explicit Session(SettingsStore& settingsStore) : store(&settingsStore) {}
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // ---- sources -----------------------------------------------------------
    disk::DiskSet disks;
    disk::BadSectorPolicy policy;
    std::vector<disk::DiskInfo> diskList;       // as last enumerated
    disk::SectorReader Reader() { return disk::SectorReader(disks, policy); }

    // The registry stand-in: the user's preferences only (install folder,
    // language, support details, window size). Disk facts never go there.
    SettingsStore* store;

    // ---- the chosen disk and mode --------------------------------------------
    std::string selectedDiskLabel;              // "Disk" + number
    std::uint16_t selectedDiskNumber = 0;
    std::string selectedDiskModel;
    std::map<unsigned, records::DiskVerification> verifications;  // the last check of each disk, by number
    std::atomic<std::int16_t> recoveryMode{kModeNone};

    // ---- found, mounted, chosen -------------------------------------------------
    nw::FoundVolumes found;                     // the last search's or loaded log's volumes
    std::int32_t selectedVolumeIndex = 0;
    std::string selectedVolumeName;
    nw::MountedVolume mounted;                  // currentVolume, FolderList, FileList, tables, tree
    std::atomic<bool> volumeOpen{false};        // `mounted` holds a mounted or reloaded volume to browse
    nw::Selection selection;
    recovery::SaveSettings saveSettings;

    // ---- files --------------------------------------------------------------
    std::string installFolder;                  // at most 260 bytes
    std::string tempFolder;                     // where the private viewing folder is made (empty: $TMPDIR)
    recovery::PrivateViewFolder viewFolder;     // copies of viewed files; removed with the session
    std::string destinationPath;
    records::ActivityLog activityLog;           // the activity report of this session

    // ---- stopping ---------------------------------------------------------------
    // The stop the user asked for (the Stop button, Ctrl-C). Flows that can
    // be stopped take a flag; front ends pass this one and clear it before
    // they start a flow.
    base::CancelFlag cancel{false};
};

}  // namespace workflow
