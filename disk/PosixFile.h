// Whole-length positioned reads and writes, a descriptor that closes itself,
// the size of an open device or file, and opening a file that must be an
// image file (or a block device) without ever waiting on a pipe.
#pragma once

#include <cstdint>
#include <string>

namespace disk {

class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    int release() {
        const int f = fd_;
        fd_ = -1;
        return f;
    }

private:
    int fd_;
};

// Reads exactly `length` bytes at `offset`; false on any error or short read.
bool PreadAll(int fd, void* buffer, std::uint64_t length, std::uint64_t offset);
// Writes exactly `length` bytes at `offset`; false on any error.
bool PwriteAll(int fd, const void* buffer, std::uint64_t length, std::uint64_t offset);
// Bytes of a block device (its reported size) or of a file.
std::uint64_t SizeOfOpenFile(int fd);
// "path: <system reason>" for the errno value given.
std::string SystemReason(const std::string& path, int error);

// Which kinds of file may be opened as (part of) a disk.
enum class FileKinds { kRegularOnly, kRegularOrBlockDevice };

// Why `path` cannot be opened as (part of) a disk without opening it: it
// is missing, a folder, a pipe, a socket or a character device ("path:
// reason"; "" when it can be opened).
std::string FileKindProblem(const std::string& path, FileKinds kinds);
// Opens `path` read-only after that check. The open never waits (a pipe put
// in its place meanwhile is refused too). *reason says why it failed.
UniqueFd OpenForReading(const std::string& path, FileKinds kinds, std::string* reason);

}  // namespace disk
