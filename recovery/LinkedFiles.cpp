#include "recovery/LinkedFiles.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace recovery {

namespace {
constexpr int kHiddenNameAttempts = 1000;
}  // namespace

bool MakeUnderName(int dirFd, const std::string& name, const std::function<int(const char* hidden)>& make) {
    for (int k = 0; k < kHiddenNameAttempts; ++k) {
        const std::string hidden = "." + name + "." + std::to_string(::getpid()) + "-" + std::to_string(k) + ".link";
        if (make(hidden.c_str()) != 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        if (::renameat(dirFd, hidden.c_str(), dirFd, name.c_str()) != 0) {
            const int error = errno;
            ::unlinkat(dirFd, hidden.c_str(), 0);
            errno = error;
            return false;
        }
        return true;
    }
    errno = EEXIST;
    return false;
}

void SavedLinks::Remember(std::uint32_t group, int dirFd, const std::string& name) {
    if (saved_.size() >= kMaxGroups || saved_.count(group)) return;
    FolderFd folder(::fcntl(dirFd, F_DUPFD_CLOEXEC, 0));
    if (!folder.ok()) return;
    saved_.emplace(group, Saved{std::move(folder), name});
}

bool SavedLinks::LinkTo(std::uint32_t group, int dirFd, const std::string& name) const {
    const auto it = saved_.find(group);
    if (it == saved_.end()) {
        errno = ENOENT;
        return false;
    }
    const Saved& from = it->second;
    // Flags 0: a link lying under the saved name is linked itself, never followed.
    return MakeUnderName(dirFd, name, [&](const char* hidden) {
        return ::linkat(from.folder.get(), from.name.c_str(), dirFd, hidden, 0);
    });
}

}  // namespace recovery
