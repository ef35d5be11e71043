#include "mountfs/MountTree.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>

#include "netware/FolderTree.h"
#include "netware/MountedVolume.h"
#include "netware/NameSpaces.h"
#include "netware/Records.h"
#include "recovery/SaveEngine.h"
#include "recovery/SaveNames.h"

namespace mountfs {

namespace {

constexpr std::size_t kSymlinkTargetLimit = 4096;  // what a save takes as a link's target
constexpr std::size_t kAppleDoubleHeader = 26;
constexpr std::size_t kAppleDoubleDescriptor = 12;

// The process's umask, read without setting it (umask() would change it
// for a moment under other threads creating files).
mode_t ProcessUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8) & 0777);
    return 022;
}

bool IsLink(const nw::EntryNameSpaces* ns) {
    return ns && ns->Has(nw::kNameSpaceNfs) && (ns->linkFlag & nw::kNfsSymbolicLink) != 0;
}

}  // namespace

MountTree::MountTree(const nw::MountedVolume& volume, const disk::SectorReader& reader, const TreeSettings& settings)
    : volume_(volume), reader_(reader), settings_(settings) {
    const mode_t mask = umask_ = ProcessUmask();
    struct timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    TreeNode root;
    root.mode = 0777 & ~mask;
    root.uid = ::getuid();
    root.gid = ::getgid();
    root.accessed = root.modified = now;
    nodes_.push_back(root);

    // Depth first over the volume's folder tree, as the save walks it.
    struct Pending {
        std::uint32_t volumeNode;
        std::uint32_t treeNode;
    };
    recovery::SaveSettings filter;
    filter.deletedMode = settings_.deletedMode;
    std::vector<Pending> pending{{nw::kRootNode, kTreeRoot}};
    while (!pending.empty()) {
        const Pending p = pending.back();
        pending.pop_back();
        const recovery::FolderNames names = recovery::PlanFolderNames(volume, p.volumeNode, &settings_.extras);
        std::vector<Pending> below;
        for (std::uint32_t c = volume.tree.FirstChild(p.volumeNode); c != nw::kNoNode; c = volume.tree.NextSibling(c)) {
            TreeNode folder;
            folder.kind = NodeKind::Folder;
            folder.name = names.Folder(c, nw::NodeText(volume, c));
            folder.parent = p.treeNode;
            folder.entry = nw::FolderOfNode(volume, c);
            folder.mode = 0777 & ~mask;
            folder.uid = root.uid;
            folder.gid = root.gid;
            folder.accessed = folder.modified = now;
            if (folder.entry) {
                const nw::EntryNameSpaces* ns = volume.nameSpaces.Find(*folder.entry);
                if (ns && ns->Has(nw::kNameSpaceNfs)) {
                    folder.mode = ns->mode & 0777;
                    if (settings_.extras.owners && ::geteuid() == 0) {
                        folder.uid = ns->uid;
                        folder.gid = ns->gid;
                    }
                }
                if (const std::optional<recovery::SavedTimes> t = recovery::TimesOf(*folder.entry, settings_.extras.zone)) {
                    folder.accessed = t->accessed;
                    folder.modified = t->modified;
                }
            }
            const std::uint32_t added = Add(std::move(folder));
            if (added != kNoTreeNode) below.push_back({c, added});
        }
        for (std::uint32_t i : volume.FileList.ChildRange(nw::FolderNumberOfNode(volume, p.volumeNode))) {
            const nw::EntryRecord& file = volume.FileList[i];
            if (!recovery::PassesDeletedFilter(filter, file.deletedMarker)) continue;
            AddFile(p.treeNode, file, names.File(i, file.name), now);
        }
        pending.insert(pending.end(), below.rbegin(), below.rend());
    }
}

std::uint32_t MountTree::Add(TreeNode node) {
    const auto index = static_cast<std::uint32_t>(nodes_.size());
    // The name plans keep the names of one folder apart; a clash here would
    // hide an entry, so the first keeps the name.
    if (!byName_.emplace(std::make_pair(node.parent, node.name), index).second) return kNoTreeNode;
    nodes_[node.parent].children.push_back(index);
    nodes_.push_back(std::move(node));
    return index;
}

void MountTree::AddFile(std::uint32_t folder, const nw::EntryRecord& file, const std::string& name,
                        const timespec& now) {
    const mode_t mask = umask_;
    const nw::EntryNameSpaces* ns = volume_.nameSpaces.Find(file);
    TreeNode node;
    node.kind = NodeKind::File;
    node.name = name;
    node.parent = folder;
    node.entry = &file;
    node.mode = 0666 & ~mask;
    node.uid = nodes_[kTreeRoot].uid;
    node.gid = nodes_[kTreeRoot].gid;
    node.accessed = node.modified = now;

    if (IsLink(ns) && settings_.extras.links == recovery::LinkForm::Link) {
        // The save writes the data, then turns it into a link holding it:
        // an empty target or one with a NUL stays a plain file.
        const FileLayout layout = MakeLayout(node);
        std::string target(static_cast<std::size_t>(std::min<std::uint64_t>(layout.length, kSymlinkTargetLimit)), '\0');
        const RangeRead r = ReadRange(volume_, reader_, layout, 0, target.size(),
                                      reinterpret_cast<std::uint8_t*>(target.data()));
        target.resize(static_cast<std::size_t>(r.bytes));
        if (!target.empty() && target.find('\0') == std::string::npos) {
            node.kind = NodeKind::Link;
            node.linkTarget = std::move(target);
            node.mode = 0777;
            Add(std::move(node));
            return;
        }
        // Not made a link: the file keeps the time its commit gave it.
        if (const std::optional<struct timespec> t = recovery::PackedLocalTime(file.timestamp, settings_.extras.zone))
            node.accessed = node.modified = *t;
        Add(std::move(node));
        return;
    }

    if (ns && ns->Has(nw::kNameSpaceNfs)) {
        node.mode = ns->mode & 0777;
        if (settings_.extras.owners && ::geteuid() == 0) {
            node.uid = ns->uid;
            node.gid = ns->gid;
        }
    }
    if (const std::optional<recovery::SavedTimes> t = recovery::TimesOf(file, settings_.extras.zone)) {
        node.accessed = t->accessed;
        node.modified = t->modified;
    } else if (const std::optional<struct timespec> c = recovery::PackedLocalTime(file.timestamp, settings_.extras.zone)) {
        node.accessed = node.modified = *c;
    }
    const bool companion = recovery::GetsCompanion(file, volume_, settings_.extras);
    const std::uint32_t added = Add(node);
    if (companion && added != kNoTreeNode) {
        TreeNode c;
        c.kind = NodeKind::Companion;
        c.name = recovery::kCompanionPrefix + name;
        c.parent = folder;
        c.entry = &file;
        c.companionOf = added;
        c.mode = 0666 & ~mask;
        c.uid = nodes_[kTreeRoot].uid;
        c.gid = nodes_[kTreeRoot].gid;
        c.accessed = c.modified = now;
        Add(std::move(c));
    }
}

std::uint32_t MountTree::Child(std::uint32_t folder, const std::string& name) const {
    const auto it = byName_.find(std::make_pair(folder, name));
    return it == byName_.end() ? kNoTreeNode : it->second;
}

std::string MountTree::PathOf(std::uint32_t node) const {
    std::string path;
    for (std::uint32_t n = node; n != kTreeRoot && n < nodes_.size(); n = nodes_[n].parent)
        path = path.empty() ? nodes_[n].name : nodes_[n].name + "/" + path;
    return path;
}

FileLayout MountTree::MakeLayout(const TreeNode& node) const {
    if (!node.entry) return {};
    if (node.kind == NodeKind::Companion) {
        const nw::EntryNameSpaces* ns = volume_.nameSpaces.Find(*node.entry);
        if (!ns || !ns->HasFork()) return {};
        return LayOutFile(volume_, reader_, ns->forkFirstBlock, ns->forkSize);
    }
    const nw::EntryRecord& file = *node.entry;
    if (file.firstBlock == nw::kChainEnd) return {};
    bool checksumFailed = false;
    const std::uint32_t byteCount = recovery::BytesToRead(volume_, reader_, file, &checksumFailed);
    return LayOutFile(volume_, reader_, file.firstBlock, byteCount);
}

const FileLayout& MountTree::Layout(std::uint32_t node) {
    std::lock_guard<std::mutex> lock(layoutMutex_);
    auto it = layouts_.find(node);
    if (it == layouts_.end()) it = layouts_.emplace(node, MakeLayout(nodes_[node])).first;
    return it->second;
}

std::uint64_t MountTree::Length(std::uint32_t node) {
    const TreeNode& n = nodes_[node];
    switch (n.kind) {
        case NodeKind::Folder: return 0;
        case NodeKind::Link: return n.linkTarget.size();
        case NodeKind::File: return Layout(node).length;
        case NodeKind::Companion: {
            const std::uint64_t fork = Layout(node).length;
            return kAppleDoubleHeader + kAppleDoubleDescriptor * (fork ? 2 : 1) + nw::kFinderInfoSize + fork;
        }
    }
    return 0;
}

std::vector<std::uint8_t> MountTree::CompanionBytes(std::uint32_t node, std::vector<std::uint64_t>* unreadableSectors) {
    const TreeNode& n = nodes_[node];
    const nw::EntryNameSpaces* ns = n.entry ? volume_.nameSpaces.Find(*n.entry) : nullptr;
    if (!ns) return {};
    const FileLayout& layout = Layout(node);
    std::vector<std::uint8_t> fork(static_cast<std::size_t>(layout.length));
    const RangeRead r = ReadRange(volume_, reader_, layout, 0, fork.size(), fork.data());
    if (unreadableSectors) *unreadableSectors = r.unreadableSectors;
    return recovery::AppleDoubleBytes(ns->finderInfo, fork);
}

}  // namespace mountfs
