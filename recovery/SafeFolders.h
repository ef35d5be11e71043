// Folders of the destination, created and opened so that nothing below the
// destination folder is reached through a symbolic link.
#pragma once

#include <string>

namespace recovery {

// A destination folder as a root for OpenFolderPath: "/" ended.
std::string DestinationRoot(const std::string& folder);

// An open folder (closed on destruction).
class FolderFd {
public:
    FolderFd() = default;
    explicit FolderFd(int fd) : fd_(fd) {}
    ~FolderFd();
    FolderFd(FolderFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    FolderFd& operator=(FolderFd&& other) noexcept;
    FolderFd(const FolderFd&) = delete;
    FolderFd& operator=(const FolderFd&) = delete;
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Opens the folder at `path`, creating every missing folder along it first
// when `create` is set. A path that starts with `root` (the job's
// destination folder, "/" ended) is walked below it component by component
// without following links; other paths are taken as the user gave them.
// Returns a closed handle (errno set) when the folder cannot be reached, or
// when a part below the root is a link or not a folder.
FolderFd OpenFolderPath(const std::string& root, const std::string& path, bool create);

// Creates every missing folder along a path taken as given (links followed).
void CreateFoldersAlong(const std::string& path);

}  // namespace recovery
