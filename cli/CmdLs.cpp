// ls: the folders and files of a folder of a mounted volume.
#include <iostream>

#include "cli/Cli.h"
#include "netware/FolderTree.h"
#include "netware/Timestamps.h"

namespace cli {
namespace {

void PrintEntry(const nw::EntryRecord& r, bool isFolder, const std::string& path) {
    std::cout << (isFolder ? 'D' : 'F') << '\t' << (r.IsDeleted() ? 1 : 0) << '\t' << (r.IsCompressed() ? 1 : 0)
              << '\t' << r.size << '\t' << nw::FormatDateText(r.timestamp) << '\t'
              << nw::FormatTimeText(r.timestamp) << '\t' << path << '\n';
}

int RunLs(const Invocation& inv) {
    VolumeOptions options;
    if (!ReadVolumeOptions(inv, options)) return kExitBadInput;
    const bool recursive = inv.parsed.Has("-R");
    const std::string folder = inv.parsed.Operands().empty() ? std::string() : inv.parsed.Operands()[0];
    CommandSession cs(inv.global);
    if (int r = OpenVolume(cs, options); r != kExitOk) return r;
    const nw::MountedVolume& volume = cs.session.mounted;

    nw::PathMatch match;
    if (!nw::FindEntryByPath(volume, folder, &match)) {
        Error("ls: no folder or file '" + folder + "' on the volume");
        return kExitNothingFound;
    }
    // Names go out escaped (Field), so that a record stays one line.
    if (!match.isFolder) {
        const std::string above = nw::NodePath(volume, match.node, Field);
        PrintEntry(*match.record, false, (above.empty() ? above : above + "\\") + Field(match.record->name));
        return OutputWritten("ls") ? kExitOk : kExitBadInput;
    }
    if (recursive) {
        // A full output stops the walk: nothing more could be written; so
        // does Ctrl-C.
        bool failed = false;
        std::uint64_t listed = 0;
        nw::WalkTree(
            volume, match.node,
            [&](const nw::WalkItem& item) {
                if (failed || InterruptRequested()) return;
                PrintEntry(*item.record, item.isFolder, item.path);
                failed = !std::cout.good();
                ++listed;
                cs.line.Step();
            },
            Field);
        const int status = OutputWritten("ls") ? kExitOk : kExitBadInput;
        if (!InterruptRequested()) return status;
        Note("ls: stopped after listing " + std::to_string(listed) + " entries");
        return CombineStatus(status, kExitStopped);
    }
    // The folder's own contents as the list shows them: its folders, then its files.
    const std::string prefix = match.record ? nw::NodePath(volume, match.node, Field) + "\\" : std::string();
    const std::uint32_t number = nw::FolderNumberOfNode(volume, match.node);
    for (std::uint32_t i : volume.FolderList.ChildRange(number)) {
        const nw::EntryRecord& r = volume.FolderList[i];
        PrintEntry(r, true, prefix + Field(r.name));
    }
    for (std::uint32_t i : volume.FileList.ChildRange(number)) {
        const nw::EntryRecord& r = volume.FileList[i];
        PrintEntry(r, false, prefix + Field(r.name));
    }
    return OutputWritten("ls") ? kExitOk : kExitBadInput;
}

std::vector<OptionRow> LsRows() {
    std::vector<OptionRow> rows = VolumeRows();
    rows.push_back({"-R", nullptr, "list the folder's whole subtree, depth first"});
    return rows;
}

}  // namespace

const Command kLsCommand{"ls", "[FOLDER]", 1, LsRows(),
                         "list a folder (a path with \\ separators below the root, LOST for the lost folder): "
                         "D|F, deleted, compressed, size, date, time, path (names escaped as below)",
                         RunLs, true};

}  // namespace cli
