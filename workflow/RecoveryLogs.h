// The recovery log (.sav) as the user handles it: save the open volume's
// log to a chosen path, and take a stored log back in two stages: the table
// of found volumes (at the disk step) and the mounted volume (at the volume
// step). Every refusal comes back as the notice to show; nothing of the
// session changes when a log is refused.
#pragma once

#include <string>

#include "workflow/Notice.h"
#include "workflow/Session.h"

namespace workflow {

struct LogSaved {
    bool written = false;
    std::string path;    // the file written: the chosen name upper-cased, ".SAV" added
    MaybeNotice notice;  // "Unable to open file" (with the reason when it was made but not written)
};
// "Save Log": the open volume's log. session.destinationPath becomes the log's path.
LogSaved SaveRecoveryLog(Session& session, const std::string& chosenPath);

struct LogLoaded {
    bool loaded = false;
    MaybeNotice notice;  // "Unable to open file[: reason]", the raw-mode refusal
};
// "Load Log" at the disk step: the mode, the disk the log names (selected)
// and its table of found volumes.
LogLoaded LoadVolumeList(Session& session, const std::string& path);
// "Load Log" at the volume step: the mode and the mounted volume with its
// entry lists, tables and tree; the selection starts empty and
// session.volumeOpen is set.
// A log whose volume's directory on the selected disk holds other entries
// than it lists is refused ("Unable to open file: the log does not match
// this disk"); one whose directory cannot be read there is taken.
LogLoaded LoadMountedVolume(Session& session, const std::string& path);

// A log names the disk it was written from; this makes the loaded volumes
// read disk `number` instead (selectedDiskNumber and selectedDiskLabel, the
// found volumes and the mounted volume).
// The loads and this also take the segments of a volume extended over
// several segments from the attached disks' volume tables (see
// nw::FindVolumeSegments): the log's layout has no room for them.
void ReadLogFromDisk(Session& session, unsigned number);

}  // namespace workflow
