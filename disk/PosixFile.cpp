#include "disk/PosixFile.h"

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

}  // namespace disk
