// Shared pieces of the command-line program: the command table, the parsed
// global options, and the steps most commands share (choose a disk, search
// its volumes, mount one).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disk/DiskCatalogue.h"

namespace cli {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitNothingFound = 1;
constexpr int kExitBadInput = 2;

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

// Each command file registers itself with a static Register object.
struct Register {
    explicit Register(const Command& command);
};
const std::vector<Command>& Commands();

// Prints "tarvine-cli: <text>" to stderr.
void Error(const std::string& text);
void Note(const std::string& text);
bool StderrIsTerminal();
bool StdinIsTerminal();

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

// ---- steps ---------------------------------------------------------------------

// Installs the terminal controls, the message sink and the prompts.
void InstallTerminal(const GlobalOptions& options);
// The answer to "Select FAT to use" given on the command line (1 or 2; 0:
// ask on a terminal, else take FAT1 with a note).
void SetFatChoice(int fat);
// Clears the progress line before ordinary output.
void FinishProgressLine();

// Lists the disks (the images when named) into the geometry store and the
// disk tree. Prints a message and returns false when an image or mapfile
// cannot be used.
bool PrepareDisks(const GlobalOptions& options, std::vector<disk::DiskInfo>& disks);

// Prepares the disks and selects disk `number`. Returns an exit status
// (kExitOk when the disk is selected and can be opened).
int SelectDisk(const GlobalOptions& options, unsigned number);

// Runs the quick or the advanced search on the selected disk. Returns an
// exit status: kExitNothingFound (after the search's message) when no volume
// was found.
int SearchVolumes(bool advanced);

// Mounts volume `index` of the last search with the FAT choice (0: ask or
// take FAT1). Returns an exit status.
int MountVolume(unsigned index, int fatChoice);

// Options shared by ls and cat.
struct VolumeOptions {
    unsigned disk = 0;
    bool advanced = false;
    bool haveVolume = false;
    unsigned volume = 0;
    int fat = 0;
    bool haveDisk = false;
    std::string logPath;  // --log: start from a stored recovery log
};
// Takes --disk, --advanced, --volume, --fat and --log if `arg` is one of them.
// Returns 1 when taken, 0 when not one of them, -1 on a bad value.
int TakeVolumeOption(ArgReader& reader, const std::string& arg, VolumeOptions& options);
// Select, search and mount as the options say. Returns an exit status.
int OpenVolume(const GlobalOptions& global, const VolumeOptions& options);
// With --log: selects the log's disk (or --disk), takes the stored volume
// list and, when `mounted`, the stored mounted volume (CmdLog.cpp).
int OpenFromLog(const GlobalOptions& global, const VolumeOptions& options, bool mounted);

}  // namespace cli
