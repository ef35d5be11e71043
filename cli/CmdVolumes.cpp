// volumes: one line per found volume.
#include <iostream>

#include "app/job/WizardState.h"
#include "cli/Cli.h"

namespace cli {
namespace {

int RunVolumes(const Invocation& inv) {
    ArgReader reader(inv.command, inv.args);
    VolumeOptions options;
    while (!reader.Done()) {
        const std::string arg = reader.Take();
        const int taken = TakeVolumeOption(reader, arg, options);
        if (taken < 0) return kExitBadInput;
        if (taken == 0 || arg == "--volume" || arg == "--fat") {
            reader.Unknown(arg);
            return kExitBadInput;
        }
    }
    if (!options.logPath.empty()) {
        if (int r = OpenFromLog(inv.global, options, false); r != kExitOk) return r;
    } else {
        if (int r = SelectDisk(inv.global, options.disk); r != kExitOk) return r;
        if (int r = SearchVolumes(options.advanced); r != kExitOk) return r;
    }
    const auto& w = job::Wizard();
    for (std::uint32_t i = 0; i < w.volumeCount.load(); ++i) {
        const auto& v = w.VolumeList[i];
        std::cout << i << '\t' << v.name << '\t' << v.startSector << '\t' << v.sectorsPerBlock << '\t'
                  << v.fat1FirstBlock << '\t' << v.fat2FirstBlock << '\t' << v.det1FirstBlock << '\t'
                  << v.det2FirstBlock << '\t' << v.sizeInSectors << '\t' << v.blockCount << '\n';
    }
    return kExitOk;
}

const Register kVolumes({"volumes", "[--disk N] [--advanced] [--log FILE]",
                         "list the NetWare volumes: index, name, start sector, sectors per block, first blocks "
                         "of FAT1, FAT2, DET1, DET2, size in sectors, block count",
                         RunVolumes});

}  // namespace
}  // namespace cli
