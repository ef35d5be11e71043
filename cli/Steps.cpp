// The steps most commands share: list the disks, select one, search its
// volumes, mount one.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "app/job/Tree.h"
#include "app/job/WizardState.h"
#include "app/job/Worker.h"
#include "cli/Cli.h"
#include "disk/SectorReader.h"
#include "netware/Mount.h"
#include "netware/VolumeSearch.h"

namespace cli {

namespace {
job::MemoryTree gDiskTree;
job::MemoryTree gVolumeTree;
job::MemoryTree gDirectoryTree;
std::vector<Command>* gCommands = nullptr;
}  // namespace

Register::Register(const Command& command) {
    if (!gCommands) gCommands = new std::vector<Command>();
    gCommands->push_back(command);
}

const std::vector<Command>& Commands() {
    if (!gCommands) gCommands = new std::vector<Command>();
    return *gCommands;
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

bool PrepareDisks(const GlobalOptions& options, std::vector<disk::DiskInfo>& disks) {
    for (const auto& src : options.images) {
        const int fd = ::open(src.path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            Error("cannot open image " + src.path + ": " + std::strerror(errno));
            return false;
        }
        ::close(fd);
    }
    auto& w = job::Wizard();
    w.diskTree = &gDiskTree;
    w.currentStep = -1;
    std::string error;
    const bool ok = disk::EnumerateDisks(options.images, disks, &error);
    w.currentStep = 0;
    if (!ok) {
        Error(error);
        return false;
    }
    return true;
}

int SelectDisk(const GlobalOptions& options, unsigned number) {
    std::vector<disk::DiskInfo> disks;
    if (!PrepareDisks(options, disks)) return kExitBadInput;
    bool listed = false;
    for (const auto& d : disks) listed = listed || d.number == number;
    if (!listed) {
        Error(disks.empty() ? std::string("no disks found") : "there is no disk " + std::to_string(number));
        return kExitBadInput;
    }
    if (number >= disk::kDeviceCount) {
        Error("disk " + std::to_string(number) + " cannot be read: only disks 0 to " +
              std::to_string(disk::kDeviceCount - 1) + " have a device");
        return kExitBadInput;
    }
    auto& w = job::Wizard();
    w.selectedDiskNumber = static_cast<std::uint16_t>(number);
    w.selectedDiskLabel = disk::StoreKey(number);
    w.selectedDiskModel.clear();
    for (const auto& d : disks)
        if (d.number == number) w.selectedDiskModel = d.model;
    const std::string reason = disk::OpenFailureReason(number, w.selectedDiskLabel);
    if (!reason.empty()) {
        Error(nw::UnableToOpenDiskText(reason));
        return kExitBadInput;
    }
    return kExitOk;
}

int SearchVolumes(bool advanced) {
    auto& w = job::Wizard();
    w.volumeTree = &gVolumeTree;
    if (!advanced) {
        w.recoveryMode = job::kModeQuick;
        if (!nw::QuickVolumeSearch()) return kExitBadInput;
        if (w.volumeCount.load() == 0) {
            std::cerr << "No volume found, use advance mode\n";
            return kExitNothingFound;
        }
        return kExitOk;
    }
    w.recoveryMode = job::kModeAdvanced;
    gVolumeTree.Clear();
    w.searchStopRequested = 0;
    job::ReportStatus("Searching Volumes Phase 1/2");
    job::StartWorker(w.searchWorker, [] { nw::AdvancedVolumeSearch(); });
    job::WaitForWorker(w.searchWorker);
    FinishProgressLine();
    // The search has said "No volume found, use raw mode" itself.
    return w.volumeCount.load() == 0 ? kExitNothingFound : kExitOk;
}

int MountVolume(unsigned index, int fatChoice) {
    auto& w = job::Wizard();
    if (index >= w.volumeCount.load()) {
        Error("there is no volume " + std::to_string(index) + " (" + std::to_string(w.volumeCount.load()) +
              " found)");
        return kExitBadInput;
    }
    SetFatChoice(fatChoice);
    w.selectedVolumeIndex = static_cast<std::int32_t>(index);
    w.currentVolume = w.VolumeList[index];
    w.selectedVolumeName = w.currentVolume.name;
    w.directoryTree = &gDirectoryTree;
    nw::MountCurrentVolume();
    FinishProgressLine();
    return kExitOk;
}

int TakeVolumeOption(ArgReader& reader, const std::string& arg, VolumeOptions& options) {
    std::string value;
    std::uint64_t n = 0;
    if (arg == "--advanced") {
        options.advanced = true;
        return 1;
    }
    if (arg == "--log") return reader.Value(arg, options.logPath) ? 1 : -1;
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

int OpenVolume(const GlobalOptions& global, const VolumeOptions& options) {
    if (!options.logPath.empty()) return OpenFromLog(global, options, true);
    if (!options.haveVolume) {
        Error("--volume is required");
        return kExitBadInput;
    }
    if (int r = SelectDisk(global, options.disk); r != kExitOk) return r;
    if (int r = SearchVolumes(options.advanced); r != kExitOk) return r;
    return MountVolume(options.volume, options.fat);
}

}  // namespace cli
