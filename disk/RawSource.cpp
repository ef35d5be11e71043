#include "disk/RawSource.h"

#include <sys/stat.h>

namespace disk {

RawSource::RawSource(UniqueFd fd) : fd_(std::move(fd)) {
    size_ = SizeOfOpenFile(fd_.get());
    struct stat st {};
    blockDevice_ = ::fstat(fd_.get(), &st) == 0 && S_ISBLK(st.st_mode);
}

bool RawSource::ReadAt(std::uint64_t offset, std::uint64_t length, void* buffer) {
    return PreadAll(fd_.get(), buffer, length, offset);
}

}  // namespace disk
