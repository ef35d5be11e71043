// The save engine: copies the checked folders and files of the mounted
// volume (tree source) or the chosen rows of the details list (list source)
// into the destination folder, under the save settings' filters. It never
// writes to the source disk.
//
// Folder paths here are destination paths joined with '/'. Every name taken
// from the disk goes through SafeName() before it becomes part of a path,
// and everything below the destination folder is created and opened without
// following symbolic links, so nothing a volume holds can make a save write
// outside the destination.
#pragma once

#include <cstdint>
#include <string>

#include "app/job/TreeItem.h"
#include "recovery/SaveJob.h"

namespace recovery {

// The whole job as the save worker runs it: counting, then the copy of the
// job's source, then jobFinished. Runs on the calling thread.
void SaveWorker();
// Starts SaveWorker on a thread of its own (recorded in saveWorker).
void StartSaveWorker();
void WaitForSaveWorker();

// Counting pass: sets totalFiles and totalBytes, zeroes savedBytes.
void CountSelection();
// Runs CountSelection on the counting worker and waits for it (or for a
// stop, after which the job goes on with the totals counted so far).
void RunCountingWorker();
// "Stop " in "Calculating File Size": asks "Do you want to terminate this
// process?"; on Yes the counting ends at its next record. Returns the answer.
bool RequestCountingStop();

// "&Stop" and "S&kip" of "Saving".
void RequestStop();
void RequestSkip();

// Tree source.
void SaveCheckedTree();
void SaveTreeBranch(job::TreeItem item);  // nullptr: the top item
void SaveFolderFiles(job::TreeItem folderItem, const std::string& folderPath);
// List source.
void SaveListSelection();
void SaveListFolder(job::TreeItem folderItem, const std::string& parentPath, const std::string& folderName);

// One file. The name is made safe here; the folder path must be the
// destination folder or a path below it built by this engine.
void SaveOneFile(std::uint32_t size, std::uint32_t firstBlock, const std::string& folderPath, const std::string& name,
                 std::uint8_t attributesHigh, std::uint32_t deletedMarker, std::uint32_t timestamp);

// Creates every missing folder along the path; failures are ignored. Below
// the current job's destination folder no symbolic link is followed or made.
void CreateFolderPath(const std::string& path);

// A name from the disk as it may appear in a destination path: '/' and NUL
// become '_', and so do the dots of "." and ".."; an empty name becomes "_".
std::string SafeName(const std::string& name);
// SafeName, noting a changed name once per job in the activity report.
std::string SafeNameReported(const std::string& name);

// The destination path of a tree item below the top item: the destination
// folder followed by the item's ancestors and itself, each made safe,
// joined with '/'.
std::string ItemDestinationPath(const std::string& destinationFolder, job::TreeItem item);

// The commands that start a save need the browsing step. The "Save Data"
// button says so when the wizard is not there yet; the other commands do
// nothing. Returns whether the save may start.
bool SaveCommandAllowed(bool fromSaveDataButton);

// Whole seconds of the wall clock (replaceable by tests).
using ClockFn = std::int64_t (*)();
void SetSaveClock(ClockFn clock);
std::int64_t SaveClockNow();

}  // namespace recovery
