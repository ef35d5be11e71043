#include "raw/RawScan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <cstdint>
#include <vector>

#include "base/Progress.h"
#include "disk/SectorReader.h"

namespace raw {

namespace {

constexpr int kProbeNames = 100;  // "tempFile", "tempFile.1" ... tried in a destination

// Tries to create and remove a probe file in `dir`. An existing file of the
// probe's name is left alone: the next free name is tried instead.
bool ProbeWritable(const std::string& dir) {
    std::string base = dir;
    if (base.empty() || base.back() != '/') base += '/';
    base += "tempFile";
    for (int k = 0; k < kProbeNames; ++k) {
        const std::string name = k == 0 ? base : base + "." + std::to_string(k);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) {
            ::close(fd);
            ::unlink(name.c_str());
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

bool IsDirectory(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Reads for the scan and its documents. A request is first tried without a
// question; when it fails, each of its sectors is tried alone and only the
// runs of sectors that cannot be read go through the bad-sector policy, so
// that its question names exactly them. A sector found unreadable once is
// not asked about again. Sectors past the disk's end read as zeros and are
// not the disk's. Keeps every unreadable sector it met.
class ScanReads {
public:
    ScanReads(const disk::SectorReader& reader, unsigned disk, std::uint64_t diskSectors)
        : reader_(reader), disk_(disk), diskSectors_(diskSectors) {}

    bool Read(std::uint64_t first, std::uint32_t count, void* buffer) {
        auto* out = static_cast<std::uint8_t*>(buffer);
        std::uint32_t inDisk = count;
        if (diskSectors_ > 0) inDisk = first >= diskSectors_ ? 0 : static_cast<std::uint32_t>(std::min<std::uint64_t>(count, diskSectors_ - first));
        std::memset(out + static_cast<std::size_t>(inDisk) * disk::kSectorSize, 0,
                    static_cast<std::size_t>(count - inDisk) * disk::kSectorSize);
        if (inDisk == 0 || reader_.TryRead(disk_, first, inDisk, out).Ok()) return true;
        std::vector<bool> bad(inDisk);
        for (std::uint32_t i = 0; i < inDisk; ++i)
            bad[i] = !reader_.TryRead(disk_, first + i, 1, out + static_cast<std::size_t>(i) * disk::kSectorSize).Ok();
        for (std::uint32_t i = 0; i < inDisk;) {
            if (!bad[i]) {
                ++i;
                continue;
            }
            std::uint32_t n = 1;
            while (i + n < inDisk && bad[i + n]) ++n;
            if (!ReadRun(first + i, n, out + static_cast<std::size_t>(i) * disk::kSectorSize)) return false;
            i += n;
        }
        return true;
    }
    std::uint64_t Unreadable() const { return unreadable_.size(); }

private:
    // A run of sectors that failed alone: the known ones are zeros, the rest
    // are read through the policy.
    bool ReadRun(std::uint64_t first, std::uint32_t count, std::uint8_t* out) {
        std::uint32_t known = 0;
        while (known < count && unreadable_.count(first + known)) ++known;
        std::memset(out, 0, static_cast<std::size_t>(known) * disk::kSectorSize);
        if (known == count) return true;
        first += known;
        count -= known;
        out += static_cast<std::size_t>(known) * disk::kSectorSize;
        const disk::ReadStatus status = reader_.Read(disk_, first, count, out);
        if (status.Has(disk::Unread::kNoDevice)) return false;
        for (const disk::UnreadRun& run : status.Runs())
            for (std::uint32_t i = 0; i < run.count; ++i) unreadable_.insert(first + run.offset + i);
        return true;
    }

    const disk::SectorReader& reader_;
    unsigned disk_;
    std::uint64_t diskSectors_;
    std::set<std::uint64_t> unreadable_;
};

// The view back to idle at the end of a scan, whichever way it ended.
void ShowIdle(RawScanView& view) {
    view.SetRawStatus("");
    view.SetRawProgress(0);
    view.ShowRawProgress(false);
}

}  // namespace

RawCheckResult CheckRawRequest(const RawRequest& request, std::uint64_t diskSectors) {
    RawCheckResult r;
    r.lastSector = diskSectors > 0 ? diskSectors - 1 : 0;
    auto refused = [&r](RawCheck check) {
        r.check = check;
        return r;
    };
    if (std::none_of(request.checked.begin(), request.checked.end(), [](bool on) { return on; }))
        return refused(RawCheck::NoFileType);
    if (request.wholeDisk) {
        r.start = 0;
        r.end = diskSectors;
        return r;
    }
    if (!request.endSector || *request.endSector < 0) return refused(RawCheck::InvalidEnd);
    const auto end = static_cast<std::uint64_t>(*request.endSector);
    if (diskSectors > 0 && end > r.lastSector) return refused(RawCheck::EndPastDisk);
    if (!request.startSector || *request.startSector < 0) return refused(RawCheck::InvalidStart);
    const auto start = static_cast<std::uint64_t>(*request.startSector);
    if (start >= end) return refused(RawCheck::StartNotBelowEnd);
    r.start = start;
    r.end = end + 1;  // the end sector is scanned too
    return r;
}

bool PrepareDestination(const std::string& path) {
    if (ProbeWritable(path)) return true;
    ::mkdir(path.c_str(), 0777);
    if (!IsDirectory(path)) return false;
    // A folder that exists but takes no files is no destination either.
    return ProbeWritable(path);
}

std::string SearchingDiskText(unsigned diskNumber) { return "Searching Disk - " + std::to_string(diskNumber); }

RawScanResult RunRawScan(RawScan& scan, const disk::SectorReader& reader, unsigned diskNumber, std::uint64_t start,
                         std::uint64_t end, const std::array<bool, kinds::kCount>& checked,
                         const std::string& destination, RawScanView& view) {
    RawScanResult result;
    scan.attemptNumber = 0;
    scan.lastPercent = 0;
    scan.typeCounts = {};
    scan.incompleteCounts = {};
    scan.failedCount = 0;
    scan.carry.Clear();
    scan.scanStart = start;
    scan.scanEnd = end;

    const std::uint64_t diskSectors = reader.SectorCount(diskNumber);
    ScanReads reads(reader, diskNumber, diskSectors);
    CarvingContext ctx;
    ctx.readSectors = [&reads](std::uint64_t first, std::uint32_t count, void* buffer) {
        return reads.Read(first, count, buffer);
    };
    ctx.output = &view;
    ctx.destinationPath = destination;
    ctx.diskSectors = diskSectors;
    ctx.checked = checked;
    ctx.attemptNumber = &scan.attemptNumber;
    ctx.typeCounts = &scan.typeCounts;
    ctx.incompleteCounts = &scan.incompleteCounts;
    ctx.failedCount = &scan.failedCount;
    ctx.carry = &scan.carry;
    ctx.stopRequested = &scan.stopRequested;

    // Each window is read in chunks through the policy, so a bad sector
    // costs only its own chunk.
    std::vector<std::uint8_t> window(kWindowBytes);
    view.ShowRawProgress(true);
    scan.scanCursor = scan.scanStart;
    auto finish = [&](bool stopped) {
        result.stopped = stopped;
        for (int n : scan.typeCounts) result.documentsWritten += n;
        for (int n : scan.incompleteCounts) result.documentsIncomplete += n;
        result.documentsFailed = scan.failedCount;
        result.typeCounts = scan.typeCounts;
        result.incompleteCounts = scan.incompleteCounts;
        result.sectorsSkipped = reads.Unreadable();
        scan.typeCounts = {};
        scan.incompleteCounts = {};
        scan.carry.Clear();
        ShowIdle(view);
        return result;
    };
    while (scan.scanCursor < scan.scanEnd) {
        if (ctx.Stopped()) return finish(true);
        view.SetRawStatus(" Searching Sector :- " + std::to_string(scan.scanCursor));
        for (std::uint32_t i = 0; i < kReadsPerWindow; ++i) {
            if (ctx.Stopped()) return finish(true);
            ctx.Read(scan.scanCursor, kChunkSectors, window.data() + i * kChunkBytes);
            scan.scanCursor += kChunkSectors;
        }
        const std::uint64_t base = scan.scanCursor - kWindowSectors;
        bool reread = false;
        ProcessWindow(ctx, window.data(), base, reread);
        if (ctx.Stopped()) return finish(true);
        if (reread) scan.scanCursor = base;

        const std::uint64_t percent = scan.scanCursor * 100 / scan.scanEnd;
        if (percent > static_cast<std::uint64_t>(scan.lastPercent)) {
            scan.lastPercent = static_cast<int>(std::min<std::uint64_t>(percent, 100));
            view.SetRawProgress(scan.lastPercent);
        }
        if (percent >= 100) break;
    }
    return finish(false);
}

}  // namespace raw
