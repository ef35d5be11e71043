// One save job's figures and flags, and the interfaces through which a save
// shows its progress ("Saving", "Calculating File Size"), asks its questions
// ("Replace File Confirmation", "Error Writing Destination") and writes its
// lines for the activity report. The desktop program implements them with
// its dialogs, the command-line program on the terminal, tests with
// recorders. Whoever starts a save owns its SaveJob; the window reads the
// figures and sets the Stop and Skip flags while the save runs on a worker.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace recovery {

// A file saved as far as its data went: the destination holds it, but some
// of its bytes are zeros for sectors that could not be read, or it is
// shorter than its entry says.
struct DamagedFile {
    std::string target;                // the path written
    std::uint64_t written = 0;         // bytes the saved file holds
    std::uint64_t byteCount = 0;       // bytes it should hold
    std::uint64_t unreadableBytes = 0; // of `written`: zeros for sectors that could not be read
    std::string reason;                // e.g. "2048 bytes could not be read"
};

// A file that could not be saved: nothing of it is under its name.
struct FailedFile {
    std::string target;
    std::string reason;  // the outcome, and the system's reason where there is one
};

// An entry saved under another name than its own, because its name cannot
// be a file name here or another entry of the same folder took it first.
struct RenamedEntry {
    std::string diskName;  // the name on the volume
    std::string target;    // the path it was saved as
    std::string reason;
};

enum SaveSource : std::int16_t { kNoSource = 0, kTreeSource = 1, kListSource = 2 };

// Answers of "Replace File Confirmation", as replacePolicy values.
enum ReplacePolicy : int { kReplaceAsk = 0, kReplaceNotThis = 1, kReplaceAll = 2, kReplaceNone = 3 };

enum CountingState : int { kCountingIdle = 0, kCountingRunning = 1, kCountingDone = 2 };

constexpr std::size_t kDestinationPathMax = 1024;

struct SaveJob {
    std::int16_t source = kNoSource;
    std::string destinationPath;  // empty: the job does not run
    std::uint32_t totalFiles = 0;
    std::uint64_t totalBytes = 0;
    std::atomic<std::uint64_t> savedBytes{0};
    std::uint32_t filesStarted = 0;
    std::int64_t startTime = 0;  // wall-clock seconds
    std::atomic<int> stopRequested{0};
    std::atomic<int> skipRequested{0};
    int replacePolicy = kReplaceAsk;
    int checkedFolderCount = 0;
    std::atomic<int> countingState{kCountingIdle};
    std::atomic<int> countingStopRequested{0};
    std::atomic<int> jobFinished{0};

    // Disk names changed for saving in this job (reported once each).
    std::set<std::string> renamedNames;

    // Whole seconds of the wall clock for the time figures; empty: the
    // system's clock.
    std::function<std::int64_t()> clock;
    std::int64_t Now() const;

    // "&Stop" and "S&kip" of "Saving" (any thread).
    void RequestStop() { stopRequested = 1; }
    void RequestSkip() { skipRequested = 1; }
    // Yes to "Do you want to terminate this process?" in "Calculating File
    // Size": the counting ends at its next record and the copy goes on with
    // the totals counted so far. The front end asks the question.
    void RequestCountingStop() {
        countingStopRequested = 1;
        countingState = kCountingIdle;
    }
};

// ---- what the save shows -------------------------------------------------------

// The job's figures when a file that passed the filters starts.
struct FileFigures {
    std::uint64_t savedBytes = 0;  // bytes the job has saved before this file
    std::uint64_t totalBytes = 0;  // bytes the job saves in all (at least 1)
    std::uint32_t filesDone = 0;   // files started, this one included
    std::uint32_t filesTotal = 0;  // files the job saves in all
    std::string folderPath;        // where the file is saved
    std::string name;              // the file's name there
};

// How one file that passed the filters ended.
enum class FileOutcome {
    Written,        // every byte the disk gave was written
    Short,          // written, but the chain ended before the byte count (damaged)
    Abandoned,      // a suballocated file larger than one block: left empty (damaged)
    NotReplaced,    // the target existed and was kept
    ChecksumError,  // "Compress File CheckSum Error": the chain saved up to the entry's size (damaged)
    CreateFailed,   // "Error Writing Destination" at create (or the folder)
    WriteFailed,    // "Error Writing Destination" while writing: nothing kept
    Skipped,        // "S&kip" during the copy: nothing kept
    Stopped,        // "&Stop" during the copy: nothing kept
};
// Outcomes whose file is in the destination, under its name, in full or as
// far as its data went.
bool FileKept(FileOutcome outcome);
const char* FileOutcomeText(FileOutcome outcome);

// Called on the save's thread (the counting calls on the counting thread).
class SaveProgressView {
public:
    virtual ~SaveProgressView() = default;
    // "Calculating File Size": shown while the counting worker runs.
    virtual void CountingStarted() {}
    virtual void CountingProgress(std::uint32_t totalFiles) { (void)totalFiles; }  // "Total Files :"
    virtual void CountingFinished() {}
    // A file passed the filters; the figures before its copy.
    virtual void FileStarted(const FileFigures& figures) { (void)figures; }
    // " Recovered Current File :" after each sector (written / byteCount).
    virtual void SectorWritten(std::uint64_t written, std::uint64_t byteCount) { (void)written; (void)byteCount; }
    // "Time Remaining :" and "Time Elapsed :" after each whole block, in
    // seconds: the remaining time at the job's rate so far.
    virtual void TimeFigures(std::int64_t remainingSeconds, std::int64_t elapsedSeconds) {
        (void)remainingSeconds;
        (void)elapsedSeconds;
    }
    // A file that a filter removed (no counter changes, nothing shown).
    virtual void FileFiltered(const std::string& folderPath, const std::string& name) {
        (void)folderPath;
        (void)name;
    }
    // A started file is done. `target` is the path written (or meant);
    // `written` the bytes copied for it (none of them stay when the outcome
    // keeps nothing, see FileKept).
    virtual void FileEnded(const std::string& target, FileOutcome outcome, std::uint64_t written,
                           std::uint64_t byteCount) {
        (void)target;
        (void)outcome;
        (void)written;
        (void)byteCount;
    }
    // A file that ended Written, Short, Abandoned or ChecksumError and is
    // damaged (called before FileEnded).
    virtual void FileDamaged(const DamagedFile& file) { (void)file; }
    // An entry is saved under another name (for a file after its
    // FileStarted, for a folder before the folder is made).
    virtual void EntryRenamed(const RenamedEntry& entry) { (void)entry; }
    // The worker is done: the "Saving" dialog closes.
    virtual void JobFinished() {}
};

enum class ReplaceAnswer { Yes, No, YesToAll, NoToAll };  // closing the box = No
enum class WriteErrorAnswer { Abort, Skip };             // closing the box = Skip

// The modal questions and messages of a save; each blocks the save's
// thread until the user has answered or dismissed it.
class SavePrompts {
public:
    virtual ~SavePrompts() = default;
    virtual ReplaceAnswer ConfirmReplace(const std::string& target) = 0;
    virtual WriteErrorAnswer WriteError(const std::string& target, const std::string& reason) = 0;
    // An error message with only an OK button ("Compress File CheckSum Error").
    virtual void ShowError(const std::string& text) { (void)text; }
};

// Prompts that keep existing files (No) and skip files that cannot be written.
class KeepingPrompts : public SavePrompts {
public:
    ReplaceAnswer ConfirmReplace(const std::string&) override { return ReplaceAnswer::No; }
    WriteErrorAnswer WriteError(const std::string&, const std::string&) override { return WriteErrorAnswer::Skip; }
};

// Where a save writes its lines for the activity report (the session's
// report file implements it). Callers write their own CR LF.
class ActivityReport {
public:
    virtual ~ActivityReport() = default;
    virtual bool Append(const std::string& text) = 0;
};

// ---- fixed texts ------------------------------------------------------------------
inline constexpr const char* kInvalidPathText = "Inavlid Path";
inline constexpr const char* kNoFolderSelectedText = "No folder selected, select folders from left window";
inline constexpr const char* kChecksumErrorText = "Compress File CheckSum Error";
inline constexpr const char* kUnableToCreateDirectoryText = "Unable to Create Directory";
inline constexpr const char* kUnableToOpenFileText = "Unable to open file";
inline constexpr const char* kReplaceQuestionText = "The File Already Exists. Do you want to replace the existing file.";
inline constexpr const char* kWriteErrorTitle = "Error Writing Destination";
inline constexpr const char* kWriteErrorText =
    "    Error copying current file :                                                                    "
    "There may be bad sectors or not enough space in destination. Check if the destination is not write "
    "protected.";
inline constexpr const char* kCountingText = "Calculating File Size. Please Wait...";
inline constexpr const char* kTerminateCountingQuestion = "Do you want to terminate this process?";

}  // namespace recovery
