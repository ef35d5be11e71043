// Links a save makes in the destination: hard links between the saved
// entries of one file, and the hidden name a link is made under before it
// takes its own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

#include "recovery/SafeFolders.h"

namespace recovery {

// Makes an entry under a new hidden name in the folder `dirFd` by calling
// `make` with that name (make returns 0, or -1 with errno EEXIST when the
// name is taken, and another name is tried), then renames it to `name`,
// replacing what is there without following it. Nothing that already
// exists is removed but what lies under `name`. False with errno set when
// the entry could not be made or named.
bool MakeUnderName(int dirFd, const std::string& name, const std::function<int(const char* hidden)>& make);

// The first saved file of each group of hard-linked entries, so that the
// others become links to it.
class SavedLinks {
public:
    // Notes that the group's file is saved as `name` in the folder `dirFd`
    // (kept open by a copy of the descriptor); the first note of a group
    // stands. Beyond kMaxGroups groups nothing more is noted.
    void Remember(std::uint32_t group, int dirFd, const std::string& name);
    // Makes `name` in the folder `dirFd` a hard link to the group's saved
    // file; false (errno set) when the group has none or the link cannot be
    // made, and the caller then saves a copy.
    bool LinkTo(std::uint32_t group, int dirFd, const std::string& name) const;

    static constexpr std::size_t kMaxGroups = 512;

private:
    struct Saved {
        FolderFd folder;
        std::string name;
    };
    std::unordered_map<std::uint32_t, Saved> saved_;
};

}  // namespace recovery
