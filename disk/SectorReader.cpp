#include "disk/SectorReader.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "app/job/Controls.h"
#include "disk/RescueMap.h"

namespace disk {

std::atomic<std::int32_t> BadSectorDecision{kRetry};
std::atomic<char> OsFamily{'N'};

namespace {

// ---- device table and read-ahead cache --------------------------------------
//
// Opening the device for every small request costs far more than the read
// itself, so requests are served from aligned 256 KiB chunks (small enough to stay
// in the processor cache while they are copied out), each filled by one
// open-read-close. A chunk that cannot be read whole (an I/O error, or an
// unfinished area of the mapfile) is not cached: the request is then read
// exactly as asked, and the bad-sector policy runs for it.

constexpr std::uint64_t kChunkBytes = 1u << 18;
constexpr unsigned kCacheEntries = 16;

struct Slot {
    char name[kDevicePathMax] = {};  // what requests point at
    DeviceEntry entry;
    std::shared_ptr<RescueMap> map;
    std::uint64_t sizeBytes = 0;
    bool openable = false;
    std::uint64_t generation = 1;
};

struct Chunk {
    int slot = -1;
    std::uint64_t generation = 0;
    std::uint64_t index = 0;
    std::unique_ptr<std::uint8_t[]> data;
};

std::mutex gMutex;  // guards the table and the cache
std::array<Slot, kDeviceCount> gSlots;
std::array<Chunk, kCacheEntries> gChunks;
BadSectorPrompt* gPrompt = nullptr;
CompanionLibrary* gLibrary = nullptr;
bool gLibraryLoaded = false;
BrevokRoutine gBrevok = nullptr;
const DeviceEntry kNoDevice{};

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    int release() {
        int f = fd_;
        fd_ = -1;
        return f;
    }

private:
    int fd_;
};

std::uint64_t SizeOfOpenDevice(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return 0;
    if (S_ISBLK(st.st_mode)) {
        std::uint64_t bytes = 0;
        if (::ioctl(fd, BLKGETSIZE64, &bytes) == 0) return bytes;
        return 0;
    }
    return static_cast<std::uint64_t>(st.st_size);
}

// Reads exactly `length` bytes at `offset`; false on any error or short read.
bool PreadAll(int fd, void* buf, std::uint64_t length, std::uint64_t offset) {
    auto* p = static_cast<std::uint8_t*>(buf);
    while (length > 0) {
        ssize_t n = ::pread(fd, p, length, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        length -= static_cast<std::uint64_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool PwriteAll(int fd, const void* buf, std::uint64_t length, std::uint64_t offset) {
    auto* p = static_cast<const std::uint8_t*>(buf);
    while (length > 0) {
        ssize_t n = ::pwrite(fd, p, length, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        length -= static_cast<std::uint64_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

int FindSlot(const char* path) {
    if (!path || !path[0]) return -1;
    for (unsigned i = 0; i < kDeviceCount; ++i)
        if (path == gSlots[i].name) return static_cast<int>(i);
    for (unsigned i = 0; i < kDeviceCount; ++i)
        if (std::strcmp(path, gSlots[i].name) == 0) return static_cast<int>(i);
    return -1;
}

unsigned CacheIndex(int slot, std::uint64_t chunk) {
    return static_cast<unsigned>((chunk + static_cast<std::uint64_t>(slot) * 977u) % kCacheEntries);
}

// Copies [offset, offset+length) from cached chunks, filling missing chunks.
// Returns false (copying nothing useful) when a chunk cannot be read whole.
bool ReadThroughCache(int slot, std::uint64_t offset, std::uint64_t length, std::uint8_t* out) {
    Slot& s = gSlots[slot];
    while (length > 0) {
        const std::uint64_t chunk = offset / kChunkBytes;
        const std::uint64_t within = offset % kChunkBytes;
        const std::uint64_t take = std::min(length, kChunkBytes - within);
        Chunk& c = gChunks[CacheIndex(slot, chunk)];
        if (!(c.slot == slot && c.generation == s.generation && c.index == chunk && c.data)) {
            const std::uint64_t begin = chunk * kChunkBytes;
            const std::uint64_t bytes = std::min(kChunkBytes, s.sizeBytes - begin);
            if (s.map && !s.map->IsGood(begin, bytes)) return false;
            if (!c.data) c.data.reset(new std::uint8_t[kChunkBytes]);
            c.slot = -1;
            Fd fd(::open(s.entry.path.c_str(), O_RDONLY | O_CLOEXEC));
            if (!fd.ok() || !PreadAll(fd.get(), c.data.get(), bytes, begin)) return false;
            c.slot = slot;
            c.generation = s.generation;
            c.index = chunk;
        }
        std::memcpy(out, c.data.get() + within, take);
        out += take;
        offset += take;
        length -= take;
    }
    return true;
}

std::int32_t EffectiveDecision() {
    std::int32_t d = BadSectorDecision.load();
    if (d == kRetryAll || d == kSkipAll) return d;
    RunBadSectorPrompt();
    return BadSectorDecision.load();
}

// The request as the device layer reads it: one open, one read, and on
// failure the bad-sector policy with sector-by-sector reads.
int ReadDirect(const char* path, const std::shared_ptr<RescueMap>& map, std::uint64_t startSector,
               std::uint32_t count, std::uint8_t* buf) {
    const std::uint64_t bytes = static_cast<std::uint64_t>(count) * kSectorSize;
    Fd fd(::open(path, O_RDONLY | O_CLOEXEC));
    if (!fd.ok()) {
        std::memset(buf, 0, bytes);
        return kReadNoDevice;
    }
    const std::uint64_t offset = startSector * kSectorSize;
    if (PreadAll(fd.get(), buf, bytes, offset) && (!map || map->IsGood(offset, bytes))) return kReadOk;

    const std::int32_t decision = EffectiveDecision();
    if (decision == kRetry || decision == kRetryAll) {
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint8_t* sector = buf + static_cast<std::uint64_t>(i) * kSectorSize;
            const std::uint64_t at = (startSector + i) * kSectorSize;
            if ((map && !map->IsGood(at, kSectorSize)) || !PreadAll(fd.get(), sector, kSectorSize, at))
                std::memset(sector, 0, kSectorSize);
        }
    } else {
        std::memset(buf, 0, bytes);
    }
    return kReadFailed;
}

int ReadLegacyBios(const SectorReadRequest& request) {
    auto* buf = static_cast<std::uint8_t*>(request.buffer);
    const std::uint64_t bytes = static_cast<std::uint64_t>(request.sectorCount) * kSectorSize;
    BrevokRoutine routine = nullptr;
    int slot = -1;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        slot = FindSlot(request.deviceName);
        if (!gLibraryLoaded) {
            if (!gLibrary || !gLibrary->Load()) {
                routine = nullptr;
            } else {
                gLibraryLoaded = true;
            }
            if (!gLibraryLoaded) {
                std::memset(buf, 0, bytes);
                job::ShowMessage("Halvrin.dll not found", job::MessageIcon::Error);
                return kReadFailed;
            }
        }
        if (!gBrevok) gBrevok = gLibrary->Find("Brevok");
        routine = gBrevok;
    }
    if (!routine) {
        std::memset(buf, 0, bytes);
        job::ShowMessage("Brevok function not found", job::MessageIcon::Error);
        return kReadFailed;
    }
    // Only the first four disks have BIOS drive numbers (128 .. 131).
    if (slot < 0 || slot > 3) {
        std::memset(buf, 0, bytes);
        return kReadNoDevice;
    }
    const std::uint32_t drive = 128u + static_cast<std::uint32_t>(slot);
    const auto startLow = static_cast<std::uint32_t>(request.startSector);
    std::int32_t r = routine(drive, 0, 0, 1, request.sectorCount, buf, startLow, 1);
    if (r != 0) return r;
    const std::int32_t decision = EffectiveDecision();
    if ((decision == kRetry || decision == kRetryAll) && request.sectorCount != 0) {
        for (std::uint32_t i = 0; i < request.sectorCount; ++i) {
            std::uint8_t* sector = buf + static_cast<std::uint64_t>(i) * kSectorSize;
            if (routine(drive, 0, 0, 1, 1, sector, startLow + i, 1) == 0) std::memset(sector, 0, kSectorSize);
        }
    } else {
        std::memset(buf, 0, bytes);
    }
    return kReadFailed;
}

}  // namespace

void SetBadSectorPrompt(BadSectorPrompt* prompt) { gPrompt = prompt; }

void RunBadSectorPrompt() {
    std::int32_t answer = gPrompt ? gPrompt->Ask() : kRetry;
    if (answer < kRetry || answer > kSkipAll) answer = kSkip;  // closing the dialog acts as Skip
    BadSectorDecision = answer;
}

void SetCompanionLibrary(CompanionLibrary* library) {
    std::lock_guard<std::mutex> lock(gMutex);
    gLibrary = library;
    gLibraryLoaded = false;
    gBrevok = nullptr;
}

// Zeroes the sectors of the request that lie at or past the device end and
// returns how many lie before it.
static std::uint32_t ClipToDevice(const SectorReadRequest& request, std::uint64_t sizeBytes, std::uint8_t* buf) {
    const std::uint64_t deviceSectors = sizeBytes / kSectorSize;
    std::uint32_t inRange = 0;
    if (request.startSector < deviceSectors)
        inRange = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(request.sectorCount, deviceSectors - request.startSector));
    if (inRange < request.sectorCount)
        std::memset(buf + static_cast<std::uint64_t>(inRange) * kSectorSize, 0,
                    static_cast<std::uint64_t>(request.sectorCount - inRange) * kSectorSize);
    return inRange;
}

int ReadSectors(const SectorReadRequest& request) {
    if (request.sectorCount == 0) return kReadOk;
    if (!request.buffer) return kReadFailed;
    const char family = OsFamily.load();
    if (family == 'F') return ReadLegacyBios(request);
    auto* buf = static_cast<std::uint8_t*>(request.buffer);
    const std::uint64_t bytes = static_cast<std::uint64_t>(request.sectorCount) * kSectorSize;
    if (family != 'N') {
        std::memset(buf, 0, bytes);
        return kReadNoDevice;
    }

    std::shared_ptr<RescueMap> map;
    std::uint32_t inRange = 0;
    bool inTable = false;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        const int slot = FindSlot(request.deviceName);
        if (slot >= 0) {
            inTable = true;
            Slot& s = gSlots[slot];
            if (!s.openable) {
                std::memset(buf, 0, bytes);
                return kReadNoDevice;
            }
            inRange = ClipToDevice(request, s.sizeBytes, buf);
            if (inRange == 0) return kReadOk;
            if (ReadThroughCache(slot, request.startSector * kSectorSize,
                                 static_cast<std::uint64_t>(inRange) * kSectorSize, buf))
                return kReadOk;
            map = s.map;
        }
    }
    if (!inTable) {
        // A device outside the table (the floppy drive): its size is asked at each read.
        if (!request.deviceName) {
            std::memset(buf, 0, bytes);
            return kReadNoDevice;
        }
        const std::uint64_t size = DeviceSizeBytes(request.deviceName);
        if (size == 0 && !Fd(::open(request.deviceName, O_RDONLY | O_CLOEXEC)).ok()) {
            std::memset(buf, 0, bytes);
            return kReadNoDevice;
        }
        inRange = ClipToDevice(request, size, buf);
        if (inRange == 0) return kReadOk;
    }
    // The exact read, outside the lock: the bad-sector prompt may wait for the user.
    return ReadDirect(request.deviceName, map, request.startSector, inRange, buf);
}

bool TryReadSectors(const SectorReadRequest& request) {
    if (request.sectorCount == 0) return true;
    if (!request.buffer || OsFamily.load() != 'N') return false;
    auto* buf = static_cast<std::uint8_t*>(request.buffer);
    std::shared_ptr<RescueMap> map;
    std::uint32_t inRange = 0;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        const int slot = FindSlot(request.deviceName);
        if (slot < 0 || !gSlots[slot].openable) return false;
        Slot& s = gSlots[slot];
        inRange = ClipToDevice(request, s.sizeBytes, buf);
        if (inRange == 0) return true;
        // Small requests fill the cache; large ones go straight to the device.
        if (static_cast<std::uint64_t>(inRange) * kSectorSize <= kChunkBytes)
            return ReadThroughCache(slot, request.startSector * kSectorSize,
                                    static_cast<std::uint64_t>(inRange) * kSectorSize, buf);
        map = s.map;
    }
    const std::uint64_t offset = request.startSector * kSectorSize;
    const std::uint64_t bytes = static_cast<std::uint64_t>(inRange) * kSectorSize;
    if (map && !map->IsGood(offset, bytes)) return false;
    Fd fd(::open(request.deviceName, O_RDONLY | O_CLOEXEC));
    return fd.ok() && PreadAll(fd.get(), buf, bytes, offset);
}

bool WriteSectors(const SectorReadRequest& request) {
    const std::uint64_t bytes = static_cast<std::uint64_t>(request.sectorCount) * kSectorSize;
    bool ok = false;
    {
        Fd fd(::open(request.deviceName ? request.deviceName : "", O_WRONLY | O_CLOEXEC));
        if (fd.ok()) {
            ok = request.buffer != nullptr &&
                 PwriteAll(fd.get(), request.buffer, bytes, request.startSector * kSectorSize);
            if (::close(fd.release()) != 0) {
                ok = false;
                job::ShowMessage("NOT CLOSED", job::MessageIcon::Error);
            }
        }
    }
    std::lock_guard<std::mutex> lock(gMutex);
    const int slot = FindSlot(request.deviceName);
    if (slot >= 0) ++gSlots[slot].generation;
    return ok;
}

bool AttachDevice(unsigned index, const std::string& path, const std::string& mapfilePath, std::string* error) {
    if (index >= kDeviceCount) {
        if (error) *error = "disk number " + std::to_string(index) + " is beyond the device table";
        return false;
    }
    if (path.empty() || path.size() >= kDevicePathMax) {
        if (error) *error = "device path is empty or too long";
        return false;
    }
    std::shared_ptr<RescueMap> map;
    if (!mapfilePath.empty()) {
        map = std::make_shared<RescueMap>();
        if (!map->Load(mapfilePath, error)) return false;
    }
    std::uint64_t size = 0;
    bool openable = false;
    {
        Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (fd.ok()) {
            openable = true;
            size = SizeOfOpenDevice(fd.get());
        }
    }
    std::lock_guard<std::mutex> lock(gMutex);
    Slot& s = gSlots[index];
    std::memset(s.name, 0, sizeof s.name);
    std::memcpy(s.name, path.data(), path.size());
    s.entry = DeviceEntry{path, mapfilePath};
    s.map = std::move(map);
    s.sizeBytes = size;
    s.openable = openable;
    ++s.generation;
    return true;
}

void DetachDevice(unsigned index) {
    if (index >= kDeviceCount) return;
    std::lock_guard<std::mutex> lock(gMutex);
    Slot& s = gSlots[index];
    std::memset(s.name, 0, sizeof s.name);
    s.entry = DeviceEntry{};
    s.map.reset();
    s.sizeBytes = 0;
    s.openable = false;
    ++s.generation;
}

void DetachAllDevices() {
    for (unsigned i = 0; i < kDeviceCount; ++i) DetachDevice(i);
}

const DeviceEntry& DeviceNameTable(unsigned index) {
    if (index >= kDeviceCount) return kNoDevice;
    return gSlots[index].entry;
}

std::string DeviceNameFor(unsigned diskNumber, const std::string& diskLabel) {
    static const std::string kFloppy = "Floppy";
    if (diskLabel.size() >= kFloppy.size() &&
        diskLabel.compare(diskLabel.size() - kFloppy.size(), kFloppy.size(), kFloppy) == 0)
        return kFloppyDevice;
    if (diskNumber >= kDeviceCount) return {};
    std::lock_guard<std::mutex> lock(gMutex);
    return gSlots[diskNumber].entry.path;
}

std::uint64_t DeviceSizeBytes(const std::string& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    return fd.ok() ? SizeOfOpenDevice(fd.get()) : 0;
}

void InvalidateSectorCache() {
    std::lock_guard<std::mutex> lock(gMutex);
    for (Slot& s : gSlots) ++s.generation;
}

SectorReadRequest MakeRequest(unsigned diskNumber, const std::string& diskLabel, std::uint64_t startSector,
                              std::uint32_t sectorCount, void* buffer) {
    static const std::string kFloppy = "Floppy";
    SectorReadRequest r;
    if (diskLabel.size() >= kFloppy.size() &&
        diskLabel.compare(diskLabel.size() - kFloppy.size(), kFloppy.size(), kFloppy) == 0)
        r.deviceName = kFloppyDevice;
    else if (diskNumber < kDeviceCount)
        r.deviceName = gSlots[diskNumber].name;  // fixed storage: no lock needed to point at it
    r.startSector = startSector;
    r.sectorCount = sectorCount;
    r.buffer = buffer;
    return r;
}

}  // namespace disk
