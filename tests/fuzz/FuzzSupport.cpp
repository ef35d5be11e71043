#include "FuzzSupport.h"

#include "disk/SourceFormat.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <filesystem>

namespace fuzz {

namespace {

struct Scratch {
    std::string path;
    Scratch() {
        std::string base = std::filesystem::temp_directory_path().string() + "/tarvine-fuzz-XXXXXX";
        std::vector<char> buf(base.begin(), base.end());
        buf.push_back('\0');
        if (!::mkdtemp(buf.data())) Fail("cannot create the scratch folder");
        path = buf.data();
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

bool Attach(FuzzDisks& to, const std::string& path) {
    std::string error;
    if (!to.disks.Attach(0, path, "", &error)) Fail(error.c_str());
    const std::shared_ptr<disk::Disk> d = to.disks.At(0);
    if (d && d->IsOpen()) return true;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool container = fd >= 0 && disk::DetectFormat(fd) != disk::SourceFormat::kRaw;
    if (fd >= 0) ::close(fd);
    if (!container) Fail(d ? d->OpenFailureReason().c_str() : "the disk image is not attached");
    return false;
}

}  // namespace

const std::string& ScratchDir() {
    static Scratch scratch;
    return scratch.path;
}

std::string ScratchFile(const std::string& name) { return ScratchDir() + "/" + name; }

bool AttachBytes(FuzzDisks& to, const std::vector<std::uint8_t>& bytes) {
    const std::string path = ScratchFile("disk.img");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) Fail("cannot write the disk image");
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) Fail("cannot write the disk image");
        done += static_cast<std::size_t>(n);
    }
    const std::uint64_t padded = (bytes.size() + 511) / 512 * 512;
    if (::ftruncate(fd, static_cast<off_t>(padded)) != 0) Fail("cannot size the disk image");
    ::close(fd);
    return Attach(to, path);
}

bool AttachSparse(FuzzDisks& to, const SparseSectors& sectors, std::uint64_t totalSectors) {
    const std::string path = ScratchFile("disk.img");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) Fail("cannot write the disk image");
    if (::ftruncate(fd, static_cast<off_t>(totalSectors * 512)) != 0) Fail("cannot size the disk image");
    for (const auto& [n, s] : sectors) {
        if (n >= totalSectors) continue;
        if (::pwrite(fd, s.data(), s.size(), static_cast<off_t>(n * 512)) != static_cast<ssize_t>(s.size()))
            Fail("cannot write the disk image");
    }
    ::close(fd);
    return Attach(to, path);
}

void Note(const char* format, ...) {
    static const bool verbose = std::getenv("FUZZ_VERBOSE") != nullptr;
    if (!verbose) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

}  // namespace fuzz
