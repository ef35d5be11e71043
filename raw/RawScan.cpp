#include "raw/RawScan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

// The view back to idle at the end of a scan, whichever way it ended.
void ShowIdle(RawScanView& view) {
    view.SetRawStatus("");
    view.SetRawProgress(0, base::ProgressCaption(0));
    view.ShowRawProgress(false);
    view.ClearFilesRecovered();
}

}  // namespace

bool ParseSectorField(const std::string& text, std::int64_t& out) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const std::size_t digitsFrom = i;
    std::uint64_t value = 0;
    for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (value > static_cast<std::uint64_t>(INT64_MAX)) return false;
    }
    if (i == digitsFrom) return false;
    while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i != n) return false;
    out = negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
    return true;
}

std::string EndSectorFieldText(std::uint64_t diskSectors) { return std::to_string(diskSectors); }

RawCheckResult CheckRawRequest(const RawRequest& request, std::uint64_t diskSectors) {
    RawCheckResult r;
    if (std::none_of(request.checked.begin(), request.checked.end(), [](bool on) { return on; }))
        return {RawCheck::NoFileType, kMsgSelectFileType};
    if (request.wholeDisk) {
        r.start = 0;
        r.end = diskSectors;
        return r;
    }
    std::int64_t end = 0, start = 0;
    if (!ParseSectorField(request.endText, end) || end < 0) return {RawCheck::InvalidEnd, kMsgInvalidEnd};
    if (!ParseSectorField(request.startText, start) || start < 0) return {RawCheck::InvalidStart, kMsgInvalidStart};
    if (start >= end) return {RawCheck::StartNotBelowEnd, kMsgStartNotBelowEnd};
    r.start = static_cast<std::uint64_t>(start);
    r.end = static_cast<std::uint64_t>(end);
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
    scan.failedCount = 0;
    scan.carry.Clear();
    scan.scanStart = start;
    scan.scanEnd = end;

    CarvingContext ctx;
    ctx.readSectors = [&reader, diskNumber](std::uint64_t first, std::uint32_t count, void* buffer) {
        return !reader.Read(diskNumber, first, count, buffer).Has(disk::Unread::kNoDevice);
    };
    ctx.output = &view;
    ctx.destinationPath = destination;
    ctx.checked = checked;
    ctx.attemptNumber = &scan.attemptNumber;
    ctx.typeCounts = &scan.typeCounts;
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
        result.documentsFailed = scan.failedCount;
        result.typeCounts = scan.typeCounts;
        scan.typeCounts = {};
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
            view.SetRawProgress(scan.lastPercent, base::ProgressCaption(scan.lastPercent));
        }
        if (percent >= 100) {
            view.SetRawProgress(scan.lastPercent, base::ProgressCaption(0));
            break;
        }
    }
    return finish(false);
}

}  // namespace raw
