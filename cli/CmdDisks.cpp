// disks: Disk<N> <path> <size in bytes> <model>
#include <iostream>

#include "cli/Cli.h"

namespace cli {
namespace {

int RunDisks(const Invocation& inv) {
    ArgReader reader(inv.command, inv.args);
    if (!reader.Done()) {
        reader.Unknown(reader.Peek());
        return kExitBadInput;
    }
    std::vector<disk::DiskInfo> disks;
    if (!PrepareDisks(inv.global, disks)) return kExitBadInput;
    for (const auto& d : disks)
        std::cout << disk::StoreKey(d.number) << '\t' << d.path << '\t' << d.sizeBytes << '\t' << d.model << '\n';
    if (disks.empty()) {
        Error("no disks found");
        return kExitNothingFound;
    }
    return kExitOk;
}

const Register kDisks({"disks", "", "list the disks (or the named images)", RunDisks});

}  // namespace
}  // namespace cli
