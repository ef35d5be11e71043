// Folders of the destination, created and opened so that nothing below the
// destination folder is reached through a symbolic link.
#pragma once

#include <string>
#include <vector>

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

// OpenFolderPath for a walk that goes down and up a tree of folders below
// one root: it keeps the folder it opened last and reaches the next one
// from there, climbing through ".." only where the folder it climbs to is
// the very one it came down through (else it starts again at the root). A
// whole walk thus costs one open per folder on the way down and one on the
// way up, however deep the tree.
class FolderChain {
public:
    // `root` as OpenFolderPath takes it ("/" ended).
    explicit FolderChain(std::string root = {}) : root_(std::move(root)) {}
    // As OpenFolderPath(root, path, create); the handle is the caller's.
    FolderFd Open(const std::string& path, bool create);

    // Steps of a walk that knows where it goes: one folder down from the
    // current one (made when `create`), and back up to where it came from.
    // Each costs a constant number of calls, however deep the chain; Enter
    // leaves the chain where it was when it fails (errno set). Open() may be
    // mixed in: it starts from wherever the steps left the chain.
    bool Enter(const std::string& name, bool create);
    void Leave();
    // The folder the chain stands in (the root before any step); -1 when
    // it cannot be opened. The handle stays the chain's.
    int Current();

private:
    struct Level {
        std::string name;
        unsigned long long device = 0;
        unsigned long long inode = 0;
    };
    bool Restart();
    bool Reach(const std::vector<std::string>& names);  // from the root, down through `names`
    bool Down(const std::string& name, bool create);
    bool Up();

    std::string root_;
    FolderFd current_;          // the deepest folder of levels_ (the root when it is empty)
    bool open_ = false;         // current_ is valid
    Level rootLevel_;
    std::vector<Level> levels_;  // below the root, outermost first
    // The folders a walk is in when the chain could not climb back into
    // them (a folder moved meanwhile): while set, the chain stands nowhere.
    std::vector<std::string> unreached_;
};

}  // namespace recovery
