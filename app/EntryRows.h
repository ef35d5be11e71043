// How folders and files of a mounted volume look in the window's list and
// tree: the type text and image of a file by the end of its name, and the
// seven columns of a list row (Name, Type, Size, Date, Time, ID, State). A
// folder row's ID is the folder's node in the folder tree, a file row's its
// ordinal. A file's Size is what a save writes of it: the stored length of a
// file stored compressed. State says "Deleted" and "Compressed".
// Plain C++, no Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "netware/EntryList.h"
#include "workflow/StoredLengths.h"

namespace nw {
struct MountedVolume;
}

namespace app {

struct FileType {
    const char* typeText;  // always ends in "FILE"
    int image;             // list image
};
// Type of a file by the end of its name (case-sensitive; see the table in
// EntryRows.cpp). Unknown endings give {"FILE", 19}.
FileType FileTypeFor(const std::string& name);
constexpr const char* kFolderTypeText = "Folder";
constexpr int kFolderListImage = 1;
constexpr int kFolderTreeImage = 3;
constexpr int kFolderTreeSelectedImage = 7;

constexpr int kSizeColumn = 2;
constexpr int kStateColumn = 6;
constexpr int kEntryColumnCount = 7;

// The State column: "Deleted", "Compressed", both joined by ", ", or empty.
std::string StateText(bool deleted, bool compressed);

// The columns of one row. `stored` is the stored length of a compressed
// file (nullptr: not known, the entry's size shows).
std::vector<std::string> FolderRow(const nw::EntryRecord& folder, std::uint32_t node);
std::vector<std::string> FileRow(const nw::EntryRecord& file, const workflow::StoredLength* stored = nullptr);
// The note on a compressed file's size: what a save writes and what the
// entry says; empty for other files.
std::string SizeNote(const nw::EntryRecord& file, const workflow::StoredLength* stored);

// One row of a folder's listing.
struct Row {
    const nw::EntryRecord* record;
    bool isFolder;
    std::size_t index;   // in the folder or file list
    std::uint32_t node;  // folders: the node showing the folder (nw::kNoNode when none); files: nw::kNoNode
    std::vector<std::string> columns;
    bool deleted = false;
    std::string sizeNote;  // see SizeNote
};
// The children of folder `folderNumber`: folders first, then files, each in
// list order.
std::vector<Row> FolderRows(const nw::MountedVolume& volume, std::uint32_t folderNumber,
                            const workflow::StoredLengths& stored = {});

}  // namespace app
