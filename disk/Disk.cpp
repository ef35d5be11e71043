#include "disk/Disk.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "disk/OpenSource.h"
#include "disk/PosixFile.h"

namespace disk {

namespace {

// Small requests are served from aligned 256 KiB chunks (small enough to stay
// in the processor cache while they are copied out), each filled by one read.
// A chunk that cannot be read whole (an I/O error, or an unfinished area of
// the mapfile) is not cached: the request is then read exactly as asked, so
// that a failure concerns exactly that request.
constexpr std::uint64_t kChunkBytes = 1u << 18;
constexpr unsigned kCacheEntries = 16;  // per disk, direct-mapped by chunk number

}  // namespace

std::uint64_t DeviceSizeBytes(const std::string& path) {
    const OpenedSource opened = OpenSource(path);
    return opened.source ? opened.source->SizeBytes() : 0;
}

std::string OpenProblem(const std::string& path) {
    std::string why;
    if (OpenForReading(path, FileKinds::kRegularOrBlockDevice, &why).ok()) return {};
    const std::string prefix = path + ": ";
    return why.compare(0, prefix.size(), prefix) == 0 ? why.substr(prefix.size()) : why;
}

std::unique_ptr<Disk> Disk::Open(const std::string& path, const std::string& mapfilePath, std::string* error) {
    std::unique_ptr<Disk> disk(new Disk());
    disk->path_ = path;
    disk->mapfilePath_ = mapfilePath;
    OpenedSource opened = OpenSource(path);
    if (!mapfilePath.empty()) {
        // A mapfile counts bytes of the device it was made from: only a raw
        // image (whole or split) or the device itself has them at those offsets.
        const bool raw = opened.format == SourceFormat::kRaw || opened.format == SourceFormat::kSplitRaw;
        if (!raw) {
            const std::string what = opened.source ? opened.source->Name() : FormatName(opened.format) + std::string(" image");
            if (error)
                *error = mapfilePath + ": a ddrescue mapfile applies only to raw images and block devices, not to " +
                         path + " (" + what + ")";
            return nullptr;
        }
        disk->map_ = std::make_unique<RescueMap>();
        if (!disk->map_->Load(mapfilePath, error)) return nullptr;
    }
    disk->source_ = std::move(opened.source);
    if (disk->source_) {
        disk->sizeBytes_ = disk->source_->SizeBytes();
        for (const auto& [offset, length] : disk->source_->MissingRanges()) {
            if (length == 0) continue;
            const std::uint64_t first = offset / kSectorSize;
            const std::uint64_t end = (offset + length + kSectorSize - 1) / kSectorSize;
            if (!disk->missingSectors_.empty() && disk->missingSectors_.back().second >= first)
                disk->missingSectors_.back().second = std::max(disk->missingSectors_.back().second, end);
            else
                disk->missingSectors_.emplace_back(first, end);
        }
    } else
        disk->openError_ = opened.failure;
    disk->chunks_.resize(kCacheEntries);
    return disk;
}

Disk::~Disk() = default;

std::uint32_t Disk::SectorsBeforeEnd(std::uint64_t start, std::uint32_t count) const {
    const std::uint64_t sectors = SectorCount();
    if (start >= sectors) return 0;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(count, sectors - start));
}

bool Disk::ReadExact(std::uint64_t offset, std::uint64_t length, std::uint8_t* out) {
    if (map_ && !map_->IsGood(offset, length)) return false;
    if (source_->IsUnreadable(offset, length)) return false;
    return source_->ReadAt(offset, length, out);
}

bool Disk::ReadThroughCache(std::uint64_t offset, std::uint64_t length, std::uint8_t* out) {
    std::lock_guard<std::mutex> lock(cacheMutex_);
    while (length > 0) {
        const std::uint64_t index = offset / kChunkBytes;
        const std::uint64_t within = offset % kChunkBytes;
        const std::uint64_t take = std::min(length, kChunkBytes - within);
        Chunk& c = chunks_[index % kCacheEntries];
        if (!c.valid || c.index != index) {
            c.valid = false;
            const std::uint64_t begin = index * kChunkBytes;
            const std::uint64_t bytes = std::min(kChunkBytes, sizeBytes_ - begin);
            if (!c.data) c.data = std::make_unique_for_overwrite<std::uint8_t[]>(kChunkBytes);
            if (!ReadExact(begin, bytes, c.data.get())) return false;
            c.index = index;
            c.valid = true;
        }
        std::memcpy(out, c.data.get() + within, take);
        out += take;
        offset += take;
        length -= take;
    }
    return true;
}

void Disk::ReadPresent(std::uint64_t start, std::uint32_t count, std::uint32_t offset, std::uint8_t* out,
                       ReadStatus& status) {
    if (count == 0) return;
    const std::uint64_t bytes = static_cast<std::uint64_t>(count) * kSectorSize;
    const std::uint64_t at = (start + offset) * kSectorSize;
    std::uint8_t* into = out + static_cast<std::uint64_t>(offset) * kSectorSize;
    if (bytes <= kChunkBytes && ReadThroughCache(at, bytes, into)) return;
    if (ReadExact(at, bytes, into)) return;
    std::memset(into, 0, bytes);
    status.Add(offset, count, Unread::kBadSector);
}

ReadStatus Disk::TryRead(std::uint64_t start, std::uint32_t count, void* buffer) {
    if (count == 0) return {};
    if (!buffer) return ReadStatus::Nothing(count, Unread::kBadSector);
    auto* out = static_cast<std::uint8_t*>(buffer);
    if (!source_) {
        std::memset(out, 0, static_cast<std::uint64_t>(count) * kSectorSize);
        return ReadStatus::Nothing(count, Unread::kNoDevice);
    }
    ReadStatus status;
    const std::uint32_t inRange = SectorsBeforeEnd(start, count);
    std::uint32_t at = 0;  // sectors of the request dealt with
    for (const auto& [first, end] : missingSectors_) {
        if (at >= inRange) break;
        if (end <= start + at) continue;
        if (first >= start + inRange) break;
        if (first > start + at) {
            const auto present = static_cast<std::uint32_t>(first - (start + at));
            ReadPresent(start, present, at, out, status);
            at += present;
        }
        const auto gone = static_cast<std::uint32_t>(std::min<std::uint64_t>(end, start + inRange) - (start + at));
        std::memset(out + static_cast<std::uint64_t>(at) * kSectorSize, 0, static_cast<std::uint64_t>(gone) * kSectorSize);
        status.Add(at, gone, Unread::kMissingPiece);
        at += gone;
    }
    ReadPresent(start, inRange - at, at, out, status);
    if (inRange < count) {
        std::memset(out + static_cast<std::uint64_t>(inRange) * kSectorSize, 0,
                    static_cast<std::uint64_t>(count - inRange) * kSectorSize);
        status.Add(inRange, count - inRange, Unread::kPastEnd);
    }
    return status;
}

bool Disk::ReadOneSector(std::uint64_t sector, void* buffer) {
    if (!source_ || !buffer) return false;
    return ReadExact(sector * kSectorSize, kSectorSize, static_cast<std::uint8_t*>(buffer));
}

bool Disk::Write(std::uint64_t start, std::uint32_t count, const void* buffer, std::string* error) {
    auto fail = [error](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    if (count == 0) return true;
    if (!buffer) return fail("nothing to write");
    if (SectorsBeforeEnd(start, count) != count) return fail(path_ + ": sectors past the end of the disk");
    if (!source_) return fail(openError_);
    if (!source_->IsPlainRaw())
        return fail(path_ + ": not written: disks in a container or split image (" + source_->Name() +
                    ") are opened read-only");
    bool ok = false;
    std::string why;
    {
        // O_NONBLOCK: a pipe put in the image's place is refused at once.
        UniqueFd fd(::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        if (!fd.ok()) return fail(SystemReason(path_, errno));
        ok = PwriteAll(fd.get(), buffer, static_cast<std::uint64_t>(count) * kSectorSize, start * kSectorSize);
        if (!ok) why = SystemReason(path_, errno);
        if (::close(fd.release()) != 0) {
            ok = false;
            why = "NOT CLOSED";
        }
    }
    DropCache();
    return ok || fail(why);
}

void Disk::DropCache() {
    std::lock_guard<std::mutex> lock(cacheMutex_);
    for (Chunk& c : chunks_) c.valid = false;
}

}  // namespace disk
