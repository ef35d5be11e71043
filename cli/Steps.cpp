// The steps most commands share: list the disks, select one, search its
// volumes, mount one.
#include <iostream>

#include "cli/Cli.h"
#include "netware/NameSpaces.h"
#include "workflow/Disks.h"
#include "workflow/Partitions.h"
#include "workflow/Search.h"
#include "workflow/Volume.h"

namespace cli {

const std::vector<Command>& Commands() {
    static const std::vector<Command> kCommands = {
        kCatCommand, kDirlistCommand,        kDisksCommand, kLogCommand,    kLsCommand,
        kMarkCompressedCommand, kMountCommand, kRawCommand, kSaveCommand,  kVolumesCommand,
        kVerifyCommand,
    };
    return kCommands;
}

int CombineStatus(int a, int b) {
    auto rank = [](int status) {
        switch (status) {
            case kExitOk: return 0;
            case kExitNothingFound: return 1;
            case kExitDamaged: return 2;
            case kExitStopped: return 3;
            default: return 4;  // kExitBadInput and anything unforeseen
        }
    };
    return rank(a) >= rank(b) ? a : b;
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
    session.saveSettings.extras.zone = options.zone;
    line.StopAfterSteps(options.stopAfterSteps);
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
    // A named image that could not be opened as a disk (a split set whose
    // pieces break it, a damaged container) is no disk of zero bytes.
    if (!cs.global.images.empty())
        for (const disk::DiskInfo& d : cs.session.diskList)
            if (const std::shared_ptr<disk::Disk> attached = cs.session.disks.At(d.number);
                attached && !attached->IsOpen() && !attached->OpenFailureReason().empty()) {
                Error("cannot open image " + d.path + ": " + attached->OpenFailureReason());
                return false;
            }
    // What the user must know about a disk as attached (pieces missing from a split image).
    for (const disk::DiskInfo& d : cs.session.diskList)
        if (const std::shared_ptr<disk::Disk> attached = cs.session.disks.At(d.number))
            if (const std::string remark = attached->Remark(); !remark.empty()) Note(remark);
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

bool PartitionSectors(CommandSession& cs, unsigned number, std::uint64_t& first, std::uint64_t& end) {
    std::string error;
    const auto range = workflow::PartitionRange(cs.session, cs.session.selectedDiskNumber, number, &error);
    if (!range) {
        Error(error);
        return false;
    }
    first = range->first;
    end = range->end;
    return true;
}

int SearchVolumes(CommandSession& cs, bool advanced, std::uint64_t first, std::uint64_t end) {
    workflow::Session& session = cs.session;
    TerminalSearchReport report(cs.line, advanced);
    workflow::SearchOutcome outcome;
    if (!advanced) {
        workflow::BeginMode(session, workflow::kModeQuick);
        session.cancel = false;
        ArmInterrupt();
        RunWatched([&] { outcome = workflow::RunQuickSearch(session, report, &session.cancel); },
                   [&] { session.cancel = true; });
        cs.line.Finish();
        if (outcome.stopped) {
            Note("stopped: the quick search had found " + std::to_string(outcome.volumeCount) +
                 (outcome.volumeCount == 1 ? " volume" : " volumes") + " when it was stopped");
            return kExitStopped;
        }
        if (outcome.notice) ShowNotice(*outcome.notice);
        if (!outcome.partitionNote.empty()) ShowNotice(workflow::InformationNotice(outcome.partitionNote));
        if (!outcome.diskOpened) return kExitBadInput;
        return outcome.Found() ? kExitOk : kExitNothingFound;
    }
    workflow::BeginMode(session, workflow::kModeAdvanced);
    session.cancel = false;
    ArmInterrupt();
    RunWatched(
        [&] {
            outcome = end > first ? workflow::RunAdvancedSearch(session, report, session.cancel, first, end)
                                  : workflow::RunAdvancedSearch(session, report, session.cancel);
        },
               [&] { session.cancel = true; });
    cs.line.Finish();
    if (outcome.stopped) {
        Note("stopped: the advanced search had found " + std::to_string(outcome.volumeCount) +
             (outcome.volumeCount == 1 ? " volume" : " volumes") + " when it was stopped");
        return kExitStopped;
    }
    if (outcome.notice) ShowNotice(*outcome.notice);
    if (!outcome.remark.empty()) Note(outcome.remark);
    if (!outcome.partitionNote.empty()) ShowNotice(workflow::InformationNotice(outcome.partitionNote));
    return outcome.Found() ? kExitOk : kExitNothingFound;
}

int MountVolume(CommandSession& cs, unsigned index, int fatChoice) {
    workflow::Session& session = cs.session;
    if (!workflow::ChooseVolume(session, index)) {
        const std::uint32_t count = session.found.Count();
        Error("there is no volume " + std::to_string(index) + " (" + std::to_string(count) + " found)");
        return kExitBadInput;
    }
    TerminalMountReport report(cs.line, fatChoice);
    const workflow::MountOutcome outcome = workflow::MountChosenVolume(session, report);
    cs.line.Finish();
    if (outcome.notice) ShowNotice(*outcome.notice);
    // A mount that ran out of memory ends the command as it always has.
    if (!outcome.mounted) return kExitNothingFound;
    // A tree that could not be read is something that exists and could not
    // be read; one read in part is shown, and the command ends with the same.
    if (outcome.treeIncomplete) cs.treeStatus = kExitDamaged;
    return outcome.treeUnreadable ? kExitDamaged : kExitOk;
}

bool ReadExtrasOptions(const Args& args, recovery::ExtrasSettings& extras) {
    const std::string forks = args.Value("--forks", "appledouble"), links = args.Value("--links", "link");
    if (forks != "appledouble" && forks != "none") {
        Error("--forks must be appledouble or none");
        return false;
    }
    if (links != "link" && links != "copy") {
        Error("--links must be link or copy");
        return false;
    }
    extras.forks = forks == "none" ? recovery::ForkForm::None : recovery::ForkForm::AppleDouble;
    extras.links = links == "copy" ? recovery::LinkForm::Copy : recovery::LinkForm::Link;
    extras.owners = args.Has("--owners");
    return true;
}

bool ReadVolumeOptions(const Invocation& inv, VolumeOptions& options) {
    const Args& args = inv.parsed;
    options.advanced = args.Has("--advanced");
    options.logPath = args.Value("--log");
    if (args.Has("--name-space")) {
        options.nameSpace = nw::NameSpaceFromText(args.Value("--name-space"));
        if (options.nameSpace == nw::kDefaultNameSpace) {
            Error("--name-space must be dos, long, mac, nfs or nt");
            return false;
        }
    }
    std::uint64_t n = 0;
    if (args.Has("--disk")) {
        if (!ParseNumber(inv.command, "--disk", args.Value("--disk"), n)) return false;
        if (n > 25) {
            Error("--disk must be 0 to 25");
            return false;
        }
        options.disk = static_cast<unsigned>(n);
        options.haveDisk = true;
    }
    if (args.Has("--volume")) {
        if (!ParseNumber(inv.command, "--volume", args.Value("--volume"), n)) return false;
        if (n > 0xFFFFFFFFu) {
            Error("--volume must be below 4294967296");
            return false;
        }
        options.volume = static_cast<unsigned>(n);
        options.haveVolume = true;
    }
    if (args.Has("--fat")) {
        if (!ParseNumber(inv.command, "--fat", args.Value("--fat"), n)) return false;
        if (n != 1 && n != 2) {
            Error("--fat must be 1 or 2");
            return false;
        }
        options.fat = static_cast<int>(n);
    }
    return true;
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
    const int mounted = MountVolume(cs, options.volume, options.fat);
    if (mounted == kExitOk && InterruptRequested()) {
        // Ctrl-C during the search or the mount: the command goes no further.
        Note("stopped after the mount; nothing else was done");
        return kExitStopped;
    }
    return mounted;
}

}  // namespace cli
