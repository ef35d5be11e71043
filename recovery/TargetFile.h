// A file written by a save or a view: created below an open folder without
// following a link, written through a buffer, every failed or short write
// noted.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace recovery {

class TargetFile {
public:
    TargetFile();
    ~TargetFile();
    TargetFile(const TargetFile&) = delete;
    TargetFile& operator=(const TargetFile&) = delete;

    // Creates or truncates `name` in the folder `dirFd` (AT_FDCWD: the
    // current folder). Refuses links and anything that is not a plain file.
    bool Create(int dirFd, const std::string& name);
    // Buffers the bytes; false once any write has failed.
    bool Write(const std::uint8_t* data, std::size_t bytes);
    // Writes out the buffer.
    bool Flush();
    // Flushes and closes; false when anything failed since Create.
    bool Close();

    bool Failed() const { return failed_; }
    // Bytes that reached the file.
    std::uint64_t BytesWritten() const { return flushed_; }
    std::string ErrorText() const;

private:
    void Fail(int error);

    int fd_ = -1;
    bool failed_ = false;
    int error_ = 0;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t used_ = 0;
    std::uint64_t flushed_ = 0;
};

}  // namespace recovery
