// The inside of one RunSave: the job, what it reads, where it reports, and
// the drivers of its two sources. Used by the save engine's sources only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Digests.h"

#include "netware/FileReader.h"
#include "recovery/LinkedFiles.h"
#include "recovery/EntryExtras.h"
#include "recovery/SafeFolders.h"
#include "recovery/SaveEngine.h"
#include "recovery/SaveNames.h"
#include "recovery/TargetFile.h"

namespace recovery {

// Gives `name` in the folder `dirFd` (the folder itself when `name` is
// null) the entry's date and time as its modification time; false when the
// timestamp is no date or the time cannot be set.
bool SetEntryTime(int dirFd, const char* name, std::uint32_t timestamp, const nw::TimeZone& zone);

class SaveRun {
public:
    SaveRun(SaveJob& job, const SaveInput& input, SaveProgressView& view, SavePrompts& prompts);

    SaveOutcome Run();

    // Counting pass: sets totalFiles and totalBytes, zeroes savedBytes.
    void CountSelection();

    // The destination folder a file of the walk goes into: its path ("/"
    // joined, for what the job reports) and whether the walk stands in it
    // (else `error` says why it could not be made).
    struct WalkFolder {
        const std::string& path;
        bool entered;
        int error;
    };
    // One file, saved as `savedName` (its planned name, see SaveNames.h) in
    // the folder the walk stands in.
    void SaveOneFile(const nw::EntryRecord& file, const WalkFolder& folder, const std::string& savedName);

private:
    void RunCounting();
    // The counting ends at its next record on "terminate this process?" and
    // on a Stop of the whole job.
    bool CountingStopped() const { return job_.countingStopRequested == 1 || job_.stopRequested == 1; }
    bool CountBranch(std::uint32_t top);
    void CountFile(const nw::EntryRecord& file);

    SaveOutcome SaveCheckedTree();    // tree source
    SaveOutcome SaveListSelection();  // list source
    // The walk both sources share (see SaveEngine.cpp).
    void SaveBranch(std::uint32_t top, const std::string* topName);
    // The files of one folder node (`ticked`: only those the selection
    // marks), under the names planned for the folder.
    void SaveFolderFiles(const WalkFolder& folder, std::uint32_t node, const FolderNames& names, bool ticked);
    // The step after a folder's children are written, while the walk
    // stands in it: the folder takes its entry's time.
    void FinishFolder(std::uint32_t node);

    // Takes the destination folder as the root of every path of the run;
    // false when it cannot be made or reached.
    bool UseDestination(const std::string& folder);
    // Notes a name other than the disk name: SafeName's changes once per
    // job in the activity report, a planned name (`savedName` is not
    // SafeName(name)) every time, with the target.
    void ReportName(const std::string& name, const std::string& savedName, bool deleted, const std::string& target);
    // Notes how a file ended: the view, the job's lists, the activity report.
    // `reason`: the system's reason of a failure, or why a kept file is
    // damaged (empty: it is whole).
    void EndFile(const std::string& target, FileOutcome outcome, std::uint64_t written, std::uint64_t byteCount,
                 const std::string& reason, std::uint64_t unreadable = 0);

    // The steps of SaveOneFile, in their order. Each that ends the file
    // says so by returning false.
    bool PassesFilters(const nw::EntryRecord& file, const std::string& folderPath);
    void ShowFileStarted(const nw::EntryRecord& file, const std::string& folderPath);
    bool MayWriteTarget(int dirFd, const std::string& fileName, const std::string& targetPath, std::uint32_t size);
    // Where a file is being written: its folder, its name there, its path.
    struct FilePlace {
        int dirFd;
        const std::string& savedName;
        const std::string& targetPath;
    };
    // Reads the file's data into the temporary target and puts it under its
    // name.
    void CopyAndCommit(const nw::EntryRecord& file, TargetFile& target, const FilePlace& place);
    // Puts a whole or damaged file under its name, then gives it what it
    // carries beyond its data (link, companion, mode, times); a file that
    // cannot be put under its name is a write failure.
    void Commit(TargetFile& target, const FilePlace& place, const nw::EntryRecord& file, FileOutcome outcome,
                std::uint64_t written, std::uint64_t byteCount, const std::string& damage, std::uint64_t unreadable);
    // The hard-link group a file is saved in (0: none, or links are copied).
    std::uint32_t LinkGroupOf(const nw::EntryRecord& file) const;
    // Saves a file of a group whose file is already saved as a hard link to
    // it; false when it is to be copied.
    bool LinkToSavedEntry(const nw::EntryRecord& file, int dirFd, const std::string& savedName,
                          const std::string& targetPath);
    void AskAboutWriteError(const std::string& target, const std::string& reason);
    void ShowTimeFigures();
    // Hands the records of a file now under its name (and of its companion)
    // to the job's sink.
    void RecordSavedFile(const FilePlace& place, const nw::EntryRecord& file, std::uint64_t written,
                         bool damaged, std::uint64_t unreadable, const ExtrasOutcome& extras);

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
    SavedLinks links_;             // the first saved file of each hard-link group
    // Of the file being written, when the job keeps records: its digests,
    // taken as it is written, and where its bytes lay.
    std::optional<base::Digester> digester_;
    std::vector<nw::FileByteRun> runs_;
};

}  // namespace recovery
