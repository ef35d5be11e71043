// tarvine-cli: finds NetWare volumes on disks or disk images, lists their
// folders and reads their files, from the command line.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>
#include <optional>
#include <thread>

#include "cli/Cli.h"
#include "disk/LibraryVersions.h"
#include "workflow/Worker.h"

namespace {

// The options that come before (or anywhere around) the command.
const std::vector<cli::OptionRow>& GlobalRows() {
    static const std::vector<cli::OptionRow> kRows = {
        {"--image", "FILE",
         "use this disk image (or block device) instead of the machine's disks; repeat for several, numbered "
         "from 0. Raw images (whole, or the first piece of a split set NAME.001 or NAME.aa), E01 sets, VMDK, "
         "VHD, VHDX and QCOW2 images are recognised by their content"},
        {"--badmap", "MAPFILE",
         "GNU ddrescue mapfile of the raw image named just before; its unfinished areas read as bad sectors"},
        {"--bad-sectors", "MODE",
         "what to do about a sector that cannot be read: ask (on a terminal), retry-all or skip-all; "
         "unreadable sectors read as zeros either way. Default: ask on a terminal, retry-all otherwise"},
        {"--timezone", "ZONE",
         "the time zone of the server whose disk is read, a TZ database name such as Europe/Berlin or UTC "
         "(default: this machine's zone). NetWare keeps its dates as local time without a zone; they become "
         "absolute times in this zone wherever they are written as such (saved files' times, bodyfile times)"},
        {"--help", nullptr, "this text"},
        {"--version", nullptr, "the program's name and version"},
    };
    return kRows;
}

// "  --name VALUE   help", the help folded to the width of a terminal.
void PrintRows(const std::vector<cli::OptionRow>& rows, const std::string& indent) {
    constexpr std::size_t kWidth = 79, kColumn = 24;
    for (const cli::OptionRow& row : rows) {
        std::string head = indent + row.name + (row.value ? std::string(" ") + row.value : std::string());
        std::string line = head.size() + 2 > kColumn ? head + "\n" + std::string(kColumn, ' ')
                                                       : head + std::string(kColumn - head.size(), ' ');
        std::size_t width = line.size() - line.rfind('\n') - 1;
        std::string word;
        const std::string help = std::string(row.help) + ' ';
        for (char c : help) {
            if (c != ' ') {
                word += c;
                continue;
            }
            if (width + word.size() > kWidth && width > kColumn) {
                line += "\n" + std::string(kColumn, ' ');
                width = kColumn;
            }
            if (width > kColumn) {
                line += ' ';
                ++width;
            }
            line += word;
            width += word.size();
            word.clear();
        }
        std::cout << line << '\n';
    }
}

void PrintHelp() {
    std::cout << "Usage: tarvine-cli [--image FILE [--badmap MAPFILE]]... [--bad-sectors MODE] [--timezone ZONE] COMMAND [options]\n"
                 "\n"
                 "Finds Novell NetWare volumes on a disk and reads their folders and files.\n"
                 "The disk is never written, except by 'mark-compressed --write'.\n"
                 "\n"
                 "Global options:\n";
    PrintRows(GlobalRows(), "  ");
    std::cout << "\nCommands:\n";
    const std::vector<cli::OptionRow>& volumeRows = cli::VolumeRows();
    for (const auto& c : cli::Commands()) {
        std::string usage = cli::UsageOf(c.options);
        if (*c.operands) usage += std::string(usage.empty() ? "" : " ") + c.operands;
        std::cout << "  " << c.name << (usage.empty() ? "" : " ") << usage << "\n      " << c.summary << '\n';
        // The command's own options; the shared volume options follow once below.
        std::vector<cli::OptionRow> own;
        for (const cli::OptionRow& row : c.options) {
            bool shared = false;
            for (const cli::OptionRow& v : volumeRows) shared = shared || std::string(v.name) == row.name;
            if (!shared) own.push_back(row);
        }
        PrintRows(own, "      ");
    }
    std::cout << "\nOptions of the volume commands:\n";
    PrintRows(volumeRows, "  ");
    std::cout <<
        "\n"
        "Output is tab-separated, one record a line; messages go to stderr. In names and\n"
        "paths a backslash within a name is written \\\\, a tab \\t, a newline \\n, a\n"
        "carriage return \\r and any other control character \\xHH (ESC is \\x1B);\n"
        "the \\ between the components of a path stays single. Bytes 0x80 to 0x9F that\n"
        "are not part of valid UTF-8, and C1 controls in UTF-8, are written \\xHH too;\n"
        "other UTF-8 is kept. Messages escape names and typed paths the same way.\n"
        "\n"
        "Exit statuses:\n"
        "  0    success\n"
        "  1    nothing found\n"
        "  2    bad arguments, unreadable input, a refused log, or output that could\n"
        "       not be written\n"
        "  3    something that exists could not be read, saved, written or marked\n"
        "       (damaged or failed files, documents not written whole, entries not marked)\n"
        "  130  stopped by the user (Ctrl-C)\n"
        "Where several apply, the first of 2, 130, 3, 1 is the status.\n";
}

constexpr auto kInterruptPoll = std::chrono::milliseconds(20);

// Set by the SIGINT handler, read by RunWatched: the one thing a signal
// handler may touch.
std::atomic<bool> gInterrupted{false};
// Set while RunWatched watches a worker, and once it has passed a press on.
std::atomic<bool> gWatching{false};
std::atomic<bool> gForwarded{false};

void OnInterrupt(int) {
    // The first Ctrl-C stops the running work; a second one ends the program.
    gInterrupted.store(true);
    std::signal(SIGINT, SIG_DFL);
}

}  // namespace

namespace cli {

void ArmInterrupt() {
    // A press already seen is kept: the work about to start stops at once,
    // and the next press still ends the program.
    if (!gInterrupted.load()) std::signal(SIGINT, OnInterrupt);
}

bool InterruptRequested() { return gInterrupted.load(); }

void InterruptAsTheUserWould() {
    std::raise(SIGINT);
    // A worker waits until the watcher has passed the press on, so that the
    // work's own stop flag is set when it next looks.
    while (gWatching.load() && !gForwarded.load()) std::this_thread::yield();
}

void RunWatched(const std::function<void()>& work, const std::function<void()>& onInterrupt) {
    workflow::Worker worker;
    // What the work throws (running out of memory) ends the command on this
    // thread, where main() says so, instead of ending the program.
    std::exception_ptr thrown;
    gForwarded.store(false);
    gWatching.store(true);
    if (!worker.Start([&] {
            try {
                work();
            } catch (...) {
                thrown = std::current_exception();
            }
        })) {
        gWatching.store(false);
        return;
    }
    bool forwarded = false;
    while (worker.Running()) {
        if (!forwarded && gInterrupted.load()) {
            onInterrupt();
            forwarded = true;
            gForwarded.store(true);
        }
        std::this_thread::sleep_for(kInterruptPoll);
    }
    worker.Join();
    gWatching.store(false);
    if (thrown) std::rethrow_exception(thrown);
}

}  // namespace cli

int main(int argc, char** argv) {
    cli::Invocation inv;
    // For the tests: the Nth step of progress acts as a Ctrl-C pressed there.
    if (const char* steps = std::getenv("TARVINE_CLI_STOP_AFTER_STEPS"))
        inv.global.stopAfterSteps = std::strtoull(steps, nullptr, 10);
    inv.global.zone = nw::TimeZone::Machine(std::getenv("TZ"));
    for (int i = 0; i < argc; ++i) inv.commandLine.emplace_back(argv[i]);
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const cli::OptionRow* global = nullptr;
        for (const cli::OptionRow& row : GlobalRows())
            if (a == row.name || (a == "-h" && std::string(row.name) == "--help")) global = &row;
        if (!global) {
            if (inv.command.empty() && !a.empty() && a[0] != '-') {
                inv.command = a;
            } else if (inv.command.empty()) {
                cli::Error("unknown option '" + a + "' (see tarvine-cli --help)");
                return cli::kExitBadInput;
            } else {
                inv.args.push_back(a);
            }
            continue;
        }
        const std::string name = global->name;
        std::string value;
        if (global->value) {
            if (i + 1 >= argc) {
                cli::Error(a + " needs a value");
                return cli::kExitBadInput;
            }
            value = argv[++i];
        }
        if (name == "--help") {
            PrintHelp();
            return cli::kExitOk;
        } else if (name == "--version") {
            std::cout << "tarvine-cli " << TARVINE_VERSION << '\n';
            for (const auto& [library, version] : disk::ContainerLibraryVersions())
                std::cout << library << ' ' << version << '\n';
            return cli::kExitOk;
        } else if (name == "--image") {
            disk::DiskSource src;
            src.path = value;
            inv.global.images.push_back(src);
        } else if (name == "--badmap") {
            if (inv.global.images.empty()) {
                cli::Error("--badmap must follow the --image it belongs to");
                return cli::kExitBadInput;
            }
            inv.global.images.back().mapfilePath = value;
        } else if (name == "--timezone") {
            std::optional<nw::TimeZone> zone = nw::TimeZone::Load(value);
            if (!zone) {
                cli::Error("--timezone: unknown time zone '" + cli::Shown(value) +
                           "' (a TZ database name such as Europe/Berlin or UTC)");
                return cli::kExitBadInput;
            }
            inv.global.zone = *zone;
        } else if (name == "--bad-sectors") {
            if (value == "ask") inv.global.badSectors = cli::BadSectorMode::Ask;
            else if (value == "retry-all") inv.global.badSectors = cli::BadSectorMode::RetryAll;
            else if (value == "skip-all") inv.global.badSectors = cli::BadSectorMode::SkipAll;
            else {
                cli::Error("--bad-sectors must be ask, retry-all or skip-all");
                return cli::kExitBadInput;
            }
        }
    }
    if (inv.command.empty()) {
        cli::Error("no command given (see tarvine-cli --help)");
        return cli::kExitBadInput;
    }
    for (const auto& c : cli::Commands()) {
        if (inv.command == c.name) {
            if (!cli::ParseArgs(inv.command, c.options, c.maxOperands, c.emptyOperand, inv.args, inv.parsed))
                return cli::kExitBadInput;
            cli::ArmInterrupt();
            try {
                const int status = c.run(inv);
                std::cout.flush();
                return status;
            } catch (const std::bad_alloc&) {
                // A volume too large for this machine's memory ends the
                // command with a message, not a crash.
                std::cout.flush();
                cli::Error(inv.command + ": not enough memory");
                return cli::kExitBadInput;
            }
        }
    }
    cli::Error("unknown command '" + inv.command + "' (see tarvine-cli --help)");
    return cli::kExitBadInput;
}
