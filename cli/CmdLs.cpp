// ls: the folders and files of a folder of a mounted volume.
#include <iostream>

#include "cli/Cli.h"
#include "netware/EntryMetadata.h"
#include "netware/FolderTree.h"
#include "netware/NameSpaces.h"
#include "netware/Timestamps.h"
#include "records/Bodyfile.h"
#include "workflow/Session.h"

namespace cli {
namespace {

// What --all-names and --metadata add; null: the plain record.
struct Extra {
    bool allNames = false;
    bool metadata = false;
    bool bodyfile = false;  // --bodyfile: timeline lines instead of records
    const nw::MountedVolume* volume = nullptr;
    const disk::SectorReader* reader = nullptr;
};

std::string Hex(std::uint32_t v, int digits) {
    static const char* const kDigits = "0123456789ABCDEF";
    std::string s(static_cast<std::size_t>(digits), '0');
    for (int k = digits - 1; k >= 0; --k, v >>= 4) s[static_cast<std::size_t>(k)] = kDigits[v & 0xF];
    return s;
}

std::string IsoTime(std::uint32_t packed) {
    if (packed == 0) return {};
    const nw::UnpackedTimestamp u = nw::UnpackTimestamp(packed);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u", u.year, u.month, u.day, u.hour, u.minute,
                  u.second);
    return text;
}

std::string AttributeLetters(std::uint32_t a) {
    static const std::pair<std::uint32_t, const char*> kLetters[] = {
        {0x01, "Ro"},      {0x02, "H"},       {0x04, "Sy"},      {0x20, "A"},       {0x80, "Sh"},       {0x1000, "T"},
        {0x10000, "P"},    {0x20000, "Ri"},   {0x40000, "Di"},   {0x80000, "Ci"},   {0x02000000, "Ic"}};
    std::string out;
    for (const auto& [bit, letters] : kLetters)
        if (a & bit) out += (out.empty() ? "" : ",") + std::string(letters);
    return out;
}

// DOS=…,MAC=…,NFS=…,LONG=…,NT=… of the names the entry has.
std::string AllNames(const nw::MountedVolume& volume, const nw::EntryRecord& r) {
    const nw::EntryNameSpaces* ns = volume.nameSpaces.Find(r);
    if (!ns) return "DOS=" + Field(r.name);
    std::string out;
    for (std::uint8_t n : {nw::kNameSpaceDos, nw::kNameSpaceMac, nw::kNameSpaceNfs, nw::kNameSpaceLong, nw::kNameSpaceNt})
        if (ns->Has(n)) out += (out.empty() ? "" : ",") + nw::NameSpaceText(n) + "=" + Field(ns->names[n]);
    return out;
}

std::string PresentSpaces(const nw::MountedVolume& volume, const nw::EntryRecord& r) {
    const nw::EntryNameSpaces* ns = volume.nameSpaces.Find(r);
    std::string out;
    for (std::uint8_t n : {nw::kNameSpaceDos, nw::kNameSpaceMac, nw::kNameSpaceNfs, nw::kNameSpaceLong, nw::kNameSpaceNt})
        if (n == nw::kNameSpaceDos || (ns && ns->Has(n))) out += (out.empty() ? "" : ",") + nw::NameSpaceText(n);
    return out;
}

void PrintEntry(const nw::EntryRecord& r, bool isFolder, const std::string& path, const Extra& extra = {}) {
    if (extra.metadata) {
        const nw::EntryMetadata m = nw::ReadEntryMetadata(*extra.reader, r, extra.volume);
        std::string trustees;
        for (const auto& [id, rights] : m.trustees) trustees += (trustees.empty() ? "" : ",") + Hex(id, 8) + ":" + Hex(rights, 4);
        const std::uint32_t accessed = static_cast<std::uint32_t>(m.accessDate) << 16;
        std::cout << path << '\t' << Hex(m.owner, 8) << '\t' << Hex(m.archiver, 8) << '\t' << Hex(m.updater, 8) << '\t'
                  << Hex(m.deleter, 8) << '\t' << IsoTime(m.created) << '\t' << IsoTime(m.modified) << '\t'
                  << IsoTime(accessed) << '\t' << IsoTime(m.archived) << '\t' << IsoTime(m.deleted) << '\t' << trustees
                  << '\t' << AttributeLetters(m.attributes) << '\t' << PresentSpaces(*extra.volume, r);
    } else {
        std::cout << (isFolder ? 'D' : 'F') << '\t' << (r.IsDeleted() ? 1 : 0) << '\t' << (r.IsCompressed() ? 1 : 0)
                  << '\t' << r.size << '\t' << nw::FormatDateText(r.timestamp) << '\t'
                  << nw::FormatTimeText(r.timestamp) << '\t' << path;
    }
    if (extra.allNames) std::cout << '\t' << AllNames(*extra.volume, r);
    std::cout << '\n';
}

int ListVolume(CommandSession& cs, const std::string& folder, bool recursive, Extra& extra);

// --bodyfile: the timeline lines of what the listing would show.
int PrintBodyfile(CommandSession& cs, const nw::PathMatch& match, bool recursive) {
    const nw::MountedVolume& volume = cs.session.mounted;
    const disk::SectorReader reader = cs.session.Reader();
    const records::Bodyfile bodyfile(volume, reader, cs.session.saveSettings.extras.zone);
    if (!match.isFolder) {
        std::cout << bodyfile.Line(*match.record, match.node);
        return OutputWritten("ls") ? kExitOk : kExitBadInput;
    }
    std::uint64_t listed = 0;
    bodyfile.Lines(match.node, recursive, [&](const std::string& line) {
        if (InterruptRequested()) return false;
        std::cout << line;
        ++listed;
        cs.line.Step();
        return std::cout.good();
    });
    const int status = OutputWritten("ls") ? kExitOk : kExitBadInput;
    if (!InterruptRequested()) return status;
    Note("ls: stopped after listing " + std::to_string(listed) + " entries");
    return CombineStatus(status, kExitStopped);
}

int RunLs(const Invocation& inv) {
    VolumeOptions options;
    if (!ReadVolumeOptions(inv, options)) return kExitBadInput;
    const bool recursive = inv.parsed.Has("-R");
    const std::string folder = inv.parsed.Operands().empty() ? std::string() : inv.parsed.Operands()[0];
    Extra extra;
    extra.allNames = inv.parsed.Has("--all-names");
    extra.metadata = inv.parsed.Has("--metadata");
    extra.bodyfile = inv.parsed.Has("--bodyfile");
    CommandSession cs(inv.global);
    if (int r = OpenVolume(cs, options); r != kExitOk) return r;
    return CombineStatus(ListVolume(cs, folder, recursive, extra), cs.treeStatus);
}

int ListVolume(CommandSession& cs, const std::string& folder, bool recursive, Extra& extra) {
    const nw::MountedVolume& volume = cs.session.mounted;
    const disk::SectorReader sectorReader = cs.session.Reader();
    extra.volume = &volume;
    extra.reader = &sectorReader;

    nw::PathMatch match;
    if (!nw::FindEntryByPath(volume, folder, &match)) {
        Error("ls: no folder or file '" + folder + "' on the volume");
        return kExitNothingFound;
    }
    if (extra.bodyfile) return PrintBodyfile(cs, match, recursive);
    // Names go out escaped (Field), so that a record stays one line.
    if (!match.isFolder) {
        const std::string above = nw::NodePath(volume, match.node, Field);
        PrintEntry(*match.record, false, (above.empty() ? above : above + "\\") + Field(match.record->name), extra);
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
                PrintEntry(*item.record, item.isFolder, item.path, extra);
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
        PrintEntry(r, true, prefix + Field(r.name), extra);
    }
    for (std::uint32_t i : volume.FileList.ChildRange(number)) {
        const nw::EntryRecord& r = volume.FileList[i];
        PrintEntry(r, false, prefix + Field(r.name), extra);
    }
    return OutputWritten("ls") ? kExitOk : kExitBadInput;
}

std::vector<OptionRow> LsRows() {
    std::vector<OptionRow> rows = VolumeRows();
    rows.push_back({"--all-names", nullptr, "add every name of the entry: DOS=...,MAC=...,NFS=...,LONG=...,NT=..."});
    rows.push_back({"--metadata", nullptr,
                    "instead of the listing: owners, dates, trustees, attributes and name spaces of each entry"});
    rows.push_back({"--bodyfile", nullptr,
                    "instead of the listing: timeline lines (MD5|name|inode|mode_as_string|UID|GID|size|atime|mtime|"
                    "ctime|crtime) for mactime -b: VOLUME:/path with the names on disk, \" (deleted)\" after deleted "
                    "entries, the directory entry number, the NFS mode and owners, last access, last update, archive "
                    "and creation times in Unix seconds (0: none) read in --timezone"});
    rows.push_back({"-R", nullptr, "list the folder's whole subtree, depth first"});
    return rows;
}

}  // namespace

const Command kLsCommand{"ls", "[FOLDER]", 1, LsRows(),
                         "list a folder (a path with \\ separators below the root, LOST for the lost folder): "
                         "D|F, deleted, compressed, size, date, time, path (names escaped as below); --metadata: "
                         "path, owner, archiver, updater, deleter, created, modified, accessed, archived, deleted, "
                         "trustees, attributes, name spaces; --all-names adds DOS=...,MAC=...,NFS=...,LONG=...,NT=...",
                         RunLs, true};

}  // namespace cli
