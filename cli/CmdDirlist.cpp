// dirlist: the folder listing records of a mounted volume on stdout.
#include <cstdio>

#include "cli/Cli.h"
#include "netware/FolderTree.h"
#include "records/DirectoryListing.h"

namespace cli {
namespace {

int RunDirlist(const Invocation& inv) {
    VolumeOptions options;
    if (!ReadVolumeOptions(inv, options)) return kExitBadInput;
    const bool print = inv.parsed.Has("--print-format");
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
        return CombineStatus(kExitStopped, cs.treeStatus);
    }
    return cs.treeStatus;
}

std::vector<OptionRow> DirlistRows() {
    std::vector<OptionRow> rows = {{"--print-format", nullptr, "end each record in the byte 0xE6 instead of CR LF"}};
    rows.insert(rows.end(), VolumeRows().begin(), VolumeRows().end());
    return rows;
}

}  // namespace

const Command kDirlistCommand{"dirlist", "", 0, DirlistRows(),
                              "the folder listing: one record per parent and child folder, \"parent-> child\", "
                              "ending in CR LF (or the byte 0xE6 with --print-format)",
                              RunDirlist};

}  // namespace cli
