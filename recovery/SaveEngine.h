// The save engine: copies the ticked folders and files of a mounted volume
// (tree source) or the chosen rows of the folder list (list source) into the
// destination folder, under the save settings' filters. It never writes to
// the source disk.
//
// Folder paths here are destination paths joined with '/'. Every name taken
// from the disk goes through SafeName() before it becomes part of a path,
// and everything below the destination folder is created and opened without
// following symbolic links, so nothing a volume holds can make a save write
// outside the destination.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "netware/EntryList.h"
#include "netware/FolderTree.h"
#include "recovery/SaveJob.h"
#include "recovery/SavedFiles.h"
#include "recovery/SaveSettings.h"

namespace disk {
class SectorReader;
}
namespace nw {
struct MountedVolume;
class Selection;
}  // namespace nw

namespace recovery {

// One row of the folder list as the front end showed it when the save was
// started: a folder (its tree node) or a file (its index in the file list),
// and whether the row was selected. The save settings' selection mode picks
// the rows: a file row saves that file, a folder row its whole branch.
struct ListItem {
    bool isFolder = false;
    std::uint32_t node = nw::kNoNode;      // folders
    std::size_t fileIndex = nw::kNoEntry;  // files
    bool selected = false;
};

// What a save reads. The job's source says which of `selection` (tree
// source) and `listItems` (list source) it takes.
struct SaveInput {
    SaveInput(const nw::MountedVolume& mountedVolume, const disk::SectorReader& sectorReader)
        : volume(mountedVolume), reader(sectorReader) {}

    const nw::MountedVolume& volume;
    const disk::SectorReader& reader;
    // Tree source: the folders whose node is checked or partly checked are
    // entered, and in each the files marked in the selection are saved.
    const nw::Selection* selection = nullptr;
    // List source: the list's rows in their order.
    std::vector<ListItem> listItems;
    SaveSettings settings;
    // Lines for the activity report (a name from the disk saved under
    // another name); nullptr: none are written.
    ActivityReport* activityReport = nullptr;
    // A record of every file put in the destination, with its digests of
    // `digestKinds` (base::DigestKind) taken while it was written; nullptr:
    // no records, no digests.
    SavedFileSink* savedFiles = nullptr;
    unsigned digestKinds = base::kDigestSha256;
};

enum class SaveEnd {
    Finished,         // the walk ran (possibly stopped: see SaveOutcome::stopped)
    NoDestination,    // destinationPath is empty: the job did not run
    InvalidPath,      // the destination folder cannot be made or reached
    NothingSelected,  // tree source: no folder was entered
};

struct SaveOutcome {
    SaveEnd end = SaveEnd::Finished;
    bool stopped = false;  // "&Stop", or "&Abort" on a write error, ended the job early
    // The message the user is shown once the job is over ("Inavlid Path",
    // "No folder selected, select folders from left window"); empty when none.
    std::string message;
    // What the summary names: files saved damaged, files that failed (write
    // errors; not those stopped, skipped or not replaced) and entries saved
    // under another name, in the order they happened.
    std::vector<DamagedFile> damaged;
    std::vector<FailedFile> failed;
    std::vector<RenamedEntry> renamed;
};

// The whole job as the save worker runs it, on the calling thread: the
// counting pass (on a counting thread of its own, joined before the copy),
// then the copy of the job's source, then jobFinished and
// view.JobFinished(). The caller fills job.source and job.destinationPath;
// the other figures are set here. The front end sets the job's Stop and Skip
// flags from its own thread while this runs.
SaveOutcome RunSave(SaveJob& job, const SaveInput& input, SaveProgressView& view, SavePrompts& prompts);

// A name from the disk as it may appear in a destination path: '/' and NUL
// become '_', and so do the dots of "." and ".."; an empty name becomes "_".
std::string SafeName(const std::string& name);

// The number of stored bytes of a file stored compressed, from the header
// of its first data sector; nothing when the header's size is not the
// entry's size ("Compress File CheckSum Error") or the sector cannot be
// found.
std::optional<std::uint32_t> CompressedStoredLength(const nw::MountedVolume& volume, const disk::SectorReader& reader,
                                                    const nw::EntryRecord& file);

// The bytes of a file a save or a copy reads: the stored length for a file
// stored compressed (the entry's size when its header fails the check),
// the entry's size otherwise. `checksumFailed` is set when the header failed.
std::uint32_t BytesToRead(const nw::MountedVolume& volume, const disk::SectorReader& reader, const nw::EntryRecord& file,
                          bool* checksumFailed);

// Why a file read as far as `delivered` of `byteCount` bytes, `unreadable`
// of them zeros for sectors that could not be read, is damaged; empty when
// it is not.
std::string DamageReason(std::uint64_t delivered, std::uint64_t byteCount, std::uint64_t unreadable,
                         bool checksumFailed);

}  // namespace recovery
