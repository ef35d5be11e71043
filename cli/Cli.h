// Shared pieces of the command-line program: the command table, the parsed
// global options, and the steps most commands share (choose a disk, search
// its volumes, mount one). Every command makes one CommandSession and hands
// it to the steps; the steps call the workflow.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/Options.h"
#include "cli/Terminal.h"
#include "disk/DiskCatalogue.h"
#include "netware/TimeZone.h"
#include "workflow/Notice.h"
#include "workflow/Session.h"
#include "workflow/SettingsStore.h"

namespace cli {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitNothingFound = 1;
// Bad arguments, unreadable input, a refused log, output that could not be written.
constexpr int kExitBadInput = 2;
// Something that exists could not be read, saved, written or marked.
constexpr int kExitDamaged = 3;
constexpr int kExitStopped = 130;  // stopped by the user (the shell's status for SIGINT)

// The status of a command that met both outcomes: the first of 2, 130, 3, 1
// that applies, else 0.
int CombineStatus(int a, int b);

enum class BadSectorMode { Default, Ask, RetryAll, SkipAll };

struct GlobalOptions {
    std::vector<disk::DiskSource> images;
    BadSectorMode badSectors = BadSectorMode::Default;
    // --timezone: the zone the server's local dates are read in (default: the machine's).
    nw::TimeZone zone;
    // For the tests (TARVINE_CLI_STOP_AFTER_STEPS): the step of progress at
    // which the command acts as if Ctrl-C was pressed; 0: never.
    std::uint64_t stopAfterSteps = 0;
};

struct Invocation {
    GlobalOptions global;
    std::string command;
    std::vector<std::string> args;  // what follows the command name
    Args parsed;                    // `args` as the command's option rows took them
    std::vector<std::string> commandLine;  // the program's arguments as given, its name first
};

using CommandFn = int (*)(const Invocation&);

struct Command {
    const char* name;
    const char* operands;  // the operands after the options in the usage line ("[FOLDER]")
    std::size_t maxOperands;
    std::vector<OptionRow> options;  // the command's rows, in the order of its usage line
    const char* summary;             // one line for --help
    CommandFn run;
    bool emptyOperand = false;  // an empty word is an operand (the root folder)
};

// The command table, in the order of --help; each command file defines its entry.
const std::vector<Command>& Commands();
extern const Command kCatCommand;
extern const Command kDirlistCommand;
extern const Command kDisksCommand;
extern const Command kLogCommand;
extern const Command kLsCommand;
extern const Command kMarkCompressedCommand;
extern const Command kMountCommand;
extern const Command kRawCommand;
extern const Command kSaveCommand;
extern const Command kVolumesCommand;
extern const Command kVerifyCommand;

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
// A name, a path as typed or a message for stderr: control characters
// escaped as in Field, backslashes kept single (every \\ of a typed path
// is a separator).
std::string Shown(const std::string& text);
// Shown for each line of a text of several lines.
std::string ShownLines(const std::string& text);
bool StdinIsTerminal();

// ---- Ctrl-C (cli/main.cpp) ---------------------------------------------------------

// Installs the handler unless Ctrl-C was pressed already: the first press
// asks the running work to stop, the one after ends the program. A press
// between two steps is kept, so the next watched work stops at once.
void ArmInterrupt();
// Whether Ctrl-C was pressed during this command.
bool InterruptRequested();
// Sends this program the SIGINT that Ctrl-C sends and, on a watched
// worker, waits until the watcher has passed it on (the test stop point).
void InterruptAsTheUserWould();
// Runs `work` on a worker; a Ctrl-C meanwhile calls `onInterrupt` once, on
// this thread. Returns when the work has ended.
void RunWatched(const std::function<void()>& work, const std::function<void()>& onInterrupt);

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
    // kExitDamaged once the mounted volume's directory could not be read in
    // full (the command still shows or saves what it could): the command
    // combines it into its own status.
    int treeStatus = kExitOk;

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
// With `range`, the advanced search scans only those sectors [first, end).
// A partition note (an NSS pool, only other file systems) follows the
// search's own message on stderr.
int SearchVolumes(CommandSession& cs, bool advanced, std::uint64_t first = 0, std::uint64_t end = 0);
// The sectors of partition `number` of the selected disk, for --partition:
// false after a message when there is no such partition.
bool PartitionSectors(CommandSession& cs, unsigned number, std::uint64_t& first, std::uint64_t& end);

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
// Reads the volume options the command's rows took. False after a message
// when a value is not a number or out of its range.
bool ReadVolumeOptions(const Invocation& inv, VolumeOptions& options);
// Reads --forks, --links and --owners (of the commands that write or show
// what a save writes) into `extras`, whose zone stays. False after a message
// when a value is not one of the choices.
bool ReadExtrasOptions(const Args& args, recovery::ExtrasSettings& extras);
// Select, search and mount as the options say. Returns an exit status.
int OpenVolume(CommandSession& cs, const VolumeOptions& options);
// With --log: selects the log's disk (or --disk), takes the stored volume
// list and, when `mounted`, the stored mounted volume (CmdLog.cpp).
int OpenFromLog(CommandSession& cs, const VolumeOptions& options, bool mounted);

}  // namespace cli
