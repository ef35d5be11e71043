// Serves a MountTree read-only through the kernel's FUSE interface
// (libfuse3, low-level). Every request that would change anything is
// refused with EROFS; reads go through the tree's file layouts, so they
// read only the sectors they need. A read that meets unreadable sectors
// returns zeros for them (or EIO when asked), is reported through `note`,
// and from then on the file carries the extended attribute
// "user.tarvine.damaged" with its unreadable byte count; sectors known to
// be unreadable beforehand (a mapfile, a missing segment) count from the
// start.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "mountfs/MountTree.h"

struct fuse_session;

namespace mountfs {

constexpr const char* kDamagedAttribute = "user.tarvine.damaged";
constexpr std::uint32_t kMaxRead = 1u << 20;  // bytes one read request may ask for

struct ServeSettings {
    bool eio = false;     // unreadable sectors fail the read with EIO instead of reading as zeros
    std::string fsName;   // what mount(8) lists as the source
    // Told once for each newly found unreadable range of a file: its path
    // below the mount point and the byte range [first, end).
    std::function<void(const std::string& path, std::uint64_t first, std::uint64_t end)> note;
};

enum class ServeEnd {
    Unmounted,    // umount or fusermount3 -u
    Interrupted,  // SIGINT
    Terminated,   // SIGTERM or SIGHUP
    Failed,       // the session failed
};

struct OpenFile;  // what an open file keeps (FuseServer.cpp)

class FuseServer {
public:
    FuseServer(MountTree& tree, ServeSettings settings);
    ~FuseServer();
    FuseServer(const FuseServer&) = delete;
    FuseServer& operator=(const FuseServer&) = delete;

    // Mounts at `mountPoint`; false with *error saying why.
    bool Mount(const std::string& mountPoint, std::string* error);
    // Serves requests until the mount is ended (umount), End() is called,
    // or (with `handleSignals`) a SIGINT, SIGTERM or SIGHUP arrives
    // (handled only while this runs); then unmounts.
    ServeEnd Run(bool handleSignals = true);
    // Asks Run to end from another thread; Run notices at its next request
    // or when its wait for one is interrupted by a signal.
    void End();

    // The unreadable bytes of a node known so far (found by reads, and
    // those known without reading).
    std::uint64_t DamagedBytes(std::uint32_t node);

    // The request handlers' side (called from libfuse's callbacks).
    MountTree& Tree() { return tree_; }
    const ServeSettings& Settings() const { return settings_; }
    // Notes sectors (by index within the node's data) a read found
    // unreadable, reporting those no read reported before.
    void NoteUnreadable(std::uint32_t node, const std::vector<std::uint64_t>& sectors);
    // The files the kernel holds open: handed out on open, taken back on
    // release; those still open when the mount ends go with the server.
    std::uint64_t Opened(std::unique_ptr<OpenFile> file);
    void Released(std::uint64_t handle);

private:
    std::uint64_t BytesOf(std::uint32_t node, const std::set<std::uint64_t>& sectors);

    MountTree& tree_;
    ServeSettings settings_;
    fuse_session* session_ = nullptr;
    bool mounted_ = false;
    std::atomic<bool> ended_{false};
    std::mutex damageMutex_;
    std::map<std::uint32_t, std::set<std::uint64_t>> damaged_;  // node -> unreadable sector indexes
    std::map<std::uint32_t, std::set<std::uint64_t>> reported_;  // node -> sectors a read has reported
    std::set<std::uint32_t> scanned_;  // nodes whose known unreadable sectors are in damaged_
    std::mutex openMutex_;
    std::map<std::uint64_t, std::unique_ptr<OpenFile>> open_;  // handle -> open file
};

// Whether a FUSE mount can be tried here: "" when it can, else why not
// ("/dev/fuse is missing", "no permission to open /dev/fuse").
std::string FuseUnavailableReason();

}  // namespace mountfs
