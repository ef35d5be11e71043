// What the user ticked on a mounted volume: a tri-state per folder node and
// a mark per folder and file record (set through the containing folder's
// check box or ticked in the list). The window's check boxes and the command
// line's paths drive it; the save reads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace nw {

struct MountedVolume;

enum CheckState : int { kNoStateImage = 0, kUnchecked = 1, kChecked = 2, kPartlyChecked = 3 };

class Selection {
public:
    // Everything unchecked, sized to the volume's tree and lists.
    void Reset(const MountedVolume& volume);

    int NodeState(std::uint32_t node) const;
    bool FolderChecked(std::size_t folderIndex) const;
    bool FileChecked(std::size_t fileIndex) const;
    // Whether anything at all is ticked.
    bool Any() const;

    // A click on a folder's check box: an unchecked folder becomes checked
    // with everything below it, any other becomes unchecked with everything
    // below it; the ancestors follow (checked when all their children are,
    // partly checked when some are, unchecked when none is).
    void ToggleFolder(const MountedVolume& volume, std::uint32_t node);
    void SetSubtree(const MountedVolume& volume, std::uint32_t node, int state);
    // A file ticked or cleared on its own (the list's check box, a path
    // named on the command line); its folder's node becomes partly checked
    // (or checked when the folder holds nothing else unticked).
    void SetFile(const MountedVolume& volume, std::size_t fileIndex, bool on);

    // Grows with every change; front ends redraw when it moved.
    std::uint64_t Version() const { return version_; }

private:
    void RecomputeAncestors(const MountedVolume& volume, std::uint32_t node);
    std::vector<std::uint8_t> nodes_;    // CheckState per node
    std::vector<std::uint8_t> folders_;  // by folder index
    std::vector<std::uint8_t> files_;    // by file index
    std::uint64_t version_ = 0;
};

}  // namespace nw
