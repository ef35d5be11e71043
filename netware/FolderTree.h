// The folder hierarchy of a mounted volume as the engine keeps it: node 0 is
// the root (the volume itself), every other node shows one record of the
// folder list. Front ends draw their trees from it (a node number is what
// their items carry) and the save walks it. A folder table in which two
// folders share a number shows the shared children under each, so one
// record may be shown by more than one node; its record keeps the last one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "netware/EntryList.h"

namespace nw {

struct MountedVolume;

constexpr std::uint32_t kNoNode = 0xFFFFFFFFu;
constexpr std::uint32_t kRootNode = 0;
constexpr const char* kLostFolderName = "LOST";

class FolderTree {
public:
    struct Node {
        std::uint32_t folderIndex = kNoNode;  // index into the folder list; kNoNode for the root
        std::uint32_t parent = kNoNode;
        std::uint32_t firstChild = kNoNode;
        std::uint32_t lastChild = kNoNode;
        std::uint32_t nextSibling = kNoNode;
    };

    // A tree holding only the root, labelled `rootText` (the volume name).
    void Reset(const std::string& rootText);
    void Clear() { Reset(std::string()); }
    // Appends a node as the last child of `parent`; returns its number.
    std::uint32_t Add(std::uint32_t parent, std::uint32_t folderIndex);

    std::size_t Size() const { return nodes_.size(); }
    bool Empty() const { return nodes_.size() <= 1; }
    // Nodes below the root (the folder items a population made).
    std::uint32_t FolderNodeCount() const { return static_cast<std::uint32_t>(nodes_.size() - 1); }
    const Node& operator[](std::uint32_t node) const { return nodes_[node]; }
    const std::string& RootText() const { return rootText_; }
    std::uint32_t Parent(std::uint32_t node) const { return node < nodes_.size() ? nodes_[node].parent : kNoNode; }
    std::uint32_t FirstChild(std::uint32_t node) const {
        return node < nodes_.size() ? nodes_[node].firstChild : kNoNode;
    }
    std::uint32_t NextSibling(std::uint32_t node) const {
        return node < nodes_.size() ? nodes_[node].nextSibling : kNoNode;
    }

private:
    std::vector<Node> nodes_{Node{}};
    std::string rootText_;
};

// ---- building -------------------------------------------------------------------

// Appends the "LOST" folder (own number 0xFFFFFFFF, parent 0).
EntryRecord& AppendLostFolder(EntryList& folders, std::uint32_t ordinal);

// The lost-folder pass: every folder whose parent number names no folder is
// moved under "LOST". Reports i * 100 / folderCount after each folder it
// examines; stops early when `stop` returns true. Returns false when stopped.
bool ResolveLostFolders(EntryList& folders, std::uint32_t folderCount, const std::function<void(int percent)>& progress,
                        const std::function<bool()>& stop);

// Moves every folder in a parent cycle that the root does not reach (a
// folder that is its own parent, two folders each the other's parent, ...)
// under "LOST" (the root when the list has no LOST folder): each such cycle
// is cut at its folder that comes first in the list, so the same folder
// moves on every run, and the folders hanging below the cycle follow it.
// Returns the number of folders moved. Linear in the folders.
std::size_t BreakParentCycles(EntryList& folders);

// Builds volume.tree from the folder list (after BreakParentCycles): the root labelled `rootText` (the
// volume's name when empty), then every folder below the root depth first
// in list order, storing each record's node in its treeNode (kNoNode for
// folders the tree does not reach). Never descends into a folder number
// already on the current path, so cyclic or self-parented folders still
// load; the number of nodes is bounded (four per folder record, at least
// 65,536). Iterative: any depth. Returns the folder nodes made.
std::uint32_t PopulateFolderTree(MountedVolume& volume, const std::string& rootText = std::string());

// ---- reading ---------------------------------------------------------------------

// The folder record a node shows (nullptr for the root or no such node).
const EntryRecord* FolderOfNode(const MountedVolume& volume, std::uint32_t node);
// The folder number a node shows: the record's own number, 0 for the root.
std::uint32_t FolderNumberOfNode(const MountedVolume& volume, std::uint32_t node);
// The text a node shows: the folder's name, the root's text for the root.
std::string NodeText(const MountedVolume& volume, std::uint32_t node);

// Path of a node below the root ("PUBLIC\DATA"); "" for the root.
std::string NodePath(const MountedVolume& volume, std::uint32_t node);
// How a front end writes a name into a path it prints (escaping control
// characters, for instance). With one, components are always joined by
// "\\", whatever the written name ends in.
using NameText = std::function<std::string(const std::string&)>;
std::string NodePath(const MountedVolume& volume, std::uint32_t node, const NameText& text);
// Volume name + ":\" + the path.
std::string ShownPath(const MountedVolume& volume, std::uint32_t node);

// Finds an entry by its path below the root, components separated by "\" or
// "/" ("PUBLIC\DATA\REPORT.DOC", "LOST\OLD"). Folders are matched among the
// node's children, the last component also against the files of the folder
// reached. Exact names win over case-insensitive matches; the first match in
// tree (list) order is taken. An empty path is the root. False when nothing
// matches (and always when `match` is nullptr).
struct PathMatch {
    bool isFolder = true;
    std::uint32_t node = kRootNode;   // the folder's node; for a file, the node it was found under
    std::size_t fileIndex = kNoEntry; // files: index into the file list
    const EntryRecord* record = nullptr;  // nullptr for the root
};
bool FindEntryByPath(const MountedVolume& volume, const std::string& path, PathMatch* match);

// Walks the tree below `node` depth first (the node itself not included), in
// the order a listing shows each level: first the folders, each immediately
// followed by its own contents, then the files. `path` is the entry's path
// below the root, "\"-joined. `node` is the folder's node (kNoNode for files),
// `index` its index in its own list. Iterative, and a deep tree costs no
// copy of a path per level: any depth. With `text`, paths are made of the
// names as it writes them.
struct WalkItem {
    const EntryRecord* record;
    const std::string& path;  // valid during the call
    bool isFolder;
    std::uint32_t node;
    std::size_t index;
};
void WalkTree(const MountedVolume& volume, std::uint32_t node, const std::function<void(const WalkItem&)>& fn,
              const NameText& text = {});

}  // namespace nw
