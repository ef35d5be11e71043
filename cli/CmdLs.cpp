// ls: the folders and files of a folder of a mounted volume.
#include <iostream>

#include "cli/Cli.h"
#include "netware/TreeModel.h"

namespace cli {
namespace {

void PrintEntry(const nw::EntryRecord& r, bool isFolder, const std::string& path) {
    std::cout << (isFolder ? 'D' : 'F') << '\t' << (r.IsDeleted() ? 1 : 0) << '\t' << (r.IsCompressed() ? 1 : 0)
              << '\t' << r.size << '\t' << nw::FormatDateText(r.timestamp) << '\t'
              << nw::FormatTimeText(r.timestamp) << '\t' << path << '\n';
}

int RunLs(const Invocation& inv) {
    ArgReader reader(inv.command, inv.args);
    VolumeOptions options;
    bool recursive = false;
    bool haveFolder = false;
    std::string folder;
    while (!reader.Done()) {
        const std::string arg = reader.Take();
        const int taken = TakeVolumeOption(reader, arg, options);
        if (taken < 0) return kExitBadInput;
        if (taken > 0) continue;
        if (arg == "-R") {
            recursive = true;
        } else if (!haveFolder && (arg.empty() || arg[0] != '-')) {
            folder = arg;
            haveFolder = true;
        } else {
            reader.Unknown(arg);
            return kExitBadInput;
        }
    }
    if (int r = OpenVolume(inv.global, options); r != kExitOk) return r;

    nw::PathMatch match;
    if (!nw::FindEntryByPath(folder, &match)) {
        Error("ls: no folder or file '" + folder + "' on the volume");
        return kExitNothingFound;
    }
    if (!match.isFolder) {
        PrintEntry(*match.record, false, folder);
        return kExitOk;
    }
    if (recursive) {
        nw::WalkTree(match.item, [](const nw::EntryRecord& r, const std::string& path, bool isFolder) {
            PrintEntry(r, isFolder, path);
        });
        return kExitOk;
    }
    const std::string prefix = match.record ? nw::TreeItemPath(match.item) + "\\" : std::string();
    for (const nw::ListedRow& row : nw::FolderRows(nw::FolderNumberOfItem(match.item)))
        PrintEntry(*row.record, row.isFolder, prefix + row.record->name);
    return kExitOk;
}

const Register kLs({"ls", "[--disk N] [--advanced] --volume I [--fat 1|2] [--log FILE] [-R] [FOLDER]",
                    "list a folder (a path with \\ separators below the root, LOST for the lost folder): "
                    "D|F, deleted, compressed, size, date, time, path",
                    RunLs});

}  // namespace
}  // namespace cli
