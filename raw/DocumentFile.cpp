#include "raw/DocumentFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace raw {

namespace {

constexpr unsigned kTemporaryNames = 1000;

// Renames `from` to `to` unless `to` exists. Where the file system cannot
// rename that way, a hard link stands in (it fails on an existing name too).
int RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    ::unlink(from.c_str());
    return 0;
}

}  // namespace

DocumentFile::~DocumentFile() { Discard(); }

void DocumentFile::Fail(int error) {
    if (error_ == 0) error_ = error != 0 ? error : EIO;
}

bool DocumentFile::Create(const std::string& folder) {
    Discard();
    error_ = 0;
    written_ = 0;
    folder_ = folder;
    if (folder_.empty() || folder_.back() != '/') folder_ += '/';
    for (unsigned n = 0; n < kTemporaryNames; ++n) {
        const std::string name = folder_ + ".tarvine-carving-" + std::to_string(n);
        fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd_ >= 0) {
            temporary_ = name;
            return true;
        }
        if (errno != EEXIST) break;
    }
    Fail(errno);
    return false;
}

bool DocumentFile::Write(const std::uint8_t* data, std::size_t bytes) {
    if (error_ != 0 || fd_ < 0) return false;
    digester_.Update(data, bytes);
    while (bytes > 0) {
        const ssize_t n = ::write(fd_, data, bytes);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail(errno);
            return false;
        }
        if (n == 0) {
            Fail(ENOSPC);
            return false;
        }
        data += n;
        bytes -= static_cast<std::size_t>(n);
        written_ += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool DocumentFile::CloseFile() {
    if (fd_ < 0) return error_ == 0;
    if (::close(fd_) != 0) Fail(errno);
    fd_ = -1;
    return error_ == 0;
}

bool DocumentFile::Commit(const std::string& name) {
    nameTaken_ = false;
    if (temporary_.empty()) {
        Fail(EBADF);
        return false;
    }
    if (!CloseFile()) {
        Discard();
        return false;
    }
    const int error = RenameNoReplace(temporary_, folder_ + name);
    if (error == 0) {
        temporary_.clear();
        return true;
    }
    if (error == EEXIST) {
        nameTaken_ = true;  // the temporary stays for another name
        return false;
    }
    Fail(error);
    Discard();
    return false;
}

void DocumentFile::Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
}

}  // namespace raw
