// Reading the folder tree: the record and text of a node, paths, finding an
// entry by its path and walking a subtree.
#include <cctype>

#include "netware/FolderTree.h"
#include "netware/MountedVolume.h"
#include "netware/Records.h"

namespace nw {

namespace {

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Adds a path component, with a "\\" in between unless the path is empty or
// already ends in one.
void AppendName(std::string& path, const std::string& name) {
    if (!path.empty() && path.back() != '\\') path += '\\';
    path += name;
}

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\' || c == '/') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

}  // namespace

const EntryRecord* FolderOfNode(const MountedVolume& volume, std::uint32_t node) {
    if (node == kRootNode || node >= volume.tree.Size()) return nullptr;
    const std::uint32_t index = volume.tree[node].folderIndex;
    return index < volume.FolderList.Size() ? &volume.FolderList[index] : nullptr;
}

std::uint32_t FolderNumberOfNode(const MountedVolume& volume, std::uint32_t node) {
    const EntryRecord* r = FolderOfNode(volume, node);
    return r ? r->ownNumber : kRootFolderNumber;
}

std::string NodeText(const MountedVolume& volume, std::uint32_t node) {
    if (node == kRootNode) return volume.tree.RootText();
    const EntryRecord* r = FolderOfNode(volume, node);
    return r ? r->name : std::string();
}

std::string NodePath(const MountedVolume& volume, std::uint32_t node) {
    const FolderTree& tree = volume.tree;
    if (node == kRootNode || node >= tree.Size()) return {};
    // Each folder's text followed by "\\" unless it already ends in one;
    // built from the top down, so a deep path costs its length only.
    std::vector<std::uint32_t> above;
    for (std::uint32_t p = tree.Parent(node); p != kNoNode && p != kRootNode; p = tree.Parent(p)) above.push_back(p);
    std::string path;
    for (auto it = above.rbegin(); it != above.rend(); ++it) {
        path += NodeText(volume, *it);
        if (path.empty() || path.back() != '\\') path += '\\';
    }
    return path + NodeText(volume, node);
}

std::string NodePath(const MountedVolume& volume, std::uint32_t node, const NameText& text) {
    if (!text) return NodePath(volume, node);
    const FolderTree& tree = volume.tree;
    if (node == kRootNode || node >= tree.Size()) return {};
    std::vector<std::uint32_t> chain;
    for (std::uint32_t p = node; p != kNoNode && p != kRootNode; p = tree.Parent(p)) chain.push_back(p);
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (it != chain.rbegin()) path += '\\';
        path += text(NodeText(volume, *it));
    }
    return path;
}

std::string ShownPath(const MountedVolume& volume, std::uint32_t node) {
    return volume.tree.RootText() + ":\\" + NodePath(volume, node);
}

bool FindEntryByPath(const MountedVolume& volume, const std::string& path, PathMatch* match) {
    if (!match) return false;
    const FolderTree& tree = volume.tree;
    const std::vector<std::string> parts = SplitPath(path);
    std::uint32_t current = kRootNode;
    *match = PathMatch{};
    for (std::size_t k = 0; k < parts.size(); ++k) {
        const bool last = k + 1 == parts.size();
        bool advanced = false;
        // Two rounds: exact names, then names that differ only in case.
        for (int round = 0; round < 2 && !advanced; ++round) {
            auto same = [&](const std::string& a) {
                return round == 0 ? a == parts[k] : SameTextIgnoringCase(a, parts[k]);
            };
            for (std::uint32_t c = tree.FirstChild(current); c != kNoNode; c = tree.NextSibling(c)) {
                if (same(NodeText(volume, c))) {
                    current = c;
                    *match = PathMatch{true, c, kNoEntry, FolderOfNode(volume, c)};
                    advanced = true;
                    break;
                }
            }
            if (advanced || !last) continue;
            for (std::uint32_t i : volume.FileList.ChildRange(FolderNumberOfNode(volume, current))) {
                if (same(volume.FileList[i].name)) {
                    *match = PathMatch{false, current, i, &volume.FileList[i]};
                    return true;
                }
            }
        }
        if (!advanced) return false;
    }
    return true;
}

void WalkTree(const MountedVolume& volume, std::uint32_t node, const std::function<void(const WalkItem&)>& fn,
              const NameText& text) {
    const FolderTree& tree = volume.tree;
    if (node >= tree.Size()) return;
    // One path string for the whole walk: a frame remembers the length to
    // cut it back to, so a deep tree costs no copy of a path per level.
    struct Frame {
        std::uint32_t node;
        std::size_t restore;  // the path's length before this frame's name was added
        std::uint32_t nextChild;
    };
    auto append = [&](std::string& path, const std::string& name) {
        if (!text) return AppendName(path, name);
        if (!path.empty()) path += '\\';
        path += text(name);
    };
    std::string path = NodePath(volume, node, text);
    std::vector<Frame> stack;
    stack.push_back({node, path.size(), tree.FirstChild(node)});
    while (!stack.empty()) {
        if (const std::uint32_t c = stack.back().nextChild; c != kNoNode) {
            stack.back().nextChild = tree.NextSibling(c);
            const std::size_t before = path.size();
            append(path, NodeText(volume, c));
            if (const EntryRecord* rec = FolderOfNode(volume, c)) fn(WalkItem{rec, path, true, c, tree[c].folderIndex});
            stack.push_back({c, before, tree.FirstChild(c)});
            continue;
        }
        const Frame f = stack.back();
        stack.pop_back();
        const std::size_t folderLength = path.size();
        for (std::uint32_t i : volume.FileList.ChildRange(FolderNumberOfNode(volume, f.node))) {
            append(path, volume.FileList[i].name);
            fn(WalkItem{&volume.FileList[i], path, false, kNoNode, i});
            path.resize(folderLength);
        }
        path.resize(f.restore);
    }
}

}  // namespace nw
