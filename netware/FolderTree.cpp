#include "netware/FolderTree.h"

#include <algorithm>
#include <unordered_set>

#include "base/Progress.h"
#include "netware/MountedVolume.h"
#include "netware/Records.h"

namespace nw {

// ---- the tree ---------------------------------------------------------------------

void FolderTree::Reset(const std::string& rootText) {
    std::vector<Node>(1).swap(nodes_);
    rootText_ = rootText;
}

std::uint32_t FolderTree::Add(std::uint32_t parent, std::uint32_t folderIndex) {
    const auto node = static_cast<std::uint32_t>(nodes_.size());
    Node n;
    n.folderIndex = folderIndex;
    n.parent = parent;
    nodes_.push_back(n);
    Node& p = nodes_[parent];
    if (p.lastChild == kNoNode)
        p.firstChild = node;
    else
        nodes_[p.lastChild].nextSibling = node;
    p.lastChild = node;
    return node;
}

// ---- building ----------------------------------------------------------------------

EntryRecord& AppendLostFolder(EntryList& folders, std::uint32_t ordinal) {
    EntryRecord r;
    r.attributes = kAttrFolder;
    r.name = kLostFolderName;
    r.parentNumber = kRootFolderNumber;
    r.ownNumber = kLostFolderNumber;
    r.ordinal = ordinal;
    return folders.Append(std::move(r));
}

bool ResolveLostFolders(EntryList& folders, std::uint32_t folderCount, const std::function<void(int)>& progress,
                        const std::function<bool()>& stop) {
    std::uint64_t handled = 0;
    for (std::size_t i = 0; i < folders.Size(); ++i) {
        if (stop && stop()) return false;
        const std::uint32_t parent = folders[i].parentNumber;
        if (parent == kRootFolderNumber) continue;
        if (!folders.HasOwnNumber(parent)) folders.SetParentNumber(i, kLostFolderNumber);
        ++handled;
        if (progress) progress(base::PercentOf(handled, folderCount));
    }
    return true;
}

std::size_t BreakParentCycles(EntryList& folders) {
    const std::size_t n = folders.Size();
    // The folder numbers the root reaches, breadth first through the
    // children of each number.
    std::unordered_set<std::uint32_t> reached{kRootFolderNumber};
    std::vector<std::uint32_t> pending{kRootFolderNumber};
    while (!pending.empty()) {
        const std::uint32_t number = pending.back();
        pending.pop_back();
        for (std::uint32_t i : folders.ChildRange(number))
            if (reached.insert(folders[i].ownNumber).second) pending.push_back(folders[i].ownNumber);
    }
    // Each folder the root does not reach leads, parent by parent, into a
    // cycle (or to a parent number no folder has, while the lost-folder
    // pass was stopped). Every walk stamps the folders it passes; meeting
    // its own stamp again closes a cycle, which is cut at its first folder
    // in list order. Meeting an earlier walk's stamp ends the walk: that
    // way is already cut. Each folder is passed once.
    constexpr std::size_t kUnstamped = static_cast<std::size_t>(-1);
    std::vector<std::size_t> stamp(n, kUnstamped);
    std::vector<std::size_t> cuts;
    for (std::size_t start = 0; start < n; ++start) {
        if (stamp[start] != kUnstamped || reached.count(folders[start].parentNumber)) continue;
        std::size_t at = start;
        while (at != kNoEntry && stamp[at] == kUnstamped && !reached.count(folders[at].parentNumber)) {
            stamp[at] = start;
            at = folders.IndexOfOwnNumber(folders[at].parentNumber);
        }
        if (at == kNoEntry || stamp[at] != start) continue;
        std::size_t first = at;
        for (std::size_t k = folders.IndexOfOwnNumber(folders[at].parentNumber); k != at;
             k = folders.IndexOfOwnNumber(folders[k].parentNumber))
            first = std::min(first, k);
        cuts.push_back(first);
    }
    const std::uint32_t lost = folders.HasOwnNumber(kLostFolderNumber) ? kLostFolderNumber : kRootFolderNumber;
    for (std::size_t i : cuts) folders.SetParentNumber(i, lost);
    return cuts.size();
}

std::uint32_t PopulateFolderTree(MountedVolume& volume, const std::string& rootText) {
    EntryList& folders = volume.FolderList;
    FolderTree& tree = volume.tree;
    BreakParentCycles(folders);
    tree.Reset(rootText.empty() ? volume.currentVolume.name : rootText);
    for (EntryRecord& r : folders) r.treeNode = kNoNode;

    // A folder table where two folders share a number shows the shared
    // children under each of them; a chain of such duplicates would multiply
    // without end, so the number of nodes is bounded.
    constexpr std::size_t kMinNodeBudget = 65536;
    constexpr std::size_t kNodesPerFolder = 4;
    const std::size_t nodeBudget = std::max<std::size_t>(folders.Size() * kNodesPerFolder, kMinNodeBudget);

    struct Frame {
        std::uint32_t node;
        std::uint32_t number;
        EntryList::IndexRange children;
        const std::uint32_t* pos;
    };
    std::vector<Frame> stack;
    // Numbers on the current path: the frames themselves are searched up to
    // a small depth, deeper ones are also kept in a set.
    constexpr std::size_t kScannedDepth = 32;
    std::unordered_set<std::uint32_t> deepPath;
    auto onPath = [&](std::uint32_t number) {
        const std::size_t scanned = std::min(stack.size(), kScannedDepth);
        for (std::size_t i = 0; i < scanned; ++i)
            if (stack[i].number == number) return true;
        return stack.size() > kScannedDepth && deepPath.count(number) != 0;
    };
    std::uint32_t inserted = 0;
    auto push = [&](std::uint32_t node, std::uint32_t number) {
        if (stack.size() >= kScannedDepth) deepPath.insert(number);
        const EntryList::IndexRange r = folders.ChildRange(number);
        stack.push_back(Frame{node, number, r, r.begin()});
    };
    push(kRootNode, kRootFolderNumber);
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.pos == f.children.end() || inserted >= nodeBudget) {
            if (stack.size() > kScannedDepth) deepPath.erase(f.number);
            stack.pop_back();
            continue;
        }
        const std::uint32_t index = *f.pos++;
        const std::uint32_t parent = f.node;
        EntryRecord& rec = folders[index];
        const std::uint32_t node = tree.Add(parent, index);
        rec.treeNode = node;
        ++inserted;
        if (!onPath(rec.ownNumber)) push(node, rec.ownNumber);
    }
    return inserted;
}

}  // namespace nw
