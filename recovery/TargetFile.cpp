#include "recovery/TargetFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/Digests.h"

namespace recovery {

namespace {
constexpr std::size_t kBufferBytes = 1u << 16;
}

TargetFile::TargetFile() : buffer_(new std::uint8_t[kBufferBytes]) {}

TargetFile::~TargetFile() {
    if (!temporary_.empty()) Discard();
    if (fd_ >= 0) Close();
}

void TargetFile::Fail(int error) {
    if (!failed_) error_ = error;
    failed_ = true;
}

bool TargetFile::Create(int dirFd, const std::string& name) {
    return OpenFile(dirFd, name, O_TRUNC);
}

bool TargetFile::CreateTemporary(int dirFd, const std::string& name) {
    for (unsigned n = 0; n < 1000; ++n) {
        const std::string temporary = ".tarvine-part-" + std::to_string(n);
        if (OpenFile(dirFd, temporary, O_EXCL)) {
            dirFd_ = dirFd;
            name_ = name;
            temporary_ = temporary;
            return true;
        }
        if (error_ != EEXIST) return false;
    }
    return false;
}

bool TargetFile::Commit(const struct timespec* modified) {
    if (temporary_.empty()) return Close();
    Flush();
    if (!failed_ && modified) {
        const struct timespec times[2] = {*modified, *modified};
        ::futimens(fd_, times);  // a file system without times keeps its own
    }
    if (Close() && ::renameat(dirFd_, temporary_.c_str(), dirFd_, name_.c_str()) == 0) {
        temporary_.clear();
        return true;
    }
    if (!failed_) Fail(errno);
    Discard();
    return false;
}

void TargetFile::Discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) ::unlinkat(dirFd_, temporary_.c_str(), 0);
    temporary_.clear();
}

bool TargetFile::OpenFile(int dirFd, const std::string& name, int openFlags) {
    failed_ = false;
    error_ = 0;
    used_ = 0;
    flushed_ = 0;
    // Non-blocking only for the open itself, so that a pipe lying in the
    // way cannot hang the job.
    fd_ = ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | openFlags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd_ < 0) {
        Fail(errno);
        return false;
    }
    struct stat st;
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        Fail(EINVAL);
        return false;
    }
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags != -1) ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
    return true;
}

bool TargetFile::Write(const std::uint8_t* data, std::size_t bytes) {
    if (failed_ || fd_ < 0) return false;
    if (digester_) digester_->Update(data, bytes);
    while (bytes > 0) {
        const std::size_t n = std::min(bytes, kBufferBytes - used_);
        std::memcpy(buffer_.get() + used_, data, n);
        used_ += n;
        data += n;
        bytes -= n;
        if (used_ == kBufferBytes && !Flush()) return false;
    }
    return true;
}

bool TargetFile::Flush() {
    if (fd_ < 0) return !failed_;
    std::size_t done = 0;
    while (!failed_ && done < used_) {
        const ssize_t n = ::write(fd_, buffer_.get() + done, used_ - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail(errno);
        } else if (n == 0) {
            Fail(ENOSPC);
        } else {
            done += static_cast<std::size_t>(n);
            flushed_ += static_cast<std::uint64_t>(n);
        }
    }
    used_ = 0;
    return !failed_;
}

bool TargetFile::Close() {
    if (fd_ < 0) return !failed_;
    Flush();
    if (::close(fd_) != 0) Fail(errno);
    fd_ = -1;
    return !failed_;
}

std::string TargetFile::ErrorText() const { return error_ ? std::strerror(error_) : std::string(); }

}  // namespace recovery
