#include "recovery/SaveNames.h"

#include "recovery/EntryExtras.h"

#include <algorithm>
#include <numeric>
#include <unordered_set>

#include "netware/FolderTree.h"
#include "netware/MountedVolume.h"
#include "recovery/SaveEngine.h"

namespace recovery {

namespace {

constexpr std::size_t kNameMax = 255;  // bytes of one name on the destination

std::string FoldCase(const std::string& name) {
    std::string out = name;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// "BASE<suffix>.EXT" (the extension after the last dot, when the dot is
// not the first character), shortened to fit a name.
std::string WithSuffix(const std::string& name, const std::string& suffix) {
    const std::size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    std::string base = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot) : std::string();
    const std::size_t room = kNameMax > suffix.size() + extension.size() ? kNameMax - suffix.size() - extension.size() : 1;
    if (base.size() > room) base.resize(room);
    return base + suffix + extension;
}

}  // namespace

std::vector<std::string> PlanNames(const std::vector<NameCandidate>& candidates, std::size_t* attempts) {
    const std::size_t n = candidates.size();
    std::vector<std::string> names(n);
    std::unordered_set<std::string> reserved;
    std::vector<int> group(n);
    for (std::size_t i = 0; i < n; ++i) {
        names[i] = SafeName(candidates[i].name);
        reserved.insert(FoldCase(names[i]));
        group[i] = (candidates[i].deleted ? 2 : 0) + (names[i] != candidates[i].name ? 1 : 0);
    }
    if (attempts) *attempts = 0;
    if (reserved.size() == n) return names;  // no two share a name

    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return group[a] < group[b]; });
    std::unordered_set<std::string> taken;
    // Each name and kind of suffix remembers the number to try next: the
    // numbers below it are taken for good, so entries sharing one name
    // cost one attempt each, not one per entry before them.
    std::unordered_map<std::string, unsigned> nextNumber;
    for (std::size_t i : order) {
        if (taken.insert(FoldCase(names[i])).second) continue;
        const bool deleted = candidates[i].deleted;
        unsigned& k = nextNumber.try_emplace(std::string(deleted ? "d" : "l") + FoldCase(names[i]), deleted ? 1u : 2u)
                          .first->second;
        for (;; ++k) {
            if (attempts) ++*attempts;
            const std::string suffix = deleted ? (k == 1 ? std::string(" (deleted)") : " (deleted " + std::to_string(k) + ")")
                                               : " (" + std::to_string(k) + ")";
            std::string candidate = WithSuffix(names[i], suffix);
            const std::string key = FoldCase(candidate);
            if (reserved.count(key) || taken.count(key)) continue;
            taken.insert(key);
            names[i] = std::move(candidate);
            ++k;
            break;
        }
    }
    return names;
}

FolderNames PlanFolderNames(const nw::MountedVolume& volume, std::uint32_t node, const ExtrasSettings* extras) {
    std::vector<NameCandidate> candidates;
    std::vector<std::uint32_t> folders;
    for (std::uint32_t c = volume.tree.FirstChild(node); c != nw::kNoNode; c = volume.tree.NextSibling(c)) {
        const nw::EntryRecord* record = nw::FolderOfNode(volume, c);
        candidates.push_back({nw::NodeText(volume, c), record && record->IsDeleted()});
        folders.push_back(c);
    }
    const std::vector<std::size_t> files = volume.FileList.ChildrenOf(nw::FolderNumberOfNode(volume, node));
    for (std::size_t i : files) candidates.push_back({volume.FileList[i].name, volume.FileList[i].IsDeleted()});
    std::vector<std::string> names = PlanNames(candidates);

    // Companions claim their names before every entry: when one would meet
    // an entry's name, the plan is made again with the companions first.
    // (A file whose own name changes then keeps its companion's old name
    // reserved, which costs nothing but a suffix.)
    if (extras) {
        std::vector<NameCandidate> companions;
        for (std::size_t k = folders.size(); k < names.size(); ++k)
            if (GetsCompanion(volume.FileList[files[k - folders.size()]], volume, *extras))
                companions.push_back({kCompanionPrefix + names[k], false});
        if (!companions.empty()) {
            std::vector<NameCandidate> all = companions;
            all.insert(all.end(), candidates.begin(), candidates.end());
            std::vector<std::string> planned = PlanNames(all);
            names.assign(planned.begin() + static_cast<std::ptrdiff_t>(companions.size()), planned.end());
        }
    }

    FolderNames out;
    for (std::size_t k = 0; k < names.size(); ++k) {
        if (names[k] == SafeName(candidates[k].name)) continue;
        if (k < folders.size()) out.folders.emplace(folders[k], std::move(names[k]));
        else out.files.emplace(files[k - folders.size()], std::move(names[k]));
    }
    return out;
}

std::string FolderNames::Folder(std::uint32_t node, const std::string& diskName) const {
    const auto it = folders.find(node);
    return it != folders.end() ? it->second : SafeName(diskName);
}

std::string FolderNames::File(std::size_t index, const std::string& diskName) const {
    const auto it = files.find(index);
    return it != files.end() ? it->second : SafeName(diskName);
}

}  // namespace recovery
