// The folder hierarchy built from the entry lists of the job state
// (job::Wizard().FolderList / FileList): file types, list rows, timestamp
// texts, the folder tree in job::Wizard().directoryTree, listing a folder into
// the details list, and the tri-state check boxes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/job/TreeItem.h"
#include "netware/EntryList.h"
#include "netware/Records.h"

namespace nw {

// ---- file types -------------------------------------------------------------
struct FileType {
    const char* typeText;  // always ends in "FILE"
    int image;             // list image
};
// Type of a file by the end of its name (case-sensitive; see the table in
// TreeModel.cpp). Unknown endings give {"FILE", 19}.
FileType FileTypeFor(const std::string& name);
constexpr const char* kFolderTypeText = "Folder";
constexpr int kFolderListImage = 1;
constexpr int kFolderTreeImage = 3;
constexpr int kFolderTreeSelectedImage = 7;
constexpr const char* kLostFolderName = "LOST";

// ---- timestamps ---------------------------------------------------------------
struct UnpackedTimestamp {
    unsigned second = 0;  // already doubled
    unsigned minute = 0;
    unsigned hour = 0;
    unsigned day = 0;
    unsigned month = 0;
    unsigned year = 0;    // calendar year
};
// Year field below 80: 1980 + field; 80 and above: 1920 + field.
unsigned ExpandYearField(unsigned yearField);
UnpackedTimestamp UnpackTimestamp(std::uint32_t timestamp);
// "05-Mar-2007" (month 0 and 13..15 print "Err").
std::string FormatDateText(std::uint32_t timestamp);
// "09:04:58".
std::string FormatTimeText(std::uint32_t timestamp);

// ---- list rows ------------------------------------------------------------------
// Columns Name, Type, Size, Date, Time, ID. A folder's ID is its tree item in
// decimal, a file's its ordinal.
std::vector<std::string> FolderRow(const EntryRecord& folder);
std::vector<std::string> FileRow(const EntryRecord& file);
std::string TreeItemIdText(job::TreeItem item);

// ---- operations on the job's lists ----------------------------------------------
void ClearEntryLists();
// Appends to the folder list when `toFolders`, else to the file list.
EntryRecord& AppendEntry(bool toFolders, EntryRecord record);
// Appends the "LOST" folder (own number 0xFFFFFFFF, parent 0).
EntryRecord& AppendLostFolder(std::uint32_t ordinal);

// The lost-folder pass: every folder whose parent number names no folder is
// moved under "LOST". Reports i * 100 / folderCount after each folder it
// examines; stops early when `stop` returns true. Returns false when stopped.
bool ResolveLostFolders(std::uint32_t folderCount, const std::function<void(int percent)>& progress,
                        const std::function<bool()>& stop);

// Inserts the items of all folders below `parentNumber` under `parentItem`
// of the directory tree (depth first, list order), storing each item in its
// record, then expands the tree's root item. Never descends into a folder
// number already on the current path, so cyclic or self-parented folders
// still load. Returns the number of folder items inserted.
std::uint32_t PopulateFolderTree(job::TreeItem parentItem, std::uint32_t parentNumber);

// Replaces the details rows with the children of folder `number`: folders
// first, then files, each in list order, with their check state.
void ListFolder(std::uint32_t number);
// The rows ListFolder shows, with whether each is checked (for front ends
// that draw their own list).
struct ListedRow {
    const EntryRecord* record;
    bool isFolder;
    std::vector<std::string> columns;
};
std::vector<ListedRow> FolderRows(std::uint32_t number);

// Lookups.
EntryRecord* FindFolderByTreeItem(job::TreeItem item);
EntryRecord* FindFileByOrdinal(std::uint32_t ordinal);
// Folder number shown by a tree item: the record's own number, 0 for the root
// (or any item without a record).
std::uint32_t FolderNumberOfItem(job::TreeItem item);

// Path of a tree item below the root ("PUBLIC\DATA"); the root's text is
// never part of it. Precondition: the item is not the root itself.
std::string TreeItemPath(job::TreeItem item);
// Volume name + ":\" + the path (the root alone: volume name + ":\").
std::string ShownPath(job::TreeItem item);

// Finds an entry by its path below the root, components separated by "\"
// ("PUBLIC\DATA\REPORT.DOC", "LOST\OLD"). Folders are matched through the
// directory tree's items, the last component also against the files of the
// folder reached. Exact names win over case-insensitive matches; the first
// match in list order is taken. An empty path (or "\") is the root: returns
// true with *record = nullptr and *item = the root item.
struct PathMatch {
    EntryRecord* record = nullptr;   // nullptr for the root
    job::TreeItem item = nullptr;    // the folder's tree item (folders and root)
    bool isFolder = true;
};
bool FindEntryByPath(const std::string& path, PathMatch* match);

// Walks the directory tree below `item` depth first (the item itself not
// included), in the order a listing shows each level: first the folders,
// each immediately followed by its own contents, then the files. `path` is
// the entry's path below the root, joined with "\".
void WalkTree(job::TreeItem item,
              const std::function<void(const EntryRecord& record, const std::string& path, bool isFolder)>& fn);

// ---- check boxes ------------------------------------------------------------------
// The reaction to a click on an item's check box.
void ToggleFolderCheck(job::TreeItem item);
// state: job::kUnchecked (1) or job::kChecked (2).
void SetSubtreeCheck(job::TreeItem item, int state);
void RecomputeAncestorsAfterCheck(job::TreeItem item);
void RecomputeAncestorsAfterUncheck(job::TreeItem item);

}  // namespace nw
