// The names the entries of one destination folder are saved under. Every
// entry of a save reaches the destination: when two entries of a folder
// would land on one name (a deleted file and its live successor, or names
// that become equal once made safe), the live entry keeps the name and the
// other gets a name of its own, the same one on every run.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace nw {
struct MountedVolume;
}

namespace recovery {

struct ExtrasSettings;

struct NameCandidate {
    std::string name;  // the name on the disk
    bool deleted = false;
};

// Names for the candidates, in their order. A name is SafeName() of the
// disk name unless another candidate holds it (compared without regard to
// letter case, as the destination's file system may): live entries whose
// names needed no change claim first, then live entries whose names were
// made safe, then deleted ones, each group in the candidates' order. A
// deleted entry that lost its name is saved as "NAME (deleted).EXT" (then
// "(deleted 2)", ...), a live one as "NAME (2).EXT" (then "(3)", ...),
// never as the name of another candidate. Linear: each name and kind of
// suffix goes on from the number it gave last. `attempts`, when given, is
// set to the number of suffixed names tried.
std::vector<std::string> PlanNames(const std::vector<NameCandidate>& candidates, std::size_t* attempts = nullptr);

// The planned names of one volume folder's entries: its folders (by tree
// node) and its files (by index in the file list), planned together since
// they share one destination folder. Only names other than SafeName() of
// the disk name are held.
struct FolderNames {
    std::unordered_map<std::uint32_t, std::string> folders;
    std::unordered_map<std::size_t, std::string> files;

    std::string Folder(std::uint32_t node, const std::string& diskName) const;
    std::string File(std::size_t index, const std::string& diskName) const;
};
// With `extras`, the companions "._NAME" of the files that get one (see
// GetsCompanion) hold their names first: an entry of the folder whose name
// would be a companion's is the one renamed, so a companion never meets
// another entry.
FolderNames PlanFolderNames(const nw::MountedVolume& volume, std::uint32_t node, const ExtrasSettings* extras = nullptr);

}  // namespace recovery
