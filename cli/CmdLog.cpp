// log save: mount a volume and write its recovery log; and the start from a
// stored log that --log gives the volume commands.
#include <iostream>
#include <optional>

#include "cli/Cli.h"
#include "records/RecoveryLog.h"
#include "workflow/RecoveryLogs.h"

namespace cli {

int OpenFromLog(CommandSession& cs, const VolumeOptions& options, bool mounted) {
    // Read once up front for the disk it names; the loads below check it again.
    records::RecoveryLogContents stored;
    std::string reason;
    if (!records::ReadRecoveryLogFile(options.logPath, &stored, &reason, false)) {
        Error(std::string(records::kUnableToOpenFile) + ": " + options.logPath + ": " + reason);
        return kExitBadInput;
    }
    const unsigned diskNumber = options.haveDisk ? options.disk : stored.diskNumber;
    if (int r = SelectDisk(cs, diskNumber); r != kExitOk) return r;

    workflow::Session& session = cs.session;
    workflow::LogLoaded loaded = workflow::LoadVolumeList(session, options.logPath);
    if (!loaded.loaded) {
        if (loaded.notice) ShowNotice(*loaded.notice);
        return kExitBadInput;
    }
    // The log names the disk it was written from; the one chosen here wins.
    workflow::ReadLogFromDisk(session, diskNumber);
    if (!mounted) return kExitOk;

    if (options.haveVolume) {
        const std::optional<nw::VolumeDescriptor> listed = session.found.At(options.volume);
        const bool same =
            listed && listed->name == stored.volume.name && listed->startSector == stored.volume.startSector;
        if (!same) {
            Error("the log holds the mounted volume " + stored.volume.name + ", not volume " +
                  std::to_string(options.volume));
            return kExitBadInput;
        }
    }
    loaded = workflow::LoadMountedVolume(session, options.logPath);
    if (!loaded.loaded) {
        if (loaded.notice) ShowNotice(*loaded.notice);
        return kExitBadInput;
    }
    workflow::ReadLogFromDisk(session, diskNumber);
    return kExitOk;
}

namespace {

int RunLog(const Invocation& inv) {
    VolumeOptions options;
    if (!ReadVolumeOptions(inv, options)) return kExitBadInput;
    const std::vector<std::string>& operands = inv.parsed.Operands();
    const std::string action = operands.empty() ? std::string() : operands[0];
    const bool haveFile = operands.size() > 1;
    const std::string file = haveFile ? operands[1] : std::string();
    if (action != "save") {
        Error(action.empty() ? "log: which action? (save)" : "log: unknown action '" + action + "' (save)");
        return kExitBadInput;
    }
    if (!haveFile) {
        Error("log save: FILE is missing");
        return kExitBadInput;
    }
    CommandSession cs(inv.global);
    if (int r = OpenVolume(cs, options); r != kExitOk) return r;
    const workflow::LogSaved saved = workflow::SaveRecoveryLog(cs.session, file);
    if (!saved.written) {
        if (saved.notice) ShowNotice(*saved.notice);
        return kExitBadInput;
    }
    std::cout << Field(saved.path) << '\n';
    return OutputWritten("log save") ? kExitOk : kExitBadInput;
}

}  // namespace

const Command kLogCommand{"log", "save FILE", 2, VolumeRows(),
                          "mount a volume and write its recovery log; the file name is upper-cased and gets "
                          ".SAV unless it ends in SAV; prints the path written",
                          RunLog};

}  // namespace cli
