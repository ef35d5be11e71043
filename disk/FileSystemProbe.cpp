#include "disk/FileSystemProbe.h"

#include <blkid/blkid.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace disk {
namespace {

// A memory file, closed when it goes.
class MemoryFile {
public:
    MemoryFile() : fd_(memfd_create("partition", MFD_CLOEXEC)) {}
    ~MemoryFile() {
        if (fd_ >= 0) close(fd_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    int Fd() const { return fd_; }

    bool WriteAt(std::uint64_t offset, const std::vector<std::uint8_t>& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = pwrite(fd_, bytes.data() + done, bytes.size() - done,
                                     static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

private:
    int fd_;
};

std::string Value(blkid_probe probe, const char* name) {
    const char* data = nullptr;
    std::size_t length = 0;
    if (blkid_probe_lookup_value(probe, name, &data, &length) != 0 || !data) return "";
    std::string text(data, length);
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

}  // namespace

FileSystemFound ProbeFileSystem(const std::vector<std::uint8_t>& head, const std::vector<std::uint8_t>& tail,
                                std::uint64_t sizeBytes, std::string* error) {
    FileSystemFound found;
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return found;
    };
    MemoryFile file;
    if (file.Fd() < 0) return fail(std::string("no memory file: ") + std::strerror(errno));
    // The file has the partition's size (sparse: only what is written takes
    // memory); where the system refuses that size, the first bytes alone.
    std::uint64_t size = sizeBytes;
    bool withTail = !tail.empty() && tail.size() <= sizeBytes;
    if (ftruncate(file.Fd(), static_cast<off_t>(size)) != 0) {
        size = head.size();
        withTail = false;
        if (ftruncate(file.Fd(), static_cast<off_t>(size)) != 0)
            return fail(std::string("no memory file: ") + std::strerror(errno));
    }
    if (head.size() > size) return fail("the first bytes are more than the partition");
    if (!file.WriteAt(0, head) || (withTail && !file.WriteAt(size - tail.size(), tail)))
        return fail(std::string("the memory file could not be written: ") + std::strerror(errno));
    blkid_probe probe = blkid_new_probe();
    if (!probe) return fail("libblkid could not make a probe");
    if (blkid_probe_set_device(probe, file.Fd(), 0, static_cast<blkid_loff_t>(size)) == 0) {
        blkid_probe_enable_superblocks(probe, 1);
        blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_TYPE | BLKID_SUBLKS_LABEL | BLKID_SUBLKS_VERSION);
        if (blkid_do_safeprobe(probe) == 0) {
            found.type = Value(probe, "TYPE");
            found.version = Value(probe, "VERSION");
            found.label = Value(probe, "LABEL");
        }
    } else {
        blkid_free_probe(probe);
        return fail("libblkid could not read the memory file");
    }
    blkid_free_probe(probe);
    return found;
}

}  // namespace disk
