// volumes: one line per found volume.
#include <iostream>

#include "cli/Cli.h"
#include "workflow/Volume.h"

namespace cli {
namespace {

int RunVolumes(const Invocation& inv) {
    VolumeOptions options;
    if (!ReadVolumeOptions(inv, options)) return kExitBadInput;
    CommandSession cs(inv.global);
    int searched = kExitOk;
    if (!options.logPath.empty()) {
        if (int r = OpenFromLog(cs, options, false); r != kExitOk) return r;
    } else {
        if (int r = SelectDisk(cs, options.disk); r != kExitOk) return r;
        // A stopped search still lists what it had found.
        searched = SearchVolumes(cs, options.advanced);
        if (searched != kExitOk && searched != kExitStopped) return searched;
    }
    const nw::FoundVolumes& found = cs.session.found;
    for (std::uint32_t i = 0; i < found.volumeCount.load(); ++i) {
        const auto& v = found.VolumeList[i];
        std::cout << i << '\t' << Field(v.name) << '\t' << v.startSector << '\t' << v.sectorsPerBlock << '\t'
                  << v.fat1FirstBlock << '\t' << v.fat2FirstBlock << '\t' << v.det1FirstBlock << '\t'
                  << v.det2FirstBlock << '\t' << v.sizeInSectors << '\t' << v.blockCount;
        if (v.segments.size() > 1) std::cout << '\t' << workflow::SegmentsField(v);
        std::cout << '\n';
    }
    return CombineStatus(OutputWritten("volumes") ? kExitOk : kExitBadInput, searched);
}

}  // namespace

const Command kVolumesCommand{"volumes", "", 0, VolumeRowsNamed({"--disk", "--advanced", "--log"}),
                              "list the NetWare volumes: index, name, start sector, sectors per block, first blocks "
                              "of FAT1, FAT2, DET1, DET2, size in sectors, block count; a volume of several segments adds "
                              "its segments as disk:startSector:firstBlock:blockCount, comma-separated ('?' for the "
                              "disk and start of a segment whose disk is not attached)",
                              RunVolumes};

}  // namespace cli
