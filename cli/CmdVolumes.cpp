// volumes: one line per found volume.
#include <algorithm>
#include <iostream>
#include <vector>

#include "cli/Cli.h"
#include "workflow/Volume.h"

namespace cli {
namespace {

int RunVolumes(const Invocation& inv) {
    VolumeOptions options;
    if (!ReadVolumeOptions(inv, options)) return kExitBadInput;
    std::uint64_t partition = 0;
    const bool havePartition = inv.parsed.Has("--partition");
    if (havePartition) {
        if (!ParseNumber(inv.command, "--partition", inv.parsed.Value("--partition"), partition)) return kExitBadInput;
        if (!options.advanced || !options.logPath.empty()) {
            Error("volumes: --partition limits the advanced search: give it with --advanced (and without --log)");
            return kExitBadInput;
        }
    }
    CommandSession cs(inv.global);
    int searched = kExitOk;
    if (!options.logPath.empty()) {
        if (int r = OpenFromLog(cs, options, false); r != kExitOk) return r;
    } else {
        if (int r = SelectDisk(cs, options.disk); r != kExitOk) return r;
        std::uint64_t first = 0, end = 0;
        if (havePartition && !PartitionSectors(cs, static_cast<unsigned>(std::min<std::uint64_t>(partition, 0xFFFF)),
                                               first, end))
            return kExitBadInput;
        // A stopped search still lists what it had found.
        searched = SearchVolumes(cs, options.advanced, first, end);
        if (searched != kExitOk && searched != kExitStopped) return searched;
    }
    const std::vector<nw::VolumeDescriptor> found = cs.session.found.Snapshot();
    for (std::size_t i = 0; i < found.size(); ++i) {
        const nw::VolumeDescriptor& v = found[i];
        std::cout << i << '\t' << Field(v.name) << '\t' << v.startSector << '\t' << v.sectorsPerBlock << '\t'
                  << v.fat1FirstBlock << '\t' << v.fat2FirstBlock << '\t' << v.det1FirstBlock << '\t'
                  << v.det2FirstBlock << '\t' << v.sizeInSectors << '\t' << v.blockCount;
        if (v.segments.size() > 1) std::cout << '\t' << workflow::SegmentsField(v);
        std::cout << '\n';
    }
    return CombineStatus(OutputWritten("volumes") ? kExitOk : kExitBadInput, searched);
}

}  // namespace

const Command kVolumesCommand{"volumes", "", 0, [] {
                                  std::vector<OptionRow> rows = VolumeRowsNamed({"--disk", "--advanced", "--log"});
                                  rows.push_back({"--partition", "N",
                                                  "with --advanced: scan only partition N's sectors (numbered as "
                                                  "'disks --partitions' lists them)"});
                                  return rows;
                              }(),
                              "list the NetWare volumes: index, name, start sector, sectors per block, first blocks "
                              "of FAT1, FAT2, DET1, DET2, size in sectors, block count; a volume of several segments adds "
                              "its segments as disk:startSector:firstBlock:blockCount, comma-separated ('?' for the "
                              "disk and start of a segment whose disk is not attached)",
                              RunVolumes};

}  // namespace cli
