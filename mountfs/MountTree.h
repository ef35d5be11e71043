// The tree a mount shows: exactly what a save of the whole volume with the
// same settings writes, under the same names (the save's name plans,
// companions and all), with the sizes, times, modes and links the saved
// entries get. File data is laid out on first use and kept.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <time.h>

#include "mountfs/FileLayout.h"
#include "recovery/EntryExtras.h"
#include "recovery/SaveSettings.h"

namespace disk {
class SectorReader;
}
namespace nw {
struct EntryRecord;
struct MountedVolume;
}  // namespace nw

namespace mountfs {

constexpr std::uint32_t kNoTreeNode = 0xFFFFFFFFu;
constexpr std::uint32_t kTreeRoot = 0;

struct TreeSettings {
    int deletedMode = recovery::kIncludeDeleted;
    recovery::ExtrasSettings extras;
};

enum class NodeKind : std::uint8_t { Folder, File, Companion, Link };

struct TreeNode {
    NodeKind kind = NodeKind::Folder;
    std::string name;                    // as the save writes it ("" for the root)
    std::uint32_t parent = kNoTreeNode;
    std::vector<std::uint32_t> children;  // folders: in the save's order
    const nw::EntryRecord* entry = nullptr;  // the root has none; a companion has its file's
    std::uint32_t companionOf = kNoTreeNode;  // companions: the file's node
    std::string linkTarget;              // links
    std::uint32_t mode = 0;              // permission bits
    std::uint32_t uid = 0;
    std::uint32_t gid = 0;
    struct timespec accessed{};
    struct timespec modified{};
};

class MountTree {
public:
    MountTree(const nw::MountedVolume& volume, const disk::SectorReader& reader, const TreeSettings& settings);

    std::size_t Size() const { return nodes_.size(); }
    const TreeNode& Node(std::uint32_t node) const { return nodes_[node]; }
    // The child of folder `folder` named `name` (kNoTreeNode when none).
    std::uint32_t Child(std::uint32_t folder, const std::string& name) const;
    // The node's path below the mount point, "/" joined ("" for the root).
    std::string PathOf(std::uint32_t node) const;

    // The bytes a read of the node gives: a file's saved length, a
    // companion's AppleDouble size, a link's target length; 0 for folders.
    std::uint64_t Length(std::uint32_t node);
    // A file's layout (companions: their resource fork's). Made once.
    const FileLayout& Layout(std::uint32_t node);
    // A companion's bytes (its fork read whole) and the fork's unreadable
    // sectors, by index within the fork.
    std::vector<std::uint8_t> CompanionBytes(std::uint32_t node, std::vector<std::uint64_t>* unreadableSectors);

    const nw::MountedVolume& Volume() const { return volume_; }
    const disk::SectorReader& Reader() const { return reader_; }

private:
    std::uint32_t Add(TreeNode node);
    void AddFile(std::uint32_t folder, const nw::EntryRecord& file, const std::string& name, const timespec& now);
    FileLayout MakeLayout(const TreeNode& node) const;

    const nw::MountedVolume& volume_;
    const disk::SectorReader& reader_;
    TreeSettings settings_;
    std::uint32_t umask_ = 022;  // the modes a save's files and folders get are 0666 and 0777 less this
    std::vector<TreeNode> nodes_;
    std::map<std::pair<std::uint32_t, std::string>, std::uint32_t> byName_;
    std::mutex layoutMutex_;
    std::map<std::uint32_t, FileLayout> layouts_;
};

}  // namespace mountfs
