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
    // Runs of nearby sectors go out in one write, short gaps filled with
    // zeros: many small files would otherwise cost a write each. Longer gaps
    // stay holes.
    constexpr std::uint64_t kGap = 16;
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
        const std::uint64_t runEnd = runStart + run.size() / kSector;
        if (!run.empty() && (sector > runEnd + kGap || run.size() >= (1u << 20))) flush();
        if (run.empty()) runStart = sector;
        run.resize((sector - runStart) * kSector);
        run.insert(run.end(), bytes.begin(), bytes.end());
    }
    if (!run.empty()) flush();
    if (::close(fd) != 0) throw BuildError("cannot close " + path + ": " + std::strerror(errno));
}

namespace {

// Hands every manifest line to `sink` in order. Paths the records leave out
// are built from the parent links while only the current branch is kept:
// records come in tree order, each after the folder that holds it.
template <class Sink>
void ManifestLines(const std::vector<ManifestRecord>& records, Sink&& sink) {
    std::string line, branch;
    std::vector<std::pair<std::size_t, std::size_t>> open;  // folder record, branch length through it
    char stamp[16];
    for (std::size_t i = 0; i < records.size(); ++i) {
        const ManifestRecord& m = records[i];
        const std::string* path = &m.path;
        if (m.path.empty()) {
            while (!open.empty() && open.back().first != m.parent) open.pop_back();
            if (open.empty() && m.parent != kNoParent) {
                branch = ManifestPath(records, m.parent);
                open.emplace_back(m.parent, branch.size());
            }
            branch.resize(open.empty() ? 0 : open.back().second);
            if (!open.empty()) branch += '\\';
            branch += m.name;
            if (m.folder) open.emplace_back(i, branch.size());
            path = &branch;
        }
        std::snprintf(stamp, sizeof stamp, "%08X", m.dateTime);
        line.clear();
        line += m.folder ? "D" : "F";
        line += '\t';
        line += m.deleted ? '1' : '0';
        line += '\t';
        line += m.compressed ? '1' : '0';
        line += '\t' + std::to_string(m.size) + '\t' + stamp + '\t' + m.sha256 + '\t' + m.volume + '\t';
        line += *path;
        line += '\n';
        sink(line);
    }
}

// Refuses a manifest text larger than kMaxManifestText before any of it is
// made: the paths of a deep tree grow with the square of its depth.
void CheckManifestSize(const std::vector<ManifestRecord>& records) {
    std::vector<std::uint64_t> length(records.size());
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const ManifestRecord& m = records[i];
        if (!m.path.empty()) length[i] = m.path.size();
        else if (m.parent != kNoParent && m.parent < i) length[i] = length[m.parent] + 1 + m.name.size();
        else length[i] = m.name.size();
        // D/F, two flags, size, stamp, hash, volume, path: tabs and newline
        total += 1 + 2 + 2 + std::to_string(m.size).size() + 1 + 9 + m.sha256.size() + 1 + m.volume.size() + 1 + length[i] + 1;
    }
    if (total > kMaxManifestText)
        throw BuildError("the manifest would take " + std::to_string(total) + " bytes, more than " +
                         std::to_string(kMaxManifestText) + " (a very deep tree); leave it out");
}

}  // namespace

std::string ManifestPath(const std::vector<ManifestRecord>& manifest, std::size_t i) {
    if (!manifest[i].path.empty()) return manifest[i].path;
    std::vector<const std::string*> names;
    std::size_t length = 0;
    for (std::size_t k = i; k != kNoParent; k = manifest[k].parent) {
        names.push_back(&manifest[k].name);
        length += manifest[k].name.size() + 1;
    }
    std::string path;
    path.reserve(length);
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (it != names.rbegin()) path += '\\';
        path += **it;
    }
    return path;
}

namespace {

using Manifests = std::vector<const std::vector<ManifestRecord>*>;

std::string Text(const Manifests& parts) {
    for (const auto* m : parts) CheckManifestSize(*m);
    std::string out;
    for (const auto* m : parts) ManifestLines(*m, [&](const std::string& line) { out += line; });
    return out;
}

void WriteFile(const Manifests& parts, const std::string& path) {
    for (const auto* m : parts) CheckManifestSize(*m);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw BuildError("cannot create " + path + ": " + std::strerror(errno));
    bool ok = true;
    for (const auto* m : parts)
        ManifestLines(*m, [&](const std::string& line) { ok = ok && std::fwrite(line.data(), 1, line.size(), f) == line.size(); });
    ok = std::fclose(f) == 0 && ok;
    if (!ok) throw BuildError("cannot write " + path);
}

Manifests Of(const std::vector<Image>& disks) {
    Manifests parts;
    for (const Image& image : disks) parts.push_back(&image.manifest);
    return parts;
}

}  // namespace

std::string ManifestText(const Image& image) { return Text({&image.manifest}); }
std::string ManifestText(const std::vector<Image>& disks) { return Text(Of(disks)); }
void WriteManifestFile(const Image& image, const std::string& path) { WriteFile({&image.manifest}, path); }
void WriteManifestFile(const std::vector<Image>& disks, const std::string& path) { WriteFile(Of(disks), path); }

std::string DiskFileName(const std::string& first, std::size_t disk) {
    if (disk == 0) return first;
    const std::size_t slash = first.find_last_of('/');
    const std::size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = first.find_last_of('.');
    const std::string mark = "." + std::to_string(disk);
    if (dot == std::string::npos || dot <= nameAt) return first + mark;
    return first.substr(0, dot) + mark + first.substr(dot);
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
