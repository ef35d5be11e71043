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

namespace {

bool Identity(int fd, unsigned long long* device, unsigned long long* inode) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return false;
    *device = st.st_dev;
    *inode = st.st_ino;
    return true;
}

}  // namespace

bool FolderChain::Restart() {
    levels_.clear();
    open_ = false;
    current_ = FolderFd(::open(root_.c_str(), kFolderFlags));
    if (!current_.ok() || !Identity(current_.get(), &rootLevel_.device, &rootLevel_.inode)) return false;
    open_ = true;
    return true;
}

bool FolderChain::Down(const std::string& name, bool create) {
    if (name == "." || name == "..") {
        errno = EINVAL;
        return false;
    }
    if (create && ::mkdirat(current_.get(), name.c_str(), 0777) != 0 && errno != EEXIST) return false;
    FolderFd next(::openat(current_.get(), name.c_str(), kFolderFlags | O_NOFOLLOW));
    Level level{name, 0, 0};
    if (!next.ok() || !Identity(next.get(), &level.device, &level.inode)) return false;
    current_ = std::move(next);
    levels_.push_back(std::move(level));
    return true;
}

bool FolderChain::Up() {
    const Level& parent = levels_.size() >= 2 ? levels_[levels_.size() - 2] : rootLevel_;
    FolderFd up(::openat(current_.get(), "..", kFolderFlags));
    unsigned long long device = 0, inode = 0;
    if (!up.ok() || !Identity(up.get(), &device, &inode) || device != parent.device || inode != parent.inode)
        return false;  // moved meanwhile: the caller starts again at the root
    current_ = std::move(up);
    levels_.pop_back();
    return true;
}

int FolderChain::Current() {
    if (!unreached_.empty()) {
        errno = ENOENT;
        return -1;
    }
    if (!open_ && !Restart()) return -1;
    return current_.get();
}

bool FolderChain::Enter(const std::string& name, bool create) {
    if (!unreached_.empty()) {
        errno = ENOENT;
        return false;
    }
    if (!open_ && !Restart()) return false;
    return Down(name, create);
}

bool FolderChain::Reach(const std::vector<std::string>& names) {
    if (!Restart()) return false;
    for (const std::string& name : names)
        if (!Down(name, false)) {
            Restart();
            return false;
        }
    return true;
}

void FolderChain::Leave() {
    if (!unreached_.empty()) {
        // The folders the walk is in could not be reached again: try once
        // more from the root each time it climbs.
        unreached_.pop_back();
        if (Reach(unreached_)) unreached_.clear();
        return;
    }
    if (!open_ || levels_.empty()) return;
    if (Up()) return;
    // Moved meanwhile: down again from the root to the folder above. Until
    // it can be reached, nothing is written in its place.
    std::vector<std::string> above;
    for (std::size_t k = 0; k + 1 < levels_.size(); ++k) above.push_back(levels_[k].name);
    if (!Reach(above)) unreached_ = std::move(above);
}

FolderFd FolderChain::Open(const std::string& path, bool create) {
    unreached_.clear();
    const bool isRoot = !root_.empty() && (path == root_ || path + "/" == root_);
    const bool below = !root_.empty() && !isRoot && path.size() > root_.size() &&
                       path.compare(0, root_.size(), root_) == 0;
    if (!below && !isRoot) return OpenFolderPath(root_, path, create);

    std::vector<std::string> parts;
    for (std::size_t pos = root_.size(); pos < path.size();) {
        std::size_t end = path.find('/', pos);
        if (end == std::string::npos) end = path.size();
        if (end > pos) parts.push_back(path.substr(pos, end - pos));
        pos = end + 1;
    }
    if (!open_) {
        if (create) CreateFoldersAlong(root_);
        if (!Restart()) return FolderFd();
    }
    std::size_t common = 0;
    while (common < parts.size() && common < levels_.size() && parts[common] == levels_[common].name) ++common;
    while (levels_.size() > common) {
        if (!Up()) {
            if (!Restart()) return FolderFd();
            common = 0;
        }
    }
    for (std::size_t k = levels_.size(); k < parts.size(); ++k) {
        if (!Down(parts[k], create)) {
            const int error = errno;
            Restart();  // a known state for the next call
            errno = error;
            return FolderFd();
        }
    }
    const int copy = ::fcntl(current_.get(), F_DUPFD_CLOEXEC, 0);
    return FolderFd(copy);
}

}  // namespace recovery
