// The inside of one RunSave: the job, what it reads, where it reports, and
// the drivers of its two sources. Used by the save engine's sources only.
#pragma once

#include <cstdint>
#include <string>

#include "netware/FileReader.h"
#include "recovery/SafeFolders.h"
#include "recovery/SaveEngine.h"
#include "recovery/SaveNames.h"

namespace recovery {

// Gives `name` in the folder `dirFd` (the folder itself when `name` is
// null) the entry's date and time as its modification time; false when the
// timestamp is no date or the time cannot be set.
bool SetEntryTime(int dirFd, const char* name, std::uint32_t timestamp);

class SaveRun {
public:
    SaveRun(SaveJob& job, const SaveInput& input, SaveProgressView& view, SavePrompts& prompts);

    SaveOutcome Run();

    // Counting pass: sets totalFiles and totalBytes, zeroes savedBytes.
    void CountSelection();

    // One file, saved as `savedName` (its planned name, see SaveNames.h);
    // the folder path must be the destination folder or a path below it
    // built by this run.
    void SaveOneFile(const nw::EntryRecord& file, const std::string& folderPath, const std::string& savedName);

private:
    void RunCounting();
    bool CountBranch(std::uint32_t top);
    void CountFile(const nw::EntryRecord& file);

    // Tree source.
    SaveOutcome SaveCheckedTree();
    void SaveTreeBranch(std::uint32_t top);
    // List source.
    SaveOutcome SaveListSelection();
    void SaveListFolder(std::uint32_t node, const std::string& parentPath, const std::string& folderName,
                        const std::string& savedName);
    // The files of one folder node (tree source: only the marked ones),
    // under the names planned for the folder.
    void SaveFolderFiles(std::uint32_t node, const std::string& folderPath, const FolderNames& names);
    // Makes a folder of the walk; `savedName` is its planned name.
    void EnterFolder(const std::string& diskName, const std::string& savedName, bool deleted,
                     const std::string& path);
    // Gives a folder the time of its entry once its content is written.
    void FinishFolder(std::uint32_t node, const std::string& path);

    // Takes the destination folder as the root of every path of the run;
    // false when it cannot be made or reached.
    bool UseDestination(const std::string& folder);
    void CreateFolderPath(const std::string& path) { (void)folders_.Open(path, true); }
    // Notes a name other than the disk name: SafeName's changes once per
    // job in the activity report, a planned name (`savedName` is not
    // SafeName(name)) every time, with the target.
    void ReportName(const std::string& name, const std::string& savedName, bool deleted, const std::string& target);
    // Notes how a file ended: the view, the job's lists, the activity report.
    // `reason`: the system's reason of a failure, or why a kept file is
    // damaged (empty: it is whole).
    void EndFile(const std::string& target, FileOutcome outcome, std::uint64_t written, std::uint64_t byteCount,
                 const std::string& reason, std::uint64_t unreadable = 0);

    // Pieces of SaveOneFile.
    void AskAboutWriteError(const std::string& target, const std::string& reason);
    void ShowTimeFigures();

    friend class TargetConsumer;

    SaveJob& job_;
    const SaveInput& input_;
    SaveProgressView& view_;
    SavePrompts& prompts_;
    nw::FileReader fileReader_;
    std::string root_;  // the destination folder, "/" ended
    FolderChain folders_;  // the folders of the walk, below root_
    SaveOutcome outcome_;  // the lists the job fills as it runs
    std::uint32_t filesKept_ = 0;  // files under their name in the destination
};

}  // namespace recovery
