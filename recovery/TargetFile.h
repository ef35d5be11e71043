// A file written by a save or a view: created below an open folder without
// following a link, written through a buffer, every failed or short write
// noted. A save writes under a temporary name and puts the file under its
// own name only once it is complete, so that a folder never holds part of a
// file under a real name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct timespec;

namespace base {
class Digester;
}

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
    // Creates a new hidden temporary file in the folder `dirFd`, to become
    // `name` at Commit. The temporary is removed by Discard, and by the
    // destructor when neither was called.
    bool CreateTemporary(int dirFd, const std::string& name);
    // Flushes, gives the file `modified` as its modification time (when
    // set), closes it and renames it to its name, replacing what is there.
    // False when anything failed; the temporary is then removed.
    bool Commit(const struct timespec* modified);
    // Closes and removes the temporary.
    void Discard();
    // Every byte written from now on is also handed to `digester` (not
    // owned; nullptr: none), in the same pass as the write.
    void DigestWith(base::Digester* digester) { digester_ = digester; }
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

    bool OpenFile(int dirFd, const std::string& name, int openFlags);

    int fd_ = -1;
    int dirFd_ = -1;            // the temporary's folder (not owned)
    std::string name_;          // the name the temporary becomes
    std::string temporary_;     // empty: not a temporary
    bool failed_ = false;
    int error_ = 0;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t used_ = 0;
    std::uint64_t flushed_ = 0;
    base::Digester* digester_ = nullptr;
};

}  // namespace recovery
