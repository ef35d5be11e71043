// What the user ticked on a mounted volume: a tri-state per folder node and
// a mark per folder and file record (set through the containing folder's
// check box or ticked in the list). The window's check boxes and the command
// line's paths drive it; the save reads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "netware/FolderTree.h"

namespace nw {

struct MountedVolume;

enum CheckState : int { kNoStateImage = 0, kUnchecked = 1, kChecked = 2, kPartlyChecked = 3 };

class Selection {
public:
    // Everything unchecked, sized to the volume's tree and lists.
    void Reset(const MountedVolume& volume);

    // kNoStateImage for a node the selection does not know.
    int NodeState(std::uint32_t node) const;
    bool FolderChecked(std::size_t folderIndex) const;
    bool FileChecked(std::size_t fileIndex) const;
    // Whether anything at all is ticked.
    bool Any() const;

    // A click on a folder's check box: a checked folder becomes unchecked
    // with everything below it, an unchecked or partly checked one becomes
    // checked with everything below it; the ancestors follow (checked when
    // all their child nodes and all their own files are, unchecked when none
    // is, partly checked otherwise).
    void ToggleFolder(const MountedVolume& volume, std::uint32_t node);
    // Sets the node and every node below it to `state` (kUnchecked or
    // kChecked) and marks (or clears) every folder and file record the
    // folders of those nodes hold. The ancestors are left as they are.
    void SetSubtree(const MountedVolume& volume, std::uint32_t node, int state);
    // A file ticked or cleared on its own (the list's check box, a path
    // named on the command line). `folderNode` is the node whose folder
    // holds it (kNoNode: the node of the first folder record with the file's
    // parent number, the root for parent 0; a file shown nowhere only gets
    // its mark). That node becomes checked when its child nodes are all
    // checked and its files all ticked, unchecked when nothing below it is,
    // partly checked otherwise; its ancestors follow.
    void SetFile(const MountedVolume& volume, std::size_t fileIndex, bool on, std::uint32_t folderNode = kNoNode);

    // Grows with every change; front ends redraw when it moved.
    std::uint64_t Version() const { return version_; }

private:
    void Fit(const MountedVolume& volume);
    void RecomputeAncestors(const MountedVolume& volume, std::uint32_t node);
    std::uint8_t StateFromBelow(const MountedVolume& volume, std::uint32_t node) const;
    std::vector<std::uint8_t> nodes_;    // CheckState per node
    std::vector<std::uint8_t> folders_;  // by folder index
    std::vector<std::uint8_t> files_;    // by file index
    std::uint64_t version_ = 0;
};

}  // namespace nw
