// dirlist: the folder listing records of a mounted volume on stdout.
#include <cstdio>

#include "cli/Cli.h"
#include "netware/FolderTree.h"
#include "records/DirectoryListing.h"

namespace cli {
namespace {

int RunDirlist(const Invocation& inv) {
    ArgReader reader(inv.command, inv.args);
    VolumeOptions options;
    bool print = false;
    while (!reader.Done()) {
        const std::string arg = reader.Take();
        const int taken = TakeVolumeOption(reader, arg, options);
        if (taken < 0) return kExitBadInput;
        if (taken > 0) continue;
        if (arg == "--print-format") {
            print = true;
        } else {
            reader.Unknown(arg);
            return kExitBadInput;
        }
    }
    CommandSession cs(inv.global);
    if (int r = OpenVolume(cs, options); r != kExitOk) return r;
    const std::string end = records::RecordEnd(print ? records::ListingFormat::Print : records::ListingFormat::View);
    bool failed = false;
    std::uint64_t written = 0;
    records::WalkListing(cs.session.mounted, nw::kRootNode, [&](const std::string& record) {
        if (failed || InterruptRequested()) return;
        failed = std::fwrite(record.data(), 1, record.size(), stdout) != record.size() ||
                 std::fwrite(end.data(), 1, end.size(), stdout) != end.size();
        ++written;
        cs.line.Step();
    });
    if (std::fflush(stdout) != 0 || failed) {
        Error("dirlist: writing to the output failed");
        return kExitBadInput;
    }
    if (InterruptRequested()) {
        Note("dirlist: stopped after " + std::to_string(written) + " records");
        return kExitStopped;
    }
    return kExitOk;
}

}  // namespace

const Command kDirlistCommand{"dirlist",
                              "[--print-format] [--disk N] [--advanced] --volume I [--fat 1|2] [--log FILE]",
                              "the folder listing: one record per parent and child folder, \"parent-> child\", "
                              "ending in CR LF (or the byte 0xE6 with --print-format)",
                              RunDirlist};

}  // namespace cli
