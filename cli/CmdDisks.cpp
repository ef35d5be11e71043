// disks: Disk<N> <path> <size in bytes> <model>
#include <iostream>

#include "cli/Cli.h"

namespace cli {
namespace {

int RunDisks(const Invocation& inv) {
    CommandSession cs(inv.global);
    if (!PrepareDisks(cs)) return kExitBadInput;
    const std::vector<disk::DiskInfo>& disks = cs.session.diskList;
    for (const auto& d : disks)
        std::cout << disk::StoreKey(d.number) << '\t' << Field(d.path) << '\t' << d.sizeBytes << '\t' << Field(d.model)
                  << '\n';
    if (!OutputWritten("disks")) return kExitBadInput;
    if (disks.empty()) {
        Error("no disks found");
        return kExitNothingFound;
    }
    return kExitOk;
}

}  // namespace

const Command kDisksCommand{"disks", "", 0, {}, "list the disks (or the named images)", RunDisks};

}  // namespace cli
