// An image file handed to a container library through the library's basic
// file IO: opened when the library opens it (never waiting on a pipe put in
// its place), read with pread, and every read that the file's end cuts
// short is noted. A library that takes the missing bytes of a truncated
// image for zeros would otherwise pass them off as the disk's data.
#pragma once

#include <libbfio.h>

#include <memory>
#include <string>

#include "disk/PosixFile.h"

namespace disk {

class CutShortFile {
public:
    // Checks that `path` is an image file or a block device and takes its
    // size; nullptr with *reason ("path: why").
    static std::unique_ptr<CutShortFile> Open(const std::string& path, std::string* reason);
    ~CutShortFile();
    CutShortFile(const CutShortFile&) = delete;
    CutShortFile& operator=(const CutShortFile&) = delete;

    // The handle to give the library (the library must be done with it
    // before this file is destroyed).
    libbfio_handle_t* Handle() const { return handle_; }
    // The handle, to be freed by a pool it is added to.
    libbfio_handle_t* ReleaseHandle();
    // True when a read since the last call ran past the file's end.
    bool TakeCutShort();

    // The state the library's callbacks work on.
    struct State {
        std::string path;
        UniqueFd fd;
        std::uint64_t size = 0;
        std::uint64_t offset = 0;
        bool cutShort = false;
    };

private:
    CutShortFile() = default;
    State state_;
    libbfio_handle_t* handle_ = nullptr;
};

}  // namespace disk
