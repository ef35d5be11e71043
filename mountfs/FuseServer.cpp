#define FUSE_USE_VERSION 34
#include "mountfs/FuseServer.h"

#include <fuse_lowlevel.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "netware/Records.h"

namespace mountfs {

// What an open file keeps: a companion's bytes (made whole on open) and the
// last range read, for requests that come back to it.
struct OpenFile {
    std::uint32_t node = 0;
    std::vector<std::uint8_t> companion;
    std::vector<std::uint64_t> companionUnreadable;
    std::uint64_t cachedAt = 0;
    std::size_t cachedBytes = 0;
    std::unique_ptr<std::uint8_t[]> cache;
};

namespace {

constexpr double kForever = 86400.0;  // the tree never changes while mounted
constexpr std::uint64_t kSector = nw::kSectorSize;

// The session a signal ends, and the signal that ended it; only one
// session runs in a process at a time.
std::atomic<fuse_session*> gServing{nullptr};
std::atomic<int> gSignal{0};

extern "C" void EndOnSignal(int sig) {
    gSignal = sig;
    if (fuse_session* se = gServing.load()) fuse_session_exit(se);
}

FuseServer& ServerOf(fuse_req_t req) { return *static_cast<FuseServer*>(fuse_req_userdata(req)); }

// Inode numbers: the tree's node + 1 (the root is FUSE_ROOT_ID).
std::uint32_t NodeOf(FuseServer& s, fuse_ino_t ino) {
    if (ino < 1 || ino > s.Tree().Size()) return kNoTreeNode;
    return static_cast<std::uint32_t>(ino - 1);
}

struct stat StatOf(FuseServer& s, std::uint32_t node) {
    const TreeNode& n = s.Tree().Node(node);
    struct stat st{};
    st.st_ino = node + 1;
    switch (n.kind) {
        case NodeKind::Folder: st.st_mode = S_IFDIR; st.st_nlink = 2; break;
        case NodeKind::Link: st.st_mode = S_IFLNK; st.st_nlink = 1; break;
        default: st.st_mode = S_IFREG; st.st_nlink = 1; break;
    }
    st.st_mode |= n.mode & 07777;
    st.st_uid = n.uid;
    st.st_gid = n.gid;
    st.st_size = static_cast<off_t>(s.Tree().Length(node));
    st.st_blksize = 65536;
    st.st_blocks = (st.st_size + 511) / 512;
    st.st_atim = n.accessed;
    st.st_mtim = n.modified;
    st.st_ctim = n.modified;
    return st;
}

void DoInit(void*, fuse_conn_info* conn) {
    conn->max_read = kMaxRead;
    // Large reads and the kernel's readahead, as far as the kernel goes.
    conn->max_readahead = std::max(conn->max_readahead, kMaxRead);
}

void DoLookup(fuse_req_t req, fuse_ino_t parent, const char* name) {
    FuseServer& s = ServerOf(req);
    const std::uint32_t folder = NodeOf(s, parent);
    if (folder == kNoTreeNode || s.Tree().Node(folder).kind != NodeKind::Folder) {
        fuse_reply_err(req, ENOTDIR);
        return;
    }
    const std::uint32_t node = s.Tree().Child(folder, name);
    if (node == kNoTreeNode) {
        fuse_reply_err(req, ENOENT);
        return;
    }
    fuse_entry_param e{};
    e.ino = node + 1;
    e.attr = StatOf(s, node);
    e.attr_timeout = kForever;
    e.entry_timeout = kForever;
    fuse_reply_entry(req, &e);
}

void DoGetattr(fuse_req_t req, fuse_ino_t ino, fuse_file_info*) {
    FuseServer& s = ServerOf(req);
    const std::uint32_t node = NodeOf(s, ino);
    if (node == kNoTreeNode) {
        fuse_reply_err(req, ENOENT);
        return;
    }
    const struct stat st = StatOf(s, node);
    fuse_reply_attr(req, &st, kForever);
}

void DoReadlink(fuse_req_t req, fuse_ino_t ino) {
    FuseServer& s = ServerOf(req);
    const std::uint32_t node = NodeOf(s, ino);
    if (node == kNoTreeNode || s.Tree().Node(node).kind != NodeKind::Link) {
        fuse_reply_err(req, EINVAL);
        return;
    }
    fuse_reply_readlink(req, s.Tree().Node(node).linkTarget.c_str());
}

void DoOpendir(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
    FuseServer& s = ServerOf(req);
    const std::uint32_t node = NodeOf(s, ino);
    if (node == kNoTreeNode) fuse_reply_err(req, ENOENT);
    else if (s.Tree().Node(node).kind != NodeKind::Folder) fuse_reply_err(req, ENOTDIR);
    else {
        fi->cache_readdir = 1;
        fi->keep_cache = 1;
        fuse_reply_open(req, fi);
    }
}

void DoReaddir(fuse_req_t req, fuse_ino_t ino, size_t size, off_t off, fuse_file_info*) {
    FuseServer& s = ServerOf(req);
    const std::uint32_t node = NodeOf(s, ino);
    if (node == kNoTreeNode) {
        fuse_reply_err(req, ENOENT);
        return;
    }
    const TreeNode& folder = s.Tree().Node(node);
    std::vector<char> buffer(size);
    std::size_t used = 0;
    // Offsets: 0 ".", 1 "..", 2 + k the k-th child; each entry carries the next.
    for (std::size_t k = static_cast<std::size_t>(std::max<off_t>(off, 0)); k < folder.children.size() + 2; ++k) {
        struct stat st{};
        std::string name;
        if (k == 0) {
            name = ".";
            st.st_ino = node + 1;
            st.st_mode = S_IFDIR;
        } else if (k == 1) {
            name = "..";
            st.st_ino = (node == kTreeRoot ? kTreeRoot : folder.parent) + 1;
            st.st_mode = S_IFDIR;
        } else {
            const std::uint32_t child = folder.children[k - 2];
            const TreeNode& c = s.Tree().Node(child);
            name = c.name;
            st.st_ino = child + 1;
            st.st_mode = c.kind == NodeKind::Folder ? S_IFDIR : c.kind == NodeKind::Link ? S_IFLNK : S_IFREG;
        }
        const std::size_t need = fuse_add_direntry(req, buffer.data() + used, size - used, name.c_str(), &st,
                                                   static_cast<off_t>(k + 1));
        if (need > size - used) break;
        used += need;
    }
    fuse_reply_buf(req, buffer.data(), used);
}

void DoOpen(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
    FuseServer& s = ServerOf(req);
    const std::uint32_t node = NodeOf(s, ino);
    if (node == kNoTreeNode) {
        fuse_reply_err(req, ENOENT);
        return;
    }
    if ((fi->flags & O_ACCMODE) != O_RDONLY || (fi->flags & (O_TRUNC | O_CREAT))) {
        fuse_reply_err(req, EROFS);
        return;
    }
    const TreeNode& n = s.Tree().Node(node);
    if (n.kind == NodeKind::Folder) {
        fuse_reply_err(req, EISDIR);
        return;
    }
    auto file = std::make_unique<OpenFile>();
    file->node = node;
    if (n.kind == NodeKind::Companion) file->companion = s.Tree().CompanionBytes(node, &file->companionUnreadable);
    fi->fh = s.Opened(std::move(file));
    fi->keep_cache = 1;
    if (fuse_reply_open(req, fi) != 0) s.Released(fi->fh);
}

void DoRelease(fuse_req_t req, fuse_ino_t, fuse_file_info* fi) {
    ServerOf(req).Released(fi->fh);
    fuse_reply_err(req, 0);
}

void DoRead(fuse_req_t req, fuse_ino_t, size_t size, off_t off, fuse_file_info* fi) {
    FuseServer& s = ServerOf(req);
    OpenFile& file = *reinterpret_cast<OpenFile*>(fi->fh);
    const auto offset = static_cast<std::uint64_t>(std::max<off_t>(off, 0));
    const TreeNode& n = s.Tree().Node(file.node);
    if (n.kind == NodeKind::Companion) {
        // A companion's unreadable bytes are its fork's.
        if (!file.companionUnreadable.empty()) {
            s.NoteUnreadable(file.node, file.companionUnreadable);
            if (s.Settings().eio) {
                fuse_reply_err(req, EIO);
                return;
            }
        }
        const std::size_t from = static_cast<std::size_t>(std::min<std::uint64_t>(offset, file.companion.size()));
        const std::size_t n2 = std::min(size, file.companion.size() - from);
        fuse_reply_buf(req, reinterpret_cast<const char*>(file.companion.data()) + from, n2);
        return;
    }
    if (n.kind != NodeKind::File) {
        fuse_reply_err(req, EINVAL);
        return;
    }
    // A request inside the last range read is served from it.
    if (file.cache && offset >= file.cachedAt && offset + size <= file.cachedAt + file.cachedBytes) {
        fuse_reply_buf(req, reinterpret_cast<const char*>(file.cache.get()) + (offset - file.cachedAt), size);
        return;
    }
    const FileLayout& layout = s.Tree().Layout(file.node);
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, layout.length > offset ? layout.length - offset : 0));
    std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[want ? want : 1]);
    const RangeRead r = ReadRange(s.Tree().Volume(), s.Tree().Reader(), layout, offset, want, out.get());
    if (!r.unreadableSectors.empty()) {
        s.NoteUnreadable(file.node, r.unreadableSectors);
        if (s.Settings().eio) {
            fuse_reply_err(req, EIO);
            return;
        }
    }
    fuse_reply_buf(req, reinterpret_cast<const char*>(out.get()), static_cast<std::size_t>(r.bytes));
    file.cachedAt = offset;
    file.cachedBytes = static_cast<std::size_t>(r.bytes);
    file.cache = std::move(out);
}

void DoListxattr(fuse_req_t req, fuse_ino_t ino, size_t size) {
    FuseServer& s = ServerOf(req);
    const std::uint32_t node = NodeOf(s, ino);
    if (node == kNoTreeNode) {
        fuse_reply_err(req, ENOENT);
        return;
    }
    const std::string list = s.DamagedBytes(node) ? std::string(kDamagedAttribute) + '\0' : std::string();
    if (size == 0) fuse_reply_xattr(req, list.size());
    else if (size < list.size()) fuse_reply_err(req, ERANGE);
    else fuse_reply_buf(req, list.data(), list.size());
}

void DoGetxattr(fuse_req_t req, fuse_ino_t ino, const char* name, size_t size) {
    FuseServer& s = ServerOf(req);
    const std::uint32_t node = NodeOf(s, ino);
    if (node == kNoTreeNode) {
        fuse_reply_err(req, ENOENT);
        return;
    }
    const std::uint64_t bytes = std::strcmp(name, kDamagedAttribute) == 0 ? s.DamagedBytes(node) : 0;
    if (bytes == 0) {
        fuse_reply_err(req, ENODATA);
        return;
    }
    const std::string value = std::to_string(bytes);
    if (size == 0) fuse_reply_xattr(req, value.size());
    else if (size < value.size()) fuse_reply_err(req, ERANGE);
    else fuse_reply_buf(req, value.data(), value.size());
}

void DoStatfs(fuse_req_t req, fuse_ino_t) {
    FuseServer& s = ServerOf(req);
    struct statvfs st{};
    st.f_bsize = 4096;
    st.f_frsize = 4096;
    st.f_files = s.Tree().Size();
    st.f_namemax = 255;
    st.f_flag = ST_RDONLY;
    fuse_reply_statfs(req, &st);
}

// Everything that would change the volume.
void RefuseSetattr(fuse_req_t req, fuse_ino_t, struct stat*, int, fuse_file_info*) { fuse_reply_err(req, EROFS); }
void RefuseMknod(fuse_req_t req, fuse_ino_t, const char*, mode_t, dev_t) { fuse_reply_err(req, EROFS); }
void RefuseMkdir(fuse_req_t req, fuse_ino_t, const char*, mode_t) { fuse_reply_err(req, EROFS); }
void RefuseUnlink(fuse_req_t req, fuse_ino_t, const char*) { fuse_reply_err(req, EROFS); }
void RefuseSymlink(fuse_req_t req, const char*, fuse_ino_t, const char*) { fuse_reply_err(req, EROFS); }
void RefuseRename(fuse_req_t req, fuse_ino_t, const char*, fuse_ino_t, const char*, unsigned) {
    fuse_reply_err(req, EROFS);
}
void RefuseLink(fuse_req_t req, fuse_ino_t, fuse_ino_t, const char*) { fuse_reply_err(req, EROFS); }
void RefuseWrite(fuse_req_t req, fuse_ino_t, const char*, size_t, off_t, fuse_file_info*) {
    fuse_reply_err(req, EROFS);
}
void RefuseSetxattr(fuse_req_t req, fuse_ino_t, const char*, const char*, size_t, int) { fuse_reply_err(req, EROFS); }
void RefuseRemovexattr(fuse_req_t req, fuse_ino_t, const char*) { fuse_reply_err(req, EROFS); }
void RefuseCreate(fuse_req_t req, fuse_ino_t, const char*, mode_t, fuse_file_info*) { fuse_reply_err(req, EROFS); }
void RefuseFallocate(fuse_req_t req, fuse_ino_t, int, off_t, off_t, fuse_file_info*) { fuse_reply_err(req, EROFS); }

fuse_lowlevel_ops Operations() {
    fuse_lowlevel_ops ops{};
    ops.init = DoInit;
    ops.lookup = DoLookup;
    ops.getattr = DoGetattr;
    ops.readlink = DoReadlink;
    ops.opendir = DoOpendir;
    ops.readdir = DoReaddir;
    ops.open = DoOpen;
    ops.release = DoRelease;
    ops.read = DoRead;
    ops.listxattr = DoListxattr;
    ops.getxattr = DoGetxattr;
    ops.statfs = DoStatfs;
    ops.setattr = RefuseSetattr;
    ops.mknod = RefuseMknod;
    ops.mkdir = RefuseMkdir;
    ops.unlink = RefuseUnlink;
    ops.rmdir = RefuseUnlink;
    ops.symlink = RefuseSymlink;
    ops.rename = RefuseRename;
    ops.link = RefuseLink;
    ops.write = RefuseWrite;
    ops.setxattr = RefuseSetxattr;
    ops.removexattr = RefuseRemovexattr;
    ops.create = RefuseCreate;
    ops.fallocate = RefuseFallocate;
    return ops;
}

// fsname: no commas (they separate mount options).
std::string OptionSafe(const std::string& text) {
    std::string out;
    for (char c : text) out += (c == ',' || c == '\\' || static_cast<unsigned char>(c) < 0x20) ? '_' : c;
    return out.empty() ? "tarvine" : out;
}

// The kernel reads ahead 128 KiB on a FUSE mount unless told otherwise:
// where this process may (as root), the mount's readahead is raised to the
// largest read, so a sequential reader is served in 1 MiB requests. The
// mount's device comes from /proc/self/mountinfo, not from a stat of the
// mount point, which would wait for this very process to answer.
void WidenReadahead(const std::string& mountPoint) {
    char resolved[PATH_MAX] = {};
    if (!::realpath(mountPoint.c_str(), resolved)) return;
    std::ifstream in("/proc/self/mountinfo");
    std::string line, device;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, dev, root, point;
        fields >> id >> parent >> dev >> root >> point;
        if (point == resolved) device = dev;  // the last mount there is this one
    }
    if (device.empty()) return;
    std::ofstream ra("/sys/class/bdi/" + device + "/read_ahead_kb");
    if (ra) ra << kMaxRead / 1024 << '\n';
}

}  // namespace

FuseServer::FuseServer(MountTree& tree, ServeSettings settings) : tree_(tree), settings_(std::move(settings)) {}

FuseServer::~FuseServer() {
    if (session_) {
        if (mounted_) fuse_session_unmount(session_);
        fuse_session_destroy(session_);
    }
}

std::uint64_t FuseServer::Opened(std::unique_ptr<OpenFile> file) {
    const auto handle = reinterpret_cast<std::uint64_t>(file.get());
    const std::lock_guard<std::mutex> lock(openMutex_);
    open_[handle] = std::move(file);
    return handle;
}

void FuseServer::Released(std::uint64_t handle) {
    const std::lock_guard<std::mutex> lock(openMutex_);
    open_.erase(handle);
}

bool FuseServer::Mount(const std::string& mountPoint, std::string* error) {
    const std::string options = "ro,default_permissions,subtype=tarvine,fsname=" + OptionSafe(settings_.fsName) +
                                ",max_read=" + std::to_string(kMaxRead);
    std::vector<std::string> words = {"tarvine-cli", "-o", options};
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    fuse_args args = FUSE_ARGS_INIT(static_cast<int>(argv.size()), argv.data());
    const fuse_lowlevel_ops ops = Operations();
    session_ = fuse_session_new(&args, &ops, sizeof ops, this);
    fuse_opt_free_args(&args);  // the options parsed may have copied the arguments
    if (!session_) {
        if (error) *error = "the FUSE session could not be made";
        return false;
    }
    if (fuse_session_mount(session_, mountPoint.c_str()) != 0) {
        if (error) {
            const std::string why = FuseUnavailableReason();
            *error = "cannot mount at " + mountPoint + (why.empty() ? "" : ": " + why);
        }
        fuse_session_destroy(session_);
        session_ = nullptr;
        return false;
    }
    mounted_ = true;
    WidenReadahead(mountPoint);
    return true;
}

ServeEnd FuseServer::Run(bool handleSignals) {
    if (!session_) return ServeEnd::Failed;
    struct sigaction act{}, oldInt{}, oldTerm{}, oldHup{};
    if (handleSignals) {
        gSignal = 0;
        gServing = session_;
        act.sa_handler = EndOnSignal;
        sigemptyset(&act.sa_mask);
        act.sa_flags = 0;  // no restart: the wait for the next request ends
        sigaction(SIGINT, &act, &oldInt);
        sigaction(SIGTERM, &act, &oldTerm);
        sigaction(SIGHUP, &act, &oldHup);
    }
    const int result = fuse_session_loop(session_);
    int sig = 0;
    if (handleSignals) {
        sigaction(SIGINT, &oldInt, nullptr);
        sigaction(SIGTERM, &oldTerm, nullptr);
        sigaction(SIGHUP, &oldHup, nullptr);
        gServing = nullptr;
        sig = gSignal.exchange(0);
    }
    fuse_session_unmount(session_);
    mounted_ = false;
    if (sig == SIGINT) return ServeEnd::Interrupted;
    if (sig != 0 || ended_) return ServeEnd::Terminated;
    return result < 0 ? ServeEnd::Failed : ServeEnd::Unmounted;
}

void FuseServer::End() {
    ended_ = true;
    if (session_) fuse_session_exit(session_);
}

std::uint64_t FuseServer::BytesOf(std::uint32_t node, const std::set<std::uint64_t>& sectors) {
    const std::uint64_t length = tree_.Layout(node).length;
    std::uint64_t bytes = 0;
    for (std::uint64_t s : sectors)
        if (s * kSector < length) bytes += std::min<std::uint64_t>(kSector, length - s * kSector);
    return bytes;
}

std::uint64_t FuseServer::DamagedBytes(std::uint32_t node) {
    const NodeKind kind = tree_.Node(node).kind;
    if (kind != NodeKind::File && kind != NodeKind::Companion) return 0;
    std::lock_guard<std::mutex> lock(damageMutex_);
    if (scanned_.insert(node).second) {
        const std::vector<std::uint64_t> known =
            KnownUnreadableSectors(tree_.Volume(), tree_.Reader(), tree_.Layout(node));
        if (!known.empty()) damaged_[node].insert(known.begin(), known.end());
    }
    const auto it = damaged_.find(node);
    return it == damaged_.end() ? 0 : BytesOf(node, it->second);
}

void FuseServer::NoteUnreadable(std::uint32_t node, const std::vector<std::uint64_t>& sectors) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> fresh;  // byte ranges newly found
    {
        std::lock_guard<std::mutex> lock(damageMutex_);
        std::set<std::uint64_t>& known = damaged_[node];
        std::set<std::uint64_t>& told = reported_[node];
        const std::uint64_t length = tree_.Layout(node).length;
        for (std::uint64_t s : sectors) {
            known.insert(s);
            if (!told.insert(s).second) continue;
            const std::uint64_t first = s * kSector, end = std::min(length, first + kSector);
            if (!fresh.empty() && fresh.back().second == first) fresh.back().second = end;
            else fresh.emplace_back(first, end);
        }
    }
    if (settings_.note)
        for (const auto& [first, end] : fresh) settings_.note(tree_.PathOf(node), first, end);
}

std::string FuseUnavailableReason() {
    if (::access("/dev/fuse", F_OK) != 0) return "/dev/fuse is missing";
    const int fd = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fd < 0) return std::string("/dev/fuse cannot be opened: ") + std::strerror(errno);
    ::close(fd);
    if (::geteuid() != 0 && ::access("/usr/bin/fusermount3", X_OK) != 0 && ::access("/bin/fusermount3", X_OK) != 0)
        return "fusermount3 is missing (package fuse3)";
    return "";
}

}  // namespace mountfs
