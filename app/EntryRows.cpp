#include "app/EntryRows.h"

#include <cstring>

#include "netware/MountedVolume.h"
#include "netware/Timestamps.h"

namespace app {

namespace {

struct FileTypeRow {
    const char* extensions[6];
    FileType type;
};

// Tried in order; the first row with a matching ending wins.
const FileTypeRow kFileTypeTable[] = {
    {{".doc", ".DOC"}, {"Microsoft Word FILE", 4}},
    {{".ppt", ".PPT"}, {"Microsoft Power Point FILE", 5}},
    {{".xls", ".XLS"}, {"Microsoft Excel FILE", 3}},
    {{".pdf", ".PDF"}, {"Acrobat Reader FILE", 15}},
    {{".exe", ".EXE"}, {"Executable FILE", 7}},
    {{".ttf", ".TTF"}, {"Font FILE", 8}},
    {{".zip", ".ZIP", ".rar", ".RAR"}, {"Winzip FILE", 2}},
    {{".htm", ".HTM", ".HTML", ".html", ".asp", ".ASP"}, {"Internet FILE", 12}},
    {{".chm", ".CHM"}, {"Help FILE", 13}},
    {{".reg", ".REG"}, {"Registry FILE", 16}},
    {{".WAV", ".wav", ".AU", ".au"}, {"Sound FILE", 17}},
    {{".avi", ".AVI"}, {"Video FILE", 18}},
    {{".CPP", ".cpp", ".c", ".C"}, {"C++ Source FILE", 9}},
    {{".h", ".H"}, {"Header FILE", 11}},
    {{".txt", ".TXT"}, {"Text FILE", 20}},
};
constexpr FileType kPlainFile{"FILE", 19};

}  // namespace

FileType FileTypeFor(const std::string& name) {
    for (const FileTypeRow& row : kFileTypeTable) {
        for (const char* ext : row.extensions) {
            if (!ext) break;
            const std::size_t n = std::strlen(ext);
            // A name shorter than the extension text is compared whole.
            const std::string tail = name.size() < n ? name : name.substr(name.size() - n);
            if (tail == ext) return row.type;
        }
    }
    return kPlainFile;
}

std::string StateText(bool deleted, bool compressed) {
    if (deleted && compressed) return "Deleted, compressed";
    if (deleted) return "Deleted";
    if (compressed) return "Compressed";
    return {};
}

std::vector<std::string> FolderRow(const nw::EntryRecord& folder, std::uint32_t node) {
    return {folder.name,
            kFolderTypeText,
            "0",
            nw::FormatDateText(folder.timestamp),
            nw::FormatTimeText(folder.timestamp),
            std::to_string(node),
            StateText(folder.IsDeleted(), false)};
}

std::vector<std::string> FileRow(const nw::EntryRecord& file, const workflow::StoredLength* stored) {
    const bool compressed = file.IsCompressed();
    const std::uint32_t saved = compressed && stored ? stored->bytes : file.size;
    return {file.name,
            FileTypeFor(file.name).typeText,
            std::to_string(saved),
            nw::FormatDateText(file.timestamp),
            nw::FormatTimeText(file.timestamp),
            std::to_string(file.ordinal),
            StateText(file.IsDeleted(), compressed)};
}

std::string SizeNote(const nw::EntryRecord& file, const workflow::StoredLength* stored) {
    if (!file.IsCompressed()) return {};
    const std::string entry = std::to_string(file.size);
    if (!stored) return "Stored compressed; the entry says " + entry + " bytes";
    if (stored->headerFailed)
        return "Stored compressed, but its header does not match the entry: " + entry + " bytes are saved as they lie";
    return "Stored compressed: " + std::to_string(stored->bytes) + " stored bytes are saved as they lie (" + entry +
           " bytes once expanded)";
}

std::vector<Row> FolderRows(const nw::MountedVolume& volume, std::uint32_t folderNumber,
                            const workflow::StoredLengths& stored) {
    std::vector<Row> rows;
    for (std::uint32_t i : volume.FolderList.ChildRange(folderNumber)) {
        const nw::EntryRecord& r = volume.FolderList[i];
        rows.push_back({&r, true, i, r.treeNode, FolderRow(r, r.treeNode), r.IsDeleted(), {}});
    }
    for (std::uint32_t i : volume.FileList.ChildRange(folderNumber)) {
        const nw::EntryRecord& r = volume.FileList[i];
        const auto found = stored.find(i);
        const workflow::StoredLength* length = found == stored.end() ? nullptr : &found->second;
        rows.push_back({&r, false, i, nw::kNoNode, FileRow(r, length), r.IsDeleted(), SizeNote(r, length)});
    }
    return rows;
}

}  // namespace app
