// An image file handed to a container library through the library's basic
// file IO: read with pread, and every read that the file's end cuts short
// is noted. A library that takes the missing bytes of a truncated image for
// zeros would otherwise pass them off as the disk's data.
#pragma once

#include <libbfio.h>

#include <memory>
#include <string>

#include "disk/PosixFile.h"

namespace disk {

class CutShortFile {
public:
    // Opens `path` for reading; nullptr with *reason ("path: why").
    static std::unique_ptr<CutShortFile> Open(const std::string& path, std::string* reason);
    ~CutShortFile();
    CutShortFile(const CutShortFile&) = delete;
    CutShortFile& operator=(const CutShortFile&) = delete;

    // The handle to open the library's image with (the library must be
    // done with it before this file is destroyed).
    libbfio_handle_t* Handle() const { return handle_; }
    // True when a read since the last call ran past the file's end.
    bool TakeCutShort();

    // The state the library's callbacks work on.
    struct State {
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
