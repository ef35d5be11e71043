// Shared pieces of the command-line program: the command table, the parsed
// global options, and the steps most commands share (choose a disk, search
// its volumes, mount one). Every command makes one CommandSession and hands
// it to the steps; the steps call the workflow.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/Terminal.h"
#include "disk/DiskCatalogue.h"
#include "workflow/Notice.h"
#include "workflow/Session.h"
#include "workflow/SettingsStore.h"

namespace cli {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitNothingFound = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitDamaged = 3;  // some files or documents damaged or not written

enum class BadSectorMode { Default, Ask, RetryAll, SkipAll };

struct GlobalOptions {
    std::vector<disk::DiskSource> images;
    BadSectorMode badSectors = BadSectorMode::Default;
};

struct Invocation {
    GlobalOptions global;
    std::string command;
    std::vector<std::string> args;  // what follows the command name
};

using CommandFn = int (*)(const Invocation&);

struct Command {
    const char* name;
    const char* usage;    // options after the command name
    const char* summary;  // one line for --help
    CommandFn run;
};

// The command table, in the order of --help; each command file defines its entry.
const std::vector<Command>& Commands();
extern const Command kCatCommand;
extern const Command kDirlistCommand;
extern const Command kDisksCommand;
extern const Command kLogCommand;
extern const Command kLsCommand;
extern const Command kMarkCompressedCommand;
extern const Command kRawCommand;
extern const Command kSaveCommand;
extern const Command kVolumesCommand;

// Prints "tarvine-cli: <text>" to stderr.
void Error(const std::string& text);
void Note(const std::string& text);
// A flow's notice, as the window's message box would say it: the text alone on stderr.
void ShowNotice(const workflow::Notice& notice);
bool StderrIsTerminal();
// Flushes stdout; when anything written to it was lost (a full disk, a
// closed pipe) says so as "<command>: writing to the output failed" and
// returns false.
bool OutputWritten(const std::string& command);
// A name or path as one tab-separated field: tab, newline, carriage return
// and the other control characters become \t, \n, \r or \xHH, a
// backslash becomes \\ (so a record stays one line and nothing reaches
// the terminal raw); everything else is kept byte for byte.
std::string Field(const std::string& text);
bool StdinIsTerminal();

// ---- Ctrl-C (cli/main.cpp) ---------------------------------------------------------

// Forgets earlier Ctrl-C presses and installs the handler: the next press
// asks the running work to stop, the one after ends the program.
void ArmInterrupt();
// Runs `work` on a worker; a Ctrl-C meanwhile calls `onInterrupt` once, on
// this thread. Returns when the work has ended.
void RunWatched(const std::function<void()>& work, const std::function<void()>& onInterrupt);

// A small option reader for a command's arguments.
class ArgReader {
public:
    ArgReader(const std::string& command, const std::vector<std::string>& args) : command_(command), args_(args) {}
    bool Done() const { return pos_ >= args_.size(); }
    const std::string& Peek() const { return args_[pos_]; }
    std::string Take() { return args_[pos_++]; }
    // Takes the value after an option; false (with a message) when missing.
    bool Value(const std::string& option, std::string& out);
    // Parses a decimal number; false with a message when it is not one.
    bool Number(const std::string& option, const std::string& text, std::uint64_t& out);
    void Unknown(const std::string& arg) const;

private:
    std::string command_;
    const std::vector<std::string>& args_;
    std::size_t pos_ = 0;
};

// True when day-month-year names a day of the calendar (the 29th of February
// in leap years only); otherwise says "<option>: DD-MM-YYYY is not a date
// (<month> <year> has N days)" and returns false.
bool CheckCalendarDate(const std::string& option, unsigned day, unsigned month, unsigned year);

// ---- the session of one command -------------------------------------------------

// The recovery session of one command with its terminal: an in-memory
// settings store, the progress line and the bad-sector question as the
// options ask for it.
class CommandSession {
public:
    explicit CommandSession(const GlobalOptions& options);
    ~CommandSession();
    CommandSession(const CommandSession&) = delete;
    CommandSession& operator=(const CommandSession&) = delete;

    const GlobalOptions& global;
    workflow::MemorySettingsStore store;
    workflow::Session session{store};
    ProgressLine line;

private:
    TerminalBadSectorPrompt badSectorPrompt_{line};
};

// ---- steps ---------------------------------------------------------------------

// Lists the disks (the images when named) into the session. Prints a message
// and returns false when an image or mapfile cannot be used.
bool PrepareDisks(CommandSession& cs);

// Prepares the disks and selects disk `number`. Returns an exit status
// (kExitOk when the disk is selected and can be opened).
int SelectDisk(CommandSession& cs, unsigned number);

// Runs the quick or the advanced search on the selected disk. Returns an
// exit status: kExitNothingFound (after the search's message) when no volume
// was found.
int SearchVolumes(CommandSession& cs, bool advanced);

// Mounts volume `index` of the last search with the FAT choice (0: ask or
// take FAT1). Returns an exit status.
int MountVolume(CommandSession& cs, unsigned index, int fatChoice);

// Options shared by the volume commands.
struct VolumeOptions {
    unsigned disk = 0;
    bool advanced = false;
    bool haveVolume = false;
    unsigned volume = 0;
    int fat = 0;
    bool haveDisk = false;
    std::string logPath;  // --log: start from a stored recovery log
    std::uint8_t nameSpace = 0xFF;  // --name-space: the names shown and saved (0xFF: LONG, NT, MAC, NFS, DOS)
};
// Takes --disk, --advanced, --volume, --fat and --log if `arg` is one of them.
// Returns 1 when taken, 0 when not one of them, -1 on a bad value.
int TakeVolumeOption(ArgReader& reader, const std::string& arg, VolumeOptions& options);
// Select, search and mount as the options say. Returns an exit status.
int OpenVolume(CommandSession& cs, const VolumeOptions& options);
// With --log: selects the log's disk (or --disk), takes the stored volume
// list and, when `mounted`, the stored mounted volume (CmdLog.cpp).
int OpenFromLog(CommandSession& cs, const VolumeOptions& options, bool mounted);

}  // namespace cli
