#include "disk/CutShortFile.h"

#include <unistd.h>

#include <cerrno>

namespace disk {

namespace {

using State = CutShortFile::State;

constexpr std::uint64_t kLargestCluster = 2u << 20;  // of any format read this way

State* Of(intptr_t* io) { return reinterpret_cast<State*>(io); }

// The handle's state belongs to the CutShortFile: nothing to free, and no
// second handle on it.
int FreeState(intptr_t**, libbfio_error_t**) { return 1; }
int CloneState(intptr_t**, intptr_t*, libbfio_error_t**) { return -1; }

int OpenState(intptr_t* io, int flags, libbfio_error_t**) {
    State& s = *Of(io);
    if ((flags & LIBBFIO_ACCESS_FLAG_WRITE) != 0) return -1;
    if (!s.fd.ok()) s.fd = OpenForReading(s.path, FileKinds::kRegularOrBlockDevice, nullptr);
    return s.fd.ok() && SizeOfOpenFile(s.fd.get()) == s.size ? 1 : -1;
}
int CloseState(intptr_t* io, libbfio_error_t**) {
    Of(io)->fd = UniqueFd();
    return 0;
}

ssize_t ReadState(intptr_t* io, std::uint8_t* buffer, std::size_t size, libbfio_error_t**) {
    State& s = *Of(io);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(s.fd.get(), buffer + done, size - done, static_cast<off_t>(s.offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    if (done < size) s.cutShort = true;
    s.offset += done;
    return static_cast<ssize_t>(done);
}

// The library reads no further than the size it is told: told the true
// size, it reads a cluster that the file's end cuts into only up to there
// and takes the rest for zeros. Told the size rounded up to whole units of
// the largest cluster, it reads every cluster whole, and the read that the
// file's end cuts short is seen.
std::uint64_t ToldSize(std::uint64_t bytes) { return (bytes + kLargestCluster - 1) / kLargestCluster * kLargestCluster; }

ssize_t WriteState(intptr_t*, const std::uint8_t*, std::size_t, libbfio_error_t**) { return -1; }

off64_t SeekState(intptr_t* io, off64_t offset, int whence, libbfio_error_t**) {
    State& s = *Of(io);
    const std::uint64_t size = ToldSize(s.size);
    const off64_t base = whence == SEEK_SET   ? 0
                         : whence == SEEK_CUR ? static_cast<off64_t>(s.offset)
                         : whence == SEEK_END ? static_cast<off64_t>(size)
                                              : -1;
    if (base < 0 || base + offset < 0) return -1;
    s.offset = static_cast<std::uint64_t>(base + offset);
    return static_cast<off64_t>(s.offset);
}

int Exists(intptr_t*, libbfio_error_t**) { return 1; }
int IsOpen(intptr_t* io, libbfio_error_t**) { return Of(io)->fd.ok() ? 1 : 0; }
int GetSize(intptr_t* io, size64_t* size, libbfio_error_t**) {
    *size = ToldSize(Of(io)->size);
    return 1;
}

}  // namespace

std::unique_ptr<CutShortFile> CutShortFile::Open(const std::string& path, std::string* reason) {
    std::unique_ptr<CutShortFile> file(new CutShortFile());
    const UniqueFd fd = OpenForReading(path, FileKinds::kRegularOrBlockDevice, reason);
    if (!fd.ok()) return nullptr;
    file->state_.path = path;
    file->state_.size = SizeOfOpenFile(fd.get());
    libbfio_error_t* error = nullptr;
    if (libbfio_handle_initialize(&file->handle_, reinterpret_cast<intptr_t*>(&file->state_), FreeState, CloneState,
                                  OpenState, CloseState, ReadState, WriteState, SeekState, Exists, IsOpen, GetSize,
                                  LIBBFIO_FLAG_IO_HANDLE_NON_MANAGED, &error) != 1) {
        if (error) libbfio_error_free(&error);
        *reason = path + ": cannot set up reading";
        return nullptr;
    }
    return file;
}

CutShortFile::~CutShortFile() {
    if (handle_) libbfio_handle_free(&handle_, nullptr);
}

libbfio_handle_t* CutShortFile::ReleaseHandle() {
    libbfio_handle_t* handle = handle_;
    handle_ = nullptr;
    return handle;
}

bool CutShortFile::TakeCutShort() {
    const bool cut = state_.cutShort;
    state_.cutShort = false;
    return cut;
}

}  // namespace disk
