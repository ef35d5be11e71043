#include "disk/PosixFile.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace disk {

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

bool PreadAll(int fd, void* buffer, std::uint64_t length, std::uint64_t offset) {
    auto* p = static_cast<std::uint8_t*>(buffer);
    while (length > 0) {
        const ssize_t n = ::pread(fd, p, length, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        length -= static_cast<std::uint64_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool PwriteAll(int fd, const void* buffer, std::uint64_t length, std::uint64_t offset) {
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    while (length > 0) {
        const ssize_t n = ::pwrite(fd, p, length, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        p += n;
        length -= static_cast<std::uint64_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

std::uint64_t SizeOfOpenFile(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return 0;
    if (S_ISBLK(st.st_mode)) {
        std::uint64_t bytes = 0;
        return ::ioctl(fd, BLKGETSIZE64, &bytes) == 0 ? bytes : 0;
    }
    return static_cast<std::uint64_t>(st.st_size);
}

std::string SystemReason(const std::string& path, int error) { return path + ": " + std::strerror(error); }

namespace {

std::string ModeProblem(const std::string& path, mode_t mode, FileKinds kinds) {
    if (S_ISREG(mode)) return {};
    if (S_ISBLK(mode) && kinds == FileKinds::kRegularOrBlockDevice) return {};
    if (S_ISDIR(mode)) return SystemReason(path, EISDIR);
    const char* what = S_ISFIFO(mode)   ? "a named pipe"
                       : S_ISCHR(mode)  ? "a character device"
                       : S_ISSOCK(mode) ? "a socket"
                       : S_ISBLK(mode)  ? "a block device"
                                        : "not a plain file";
    const char* wanted = kinds == FileKinds::kRegularOrBlockDevice ? "an image file or a block device" : "a plain file";
    return path + ": " + what + ", not " + wanted;
}

}  // namespace

std::string FileKindProblem(const std::string& path, FileKinds kinds) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return SystemReason(path, errno);
    return ModeProblem(path, st.st_mode, kinds);
}

UniqueFd OpenForReading(const std::string& path, FileKinds kinds, std::string* reason) {
    auto fail = [reason](std::string why) {
        if (reason) *reason = std::move(why);
        return UniqueFd();
    };
    std::string why = FileKindProblem(path, kinds);
    if (!why.empty()) return fail(why);
    // O_NONBLOCK: should a pipe have taken the file's place since the check,
    // the open returns at once and the check below refuses it.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.ok()) return fail(SystemReason(path, errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return fail(SystemReason(path, errno));
    why = ModeProblem(path, st.st_mode, kinds);
    if (!why.empty()) return fail(why);
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

}  // namespace disk
