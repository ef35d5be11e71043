#include "records/Bodyfile.h"

#include "base/Escape.h"
#include "netware/EntryMetadata.h"
#include "netware/FolderTree.h"
#include "netware/MountedVolume.h"
#include "netware/NameSpaces.h"
#include "netware/TimeZone.h"

namespace records {

namespace {

// Paths are made by the tree's walk, which joins names with "\". Inside a
// name every "\" is first written as the byte 0x01 (which the escaper never
// leaves in its output), so that afterwards the joins become "/" and the
// names' own backslashes come back.
constexpr char kNameBackslash = '\x01';

std::string Marked(const std::string& name) {
    std::string out = BodyfileName(name);
    for (char& c : out)
        if (c == '\\') c = kNameBackslash;
    return out;
}

std::string Unmarked(const std::string& path) {
    std::string out = path;
    for (char& c : out) {
        if (c == '\\') c = '/';
        else if (c == kNameBackslash) c = '\\';
    }
    return out;
}

std::int64_t Seconds(std::uint32_t packed, const nw::TimeZone& zone) {
    if (packed == 0) return 0;
    return nw::PackedUnixTime(packed, zone).value_or(0);
}

}  // namespace

std::string BodyfileName(const std::string& name) {
    const std::string escaped = base::EscapeControls(name, false);
    std::string out;
    out.reserve(escaped.size());
    for (char c : escaped) {
        if (c == '|') out += '\\';
        out += c;
    }
    return out;
}

std::string BodyfileMode(bool folder, const nw::EntryNameSpaces* ns) {
    std::uint32_t mode = folder ? 040755 : 0100644;
    bool link = false;
    if (ns && ns->Has(nw::kNameSpaceNfs)) {
        mode = (ns->mode & 0170000) ? ns->mode : (mode & 0170000) | (ns->mode & 07777);
        link = (ns->linkFlag & 0x02) != 0;
    }
    char type = 'r';
    switch (mode & 0170000) {
        case 0040000: type = 'd'; break;
        case 0120000: type = 'l'; break;
        case 0010000: type = 'p'; break;
        case 0020000: type = 'c'; break;
        case 0060000: type = 'b'; break;
        case 0140000: type = 'h'; break;
        default: type = 'r'; break;
    }
    if (folder) type = 'd';
    else if (link) type = 'l';
    std::string out{type, '/', type};
    const char* const kRwx = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit) out += (mode >> (8 - bit)) & 1 ? kRwx[bit] : '-';
    auto special = [&out, mode](std::uint32_t flag, std::size_t at, char set, char unset) {
        if (mode & flag) out[at] = out[at] == '-' ? unset : set;
    };
    special(04000, 5, 's', 'S');
    special(02000, 8, 's', 'S');
    special(01000, 11, 't', 'T');
    return out;
}

Bodyfile::Bodyfile(const nw::MountedVolume& volume, const disk::SectorReader& reader, const nw::TimeZone& zone)
    : volume_(volume), reader_(reader), zone_(zone), numbers_(volume, reader) {}

std::string Bodyfile::LineAt(const nw::EntryRecord& entry, const std::string& path) const {
    const nw::EntryNameSpaces* ns = volume_.nameSpaces.Find(entry);
    const bool nfs = ns && ns->Has(nw::kNameSpaceNfs);
    // The archive date is kept only in the record on disk.
    const nw::EntryMetadata metadata = nw::ReadEntryMetadata(reader_, entry);
    const std::uint32_t modified = entry.modified ? entry.modified : entry.timestamp;
    const std::uint32_t accessed = static_cast<std::uint32_t>(entry.accessDate) << 16;
    std::string line = "0|" + BodyfileName(volume_.currentVolume.name) + ":/" + path;
    if (entry.IsDeleted()) line += " (deleted)";
    line += '|' + std::to_string(numbers_.Of(entry).value_or(0));
    line += '|' + BodyfileMode(entry.IsFolder(), ns);
    line += '|' + std::to_string(nfs ? ns->uid : 0) + '|' + std::to_string(nfs ? ns->gid : 0);
    line += '|' + std::to_string(entry.IsFolder() ? 0 : entry.size);
    line += '|' + std::to_string(Seconds(accessed, zone_)) + '|' + std::to_string(Seconds(modified, zone_)) + '|' +
            std::to_string(Seconds(metadata.read ? metadata.archived : 0, zone_)) + '|' +
            std::to_string(Seconds(entry.timestamp, zone_)) + '\n';
    return line;
}

std::string Bodyfile::Line(const nw::EntryRecord& entry, std::uint32_t parentNode) const {
    const std::string above = Unmarked(nw::NodePath(volume_, parentNode, Marked));
    return LineAt(entry, (above.empty() ? above : above + "/") + Unmarked(Marked(entry.name)));
}

void Bodyfile::Lines(std::uint32_t node, bool recursive, const std::function<bool(const std::string&)>& emit) const {
    if (recursive) {
        bool going = true;
        nw::WalkTree(
            volume_, node,
            [&](const nw::WalkItem& item) {
                if (going) going = emit(LineAt(*item.record, Unmarked(item.path)));
            },
            Marked);
        return;
    }
    const std::uint32_t number = nw::FolderNumberOfNode(volume_, node);
    for (std::uint32_t i : volume_.FolderList.ChildRange(number))
        if (!emit(Line(volume_.FolderList[i], node))) return;
    for (std::uint32_t i : volume_.FileList.ChildRange(number))
        if (!emit(Line(volume_.FileList[i], node))) return;
}

}  // namespace records
