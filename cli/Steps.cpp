// The steps most commands share: list the disks, select one, search its
// volumes, mount one.
#include <iostream>

#include "cli/Cli.h"
#include "netware/NameSpaces.h"
#include "workflow/Disks.h"
#include "workflow/Search.h"
#include "workflow/Volume.h"

namespace cli {

const std::vector<Command>& Commands() {
    static const std::vector<Command> kCommands = {
        kCatCommand, kDirlistCommand,        kDisksCommand, kLogCommand,    kLsCommand,
        kMarkCompressedCommand, kRawCommand, kSaveCommand,  kVolumesCommand,
    };
    return kCommands;
}

bool ArgReader::Value(const std::string& option, std::string& out) {
    if (Done()) {
        Error(command_ + ": " + option + " needs a value");
        return false;
    }
    out = Take();
    return true;
}

bool ArgReader::Number(const std::string& option, const std::string& text, std::uint64_t& out) {
    out = 0;
    if (text.empty() || text.size() > 18) {
        Error(command_ + ": " + option + " needs a number, not '" + text + "'");
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            Error(command_ + ": " + option + " needs a number, not '" + text + "'");
            return false;
        }
        out = out * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

void ArgReader::Unknown(const std::string& arg) const {
    Error(command_ + ": unknown argument '" + arg + "' (see tarvine-cli --help)");
}

bool CheckCalendarDate(const std::string& option, unsigned day, unsigned month, unsigned year) {
    static const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                          "July",    "August",   "September", "October", "November", "December"};
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) {
        Error(option + ": there is no month " + std::to_string(month));
        return false;
    }
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const unsigned days = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    if (day >= 1 && day <= days) return true;
    auto two = [](unsigned v) { return (v < 10 ? "0" : "") + std::to_string(v); };
    Error(option + ": " + two(day) + "-" + two(month) + "-" + std::to_string(year) + " is not a date (" +
          kMonths[month - 1] + " " + std::to_string(year) + " has " + std::to_string(days) + " days)");
    return false;
}

// ---- the session of one command -------------------------------------------------

CommandSession::CommandSession(const GlobalOptions& options) : global(options) {
    BadSectorMode mode = options.badSectors;
    if (mode == BadSectorMode::Default) mode = StdinIsTerminal() ? BadSectorMode::Ask : BadSectorMode::RetryAll;
    disk::BadSectorPolicy& policy = session.policy;
    switch (mode) {
        case BadSectorMode::RetryAll: policy.BadSectorDecision = disk::kRetryAll; break;
        case BadSectorMode::SkipAll: policy.BadSectorDecision = disk::kSkipAll; break;
        default:
            policy.BadSectorDecision = disk::kRetry;
            policy.SetPrompt(&badSectorPrompt_);
            break;
    }
}

CommandSession::~CommandSession() { session.policy.SetPrompt(nullptr); }

// ---- steps ---------------------------------------------------------------------

bool PrepareDisks(CommandSession& cs) {
    for (const auto& src : cs.global.images) {
        const std::string reason = workflow::ImageOpenFailure(src.path);
        if (!reason.empty()) {
            Error("cannot open image " + src.path + ": " + reason);
            return false;
        }
    }
    std::string error;
    if (!workflow::AttachDisks(cs.session, cs.global.images, &error)) {
        Error(error);
        return false;
    }
    return true;
}

int SelectDisk(CommandSession& cs, unsigned number) {
    if (!PrepareDisks(cs)) return kExitBadInput;
    std::string error;
    if (!workflow::SelectDisk(cs.session, number, &error)) {
        Error(error);
        return kExitBadInput;
    }
    const std::string reason = workflow::DiskOpenFailure(cs.session, number);
    if (!reason.empty()) {
        Error(nw::UnableToOpenDiskText(reason));
        return kExitBadInput;
    }
    return kExitOk;
}

int SearchVolumes(CommandSession& cs, bool advanced) {
    workflow::Session& session = cs.session;
    TerminalSearchReport report(cs.line);
    workflow::SearchOutcome outcome;
    if (!advanced) {
        workflow::BeginMode(session, workflow::kModeQuick);
        outcome = workflow::RunQuickSearch(session, report);
        cs.line.Finish();
        if (outcome.notice) ShowNotice(*outcome.notice);
        if (!outcome.diskOpened) return kExitBadInput;
        return outcome.Found() ? kExitOk : kExitNothingFound;
    }
    workflow::BeginMode(session, workflow::kModeAdvanced);
    session.cancel = false;
    ArmInterrupt();
    RunWatched([&] { outcome = workflow::RunAdvancedSearch(session, report, session.cancel); },
               [&] { session.cancel = true; });
    cs.line.Finish();
    if (outcome.notice) ShowNotice(*outcome.notice);
    if (!outcome.remark.empty()) Note(outcome.remark);
    return outcome.Found() ? kExitOk : kExitNothingFound;
}

int MountVolume(CommandSession& cs, unsigned index, int fatChoice) {
    workflow::Session& session = cs.session;
    if (!workflow::ChooseVolume(session, index)) {
        const std::uint32_t count = session.found.volumeCount.load();
        Error("there is no volume " + std::to_string(index) + " (" + std::to_string(count) + " found)");
        return kExitBadInput;
    }
    TerminalMountReport report(cs.line, fatChoice);
    const workflow::MountOutcome outcome = workflow::MountChosenVolume(session, report);
    cs.line.Finish();
    if (outcome.notice) ShowNotice(*outcome.notice);
    // A mount that ran out of memory ends the command as it always has.
    return outcome.mounted ? kExitOk : kExitNothingFound;
}

int TakeVolumeOption(ArgReader& reader, const std::string& arg, VolumeOptions& options) {
    std::string value;
    std::uint64_t n = 0;
    if (arg == "--advanced") {
        options.advanced = true;
        return 1;
    }
    if (arg == "--log") return reader.Value(arg, options.logPath) ? 1 : -1;
    if (arg == "--name-space") {
        if (!reader.Value(arg, value)) return -1;
        options.nameSpace = nw::NameSpaceFromText(value);
        if (options.nameSpace == nw::kDefaultNameSpace) Error("--name-space must be dos, long, mac, nfs or nt");
        return options.nameSpace == nw::kDefaultNameSpace ? -1 : 1;
    }
    if (arg == "--disk" || arg == "--volume" || arg == "--fat") {
        if (!reader.Value(arg, value) || !reader.Number(arg, value, n)) return -1;
        if (arg == "--disk") {
            if (n > 25) {
                Error("--disk must be 0 to 25");
                return -1;
            }
            options.disk = static_cast<unsigned>(n);
            options.haveDisk = true;
        } else if (arg == "--volume") {
            if (n >= nw::kVolumeListCapacity) {
                Error("--volume must be below " + std::to_string(nw::kVolumeListCapacity));
                return -1;
            }
            options.volume = static_cast<unsigned>(n);
            options.haveVolume = true;
        } else {
            if (n != 1 && n != 2) {
                Error("--fat must be 1 or 2");
                return -1;
            }
            options.fat = static_cast<int>(n);
        }
        return 1;
    }
    return 0;
}

int OpenVolume(CommandSession& cs, const VolumeOptions& options) {
    if (!options.logPath.empty()) return OpenFromLog(cs, options, true);
    if (!options.haveVolume) {
        Error("--volume is required");
        return kExitBadInput;
    }
    if (int r = SelectDisk(cs, options.disk); r != kExitOk) return r;
    if (int r = SearchVolumes(cs, options.advanced); r != kExitOk) return r;
    cs.session.mounted.preferredNameSpace = options.nameSpace;
    return MountVolume(cs, options.volume, options.fat);
}

}  // namespace cli
