// From the table of found volumes to a mounted volume and back, and the
// selection of what to save by path (the command line's way of ticking).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Progress.h"
#include "netware/Mount.h"
#include "workflow/Notice.h"
#include "workflow/Session.h"

namespace workflow {

// The eight facts rows of a volume ("Volume Name   :   SYS", ...); a volume
// of several segments gets a ninth, its segment count, and one row for
// every segment whose disk is not attached.
std::vector<std::string> VolumeFactsRows(const nw::VolumeDescriptor& volume);

// The segments of a volume of several segments as
// disk:startSector:firstBlock:blockCount, comma-separated, in block order;
// a segment whose disk is not attached has "?" for its disk and start, and
// for its first block and block count where no table tells them (several
// missing segments side by side).
std::string SegmentsField(const nw::VolumeDescriptor& volume);

// A volume clicked in the list of found volumes: currentVolume,
// selectedVolumeIndex and selectedVolumeName. False (nothing changes) when
// the table holds no volume at that index.
bool ChooseVolume(Session& session, unsigned index);

struct MountOutcome {
    bool mounted = false;
    bool lostScanStopped = false;
    std::uint32_t folderCount = 0;  // "LOST" included
    std::uint32_t fileCount = 0;
    // Mounted, but the tree could not be read: neither directory copy could
    // be read, so nothing the volume holds can be shown. A failure to
    // report (what exists could not be read), not an empty volume.
    bool treeUnreadable = false;
    // Mounted with what could be read, but part of the directory could not
    // be (its chain or some of its sectors): the tree is shown, and the
    // notice says what is missing. Also a failure to report.
    bool treeIncomplete = false;
    // "Out Of Memory" when nothing usable was built; a warning when the
    // volume mounted but its directory tables could not be read in full.
    MaybeNotice notice;
    // The mount's report section could not be written (the reason).
    bool reportWritten = true;
    std::string reportFailure;
};

// Mounts the chosen volume into session.mounted. On success the selection
// starts empty over the new tree, session.volumeOpen is set and the activity
// report gets the section "\r\nNo of Folders Found : N\r\nNo of Files Found : M".
// `stopLostScan` ends the lost-folder pass early when set.
MountOutcome MountChosenVolume(Session& session, nw::MountReport& report,
                               const base::CancelFlag* stopLostScan = nullptr);

// Back from browsing: the entry lists, the tree and the selection are
// released; the table of found volumes and the chosen volume stay.
void Unmount(Session& session);

// Ticks the entry a path below the root names ("PUBLIC\DATA", "LOST\OLD",
// "/" separators allowed, "" for the root): a folder with everything below
// it, a file on its own. False when the open volume holds no such entry.
bool SelectPath(Session& session, const std::string& path);
// Ticks the whole volume.
void SelectEverything(Session& session);

// Path of a file below the root ("PUBLIC\DATA\REPORT.DOC"); the bare name
// when its folder is not in the tree. With `text`, made of the names as it
// writes them (nw::NodePath).
std::string FilePath(const Session& session, std::size_t fileIndex, const nw::NameText& text = {});

}  // namespace workflow
