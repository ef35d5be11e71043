// log save: mount a volume and write its recovery log; and the start from a
// stored log that --log gives the volume commands.
#include <iostream>

#include "app/job/Tree.h"
#include "app/job/WizardState.h"
#include "cli/Cli.h"
#include "disk/DiskCatalogue.h"
#include "records/RecoveryLog.h"

namespace cli {

namespace {
job::MemoryTree gLogVolumeTree;
job::MemoryTree gLogDirectoryTree;
}  // namespace

int OpenFromLog(const GlobalOptions& global, const VolumeOptions& options, bool mounted) {
    // Read once up front for the disk it names; the loads below check it again.
    records::RecoveryLogContents stored;
    std::string reason;
    if (!records::ReadRecoveryLogFile(options.logPath, &stored, &reason, false)) {
        Error(std::string(records::kUnableToOpenFile) + ": " + options.logPath + ": " + reason);
        return kExitBadInput;
    }
    const unsigned diskNumber = options.haveDisk ? options.disk : stored.diskNumber;
    if (int r = SelectDisk(global, diskNumber); r != kExitOk) return r;

    auto& w = job::Wizard();
    w.volumeTree = &gLogVolumeTree;
    w.currentStep = 0;
    if (!records::LoadLog(options.logPath)) return kExitBadInput;
    // The log names the disk it was written from; the one chosen here wins.
    w.selectedDiskNumber = static_cast<std::uint16_t>(diskNumber);
    w.selectedDiskLabel = disk::StoreKey(diskNumber);
    if (!mounted) return kExitOk;

    if (options.haveVolume) {
        const bool same = options.volume < w.volumeCount.load() &&
                          w.VolumeList[options.volume].name == stored.volume.name &&
                          w.VolumeList[options.volume].startSector == stored.volume.startSector;
        if (!same) {
            Error("the log holds the mounted volume " + stored.volume.name + ", not volume " +
                  std::to_string(options.volume));
            return kExitBadInput;
        }
    }
    w.directoryTree = &gLogDirectoryTree;
    if (!records::LoadLog(options.logPath)) return kExitBadInput;
    return w.currentStep.load() == 2 ? kExitOk : kExitBadInput;
}

namespace {

int RunLog(const Invocation& inv) {
    ArgReader reader(inv.command, inv.args);
    VolumeOptions options;
    std::string action;
    std::string file;
    bool haveFile = false;
    while (!reader.Done()) {
        const std::string arg = reader.Take();
        const int taken = TakeVolumeOption(reader, arg, options);
        if (taken < 0) return kExitBadInput;
        if (taken > 0) continue;
        if (action.empty() && !arg.empty() && arg[0] != '-') {
            action = arg;
        } else if (!haveFile && !arg.empty() && arg[0] != '-') {
            file = arg;
            haveFile = true;
        } else {
            reader.Unknown(arg);
            return kExitBadInput;
        }
    }
    if (action != "save") {
        Error(action.empty() ? "log: which action? (save)" : "log: unknown action '" + action + "' (save)");
        return kExitBadInput;
    }
    if (!haveFile) {
        Error("log save: FILE is missing");
        return kExitBadInput;
    }
    if (int r = OpenVolume(inv.global, options); r != kExitOk) return r;
    std::string written;
    if (!records::SaveLog(file, &written)) return kExitBadInput;  // the message is out already
    std::cout << written << '\n';
    return kExitOk;
}

const Register kLog({"log", "save FILE [--disk N] [--advanced] --volume I [--fat 1|2] [--log FILE]",
                     "mount a volume and write its recovery log; the file name is upper-cased and gets "
                     ".SAV unless it ends in SAV; prints the path written",
                     RunLog});

}  // namespace
}  // namespace cli
