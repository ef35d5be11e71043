#include "recovery/SafeFolders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace recovery {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

}  // namespace

FolderFd::~FolderFd() {
    if (fd_ >= 0) ::close(fd_);
}

FolderFd& FolderFd::operator=(FolderFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

std::string DestinationRoot(const std::string& folder) {
    if (!folder.empty() && folder.back() != '/') return folder + '/';
    return folder;
}

void CreateFoldersAlong(const std::string& path) {
    for (std::size_t i = 1; i < path.size(); ++i)
        if (path[i] == '/' && path[i - 1] != '/') ::mkdir(path.substr(0, i).c_str(), 0777);
    if (!path.empty()) ::mkdir(path.c_str(), 0777);
}

FolderFd OpenFolderPath(const std::string& root, const std::string& path, bool create) {
    const bool isRoot = !root.empty() && (path == root || path + "/" == root);
    const bool below = !root.empty() && !isRoot && path.size() > root.size() && path.compare(0, root.size(), root) == 0;
    if (!below) {
        if (create) CreateFoldersAlong(path);
        return FolderFd(::open(path.c_str(), kFolderFlags));
    }
    if (create) CreateFoldersAlong(root);
    FolderFd dir(::open(root.c_str(), kFolderFlags));
    if (!dir.ok()) return dir;
    std::size_t pos = root.size();
    while (pos < path.size()) {
        std::size_t end = path.find('/', pos);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty()) continue;
        if (part == "." || part == "..") {
            errno = EINVAL;
            return FolderFd();
        }
        if (create && ::mkdirat(dir.get(), part.c_str(), 0777) != 0 && errno != EEXIST) return FolderFd();
        FolderFd next(::openat(dir.get(), part.c_str(), kFolderFlags | O_NOFOLLOW));
        if (!next.ok()) return next;
        dir = std::move(next);
    }
    return dir;
}

}  // namespace recovery
