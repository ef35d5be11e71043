#include "netware/Selection.h"

#include <algorithm>

#include "netware/MountedVolume.h"
#include "netware/Records.h"

namespace nw {

void Selection::Reset(const MountedVolume& volume) {
    nodes_.assign(volume.tree.Size(), kUnchecked);
    folders_.assign(volume.FolderList.Size(), 0);
    files_.assign(volume.FileList.Size(), 0);
    ++version_;
}

// A volume that grew since the last Reset (a reload into the same objects)
// must not be indexed past the ends: new nodes and records start unchecked.
void Selection::Fit(const MountedVolume& volume) {
    if (nodes_.size() < volume.tree.Size()) nodes_.resize(volume.tree.Size(), kUnchecked);
    if (folders_.size() < volume.FolderList.Size()) folders_.resize(volume.FolderList.Size(), 0);
    if (files_.size() < volume.FileList.Size()) files_.resize(volume.FileList.Size(), 0);
}

int Selection::NodeState(std::uint32_t node) const {
    return node < nodes_.size() ? static_cast<int>(nodes_[node]) : static_cast<int>(kNoStateImage);
}

bool Selection::FolderChecked(std::size_t folderIndex) const {
    return folderIndex < folders_.size() && folders_[folderIndex] != 0;
}

bool Selection::FileChecked(std::size_t fileIndex) const { return fileIndex < files_.size() && files_[fileIndex] != 0; }

bool Selection::Any() const {
    auto ticked = [](std::uint8_t v) { return v != 0; };
    return std::any_of(folders_.begin(), folders_.end(), ticked) || std::any_of(files_.begin(), files_.end(), ticked) ||
           std::any_of(nodes_.begin(), nodes_.end(), [](std::uint8_t s) { return s == kChecked || s == kPartlyChecked; });
}

void Selection::SetSubtree(const MountedVolume& volume, std::uint32_t node, int state) {
    Fit(volume);
    if (node >= nodes_.size()) return;
    const std::uint8_t mark = state == kChecked ? 1 : 0;
    const FolderTree& tree = volume.tree;
    // Each node before its children, without recursion (the tree may be
    // very deep).
    std::vector<std::uint32_t> pending{node};
    while (!pending.empty()) {
        const std::uint32_t n = pending.back();
        pending.pop_back();
        nodes_[n] = static_cast<std::uint8_t>(state);
        const std::uint32_t number = FolderNumberOfNode(volume, n);
        for (std::uint32_t i : volume.FolderList.ChildRange(number)) folders_[i] = mark;
        for (std::uint32_t i : volume.FileList.ChildRange(number)) files_[i] = mark;
        for (std::uint32_t c = tree.FirstChild(n); c != kNoNode; c = tree.NextSibling(c)) pending.push_back(c);
    }
    ++version_;
}

// A node's own state from what lies directly below it: its child nodes and
// the files of its folder. Full only when all of them are, empty only when
// none is: a folder whose subfolder is ticked but whose own files are not
// shows partly checked, so the box never claims files the save leaves out.
std::uint8_t Selection::StateFromBelow(const MountedVolume& volume, std::uint32_t node) const {
    bool allChecked = true, allUnchecked = true;
    for (std::uint32_t c = volume.tree.FirstChild(node); c != kNoNode && (allChecked || allUnchecked);
         c = volume.tree.NextSibling(c)) {
        if (nodes_[c] != kChecked) allChecked = false;
        if (nodes_[c] != kUnchecked) allUnchecked = false;
    }
    for (std::uint32_t i : volume.FileList.ChildRange(FolderNumberOfNode(volume, node))) {
        if (!allChecked && !allUnchecked) break;
        if (files_[i]) allUnchecked = false;
        else allChecked = false;
    }
    return static_cast<std::uint8_t>(allChecked ? kChecked : allUnchecked ? kUnchecked : kPartlyChecked);
}

void Selection::RecomputeAncestors(const MountedVolume& volume, std::uint32_t node) {
    for (std::uint32_t a = volume.tree.Parent(node); a != kNoNode; a = volume.tree.Parent(a))
        nodes_[a] = StateFromBelow(volume, a);
}

void Selection::ToggleFolder(const MountedVolume& volume, std::uint32_t node) {
    Fit(volume);
    if (node >= nodes_.size()) return;
    SetSubtree(volume, node, nodes_[node] == kChecked ? kUnchecked : kChecked);
    RecomputeAncestors(volume, node);
}

void Selection::SetFile(const MountedVolume& volume, std::size_t fileIndex, bool on, std::uint32_t folderNode) {
    Fit(volume);
    if (fileIndex >= files_.size()) return;
    files_[fileIndex] = on ? 1 : 0;
    ++version_;
    const std::uint32_t parent = volume.FileList[fileIndex].parentNumber;
    std::uint32_t node = folderNode;
    if (node == kNoNode) {
        if (parent == kRootFolderNumber) {
            node = kRootNode;
        } else if (const EntryRecord* folder = volume.FolderList.FindByOwnNumber(parent)) {
            node = folder->treeNode;
        }
    }
    if (node >= nodes_.size()) return;
    nodes_[node] = StateFromBelow(volume, node);
    RecomputeAncestors(volume, node);
}

}  // namespace nw
