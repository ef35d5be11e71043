// Image, manifest and mapfile output.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/nwimage/NwImage.h"

namespace nwimage {

void WriteImageFile(const Image& image, const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw BuildError("cannot create " + path + ": " + std::strerror(errno));
    auto fail = [&](const char* what) {
        std::string msg = std::string(what) + " " + path + ": " + std::strerror(errno);
        ::close(fd);
        throw BuildError(msg);
    };
    if (::ftruncate(fd, static_cast<off_t>(image.totalSectors * kSector)) != 0) fail("cannot size");
    // Runs of consecutive sectors go out in one write.
    std::vector<std::uint8_t> run;
    std::uint64_t runStart = 0;
    auto flush = [&] {
        std::size_t done = 0;
        while (done < run.size()) {
            ssize_t n = ::pwrite(fd, run.data() + done, run.size() - done, static_cast<off_t>(runStart * kSector + done));
            if (n < 0) {
                if (errno == EINTR) continue;
                fail("cannot write");
            }
            done += static_cast<std::size_t>(n);
        }
        run.clear();
    };
    for (const auto& [sector, bytes] : image.sectors) {
        if (sector >= image.totalSectors) continue;
        if (!run.empty() && (sector != runStart + run.size() / kSector || run.size() >= (1u << 20))) flush();
        if (run.empty()) runStart = sector;
        run.insert(run.end(), bytes.begin(), bytes.end());
    }
    if (!run.empty()) flush();
    if (::close(fd) != 0) throw BuildError("cannot close " + path + ": " + std::strerror(errno));
}

std::string ManifestText(const Image& image) {
    std::string out;
    char stamp[16];
    for (const ManifestRecord& m : image.manifest) {
        std::snprintf(stamp, sizeof stamp, "%08X", m.dateTime);
        out += m.folder ? "D" : "F";
        out += '\t';
        out += m.deleted ? '1' : '0';
        out += '\t';
        out += m.compressed ? '1' : '0';
        out += '\t' + std::to_string(m.size) + '\t' + stamp + '\t' + m.sha256 + '\t' + m.volume + '\t' + m.path + '\n';
    }
    return out;
}

std::string MapfileText(const Image& image) {
    char line[96];
    std::string out = "# Mapfile. Created by nwimage\n# current_pos  current_status  current_pass\n";
    std::snprintf(line, sizeof line, "0x%08llX     +               1\n", 0ull);
    out += line;
    out += "#      pos        size  status\n";
    const std::uint64_t total = image.totalSectors * kSector;
    std::uint64_t pos = 0;
    auto area = [&](std::uint64_t from, std::uint64_t to, char status) {
        if (to <= from) return;
        std::snprintf(line, sizeof line, "0x%08llX  0x%08llX  %c\n", static_cast<unsigned long long>(from),
                      static_cast<unsigned long long>(to - from), status);
        out += line;
    };
    for (const BadRange& r : image.bad) {
        std::uint64_t from = std::min(r.sector * kSector, total);
        std::uint64_t to = std::min((r.sector + r.count) * kSector, total);
        area(pos, from, '+');
        area(from, to, '-');
        pos = std::max(pos, to);
    }
    area(pos, total, '+');
    return out;
}

}  // namespace nwimage
