// Whole-length positioned reads and writes, a descriptor that closes itself,
// and the size of an open device or file.
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

}  // namespace disk
