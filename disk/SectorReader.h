// Every byte taken from the source disk passes through ReadSectors: N
// consecutive 512-byte sectors from a 64-bit sector number, with the
// program-wide bad-sector policy. WriteSectors is used only by the
// compressed-file marking pass.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace disk {

constexpr std::uint32_t kSectorSize = 512;
constexpr unsigned kDeviceCount = 10;
constexpr std::size_t kDevicePathMax = 4096;  // bytes of a device path, terminator included

// The request record; the same record serves the writer.
struct SectorReadRequest {
    const char* deviceName = "";   // path of a block device or image file
    std::uint64_t startSector = 0;
    std::uint32_t sectorCount = 0;
    void* buffer = nullptr;        // caller-owned, at least sectorCount * 512 bytes
};

// Results of ReadSectors.
constexpr int kReadOk = 1;          // whole request transferred by the first attempt
constexpr int kReadFailed = 0;      // first attempt failed; the bad-sector policy ran
constexpr int kReadNoDevice = -1;   // the device could not be opened: the buffer reads as zeros

// The program-wide answer to "Bad Sector Encountered".
enum BadSectorAnswer : std::int32_t { kRetry = 0, kSkip = 1, kRetryAll = 2, kSkipAll = 3 };
extern std::atomic<std::int32_t> BadSectorDecision;

// Asks the user what to do about a failed read ("Bad Sector Encountered":
// Retry, Skip, Retry All, Skip All). The GUI shows a modal dialog, the CLI
// asks on the terminal, tests script the answers. Returns a BadSectorAnswer.
class BadSectorPrompt {
public:
    virtual ~BadSectorPrompt() = default;
    virtual std::int32_t Ask() = 0;
};
// Installs the prompt used by the policy; nullptr restores the default,
// which answers Retry without asking.
void SetBadSectorPrompt(BadSectorPrompt* prompt);
// Shows the prompt and stores its answer in BadSectorDecision.
void RunBadSectorPrompt();

// Reads request.sectorCount sectors. Unreadable sectors and sectors at or past
// the end of the device read as zeros; the buffer never keeps stale data.
int ReadSectors(const SectorReadRequest& request);
// Reads like ReadSectors but never runs the bad-sector policy: true when every
// sector was read (sectors past the device end read as zeros), false when any
// could not be (the buffer is then unspecified). Callers that read ahead in
// large windows use it and, when it fails, read the part they need through
// ReadSectors so that the policy runs for exactly the request it concerns.
bool TryReadSectors(const SectorReadRequest& request);
// Writes the sectors; true only when the open, the whole write and the close
// succeeded. Drops cached data of that device.
bool WriteSectors(const SectorReadRequest& request);

// ---- devices ---------------------------------------------------------------

// One attached disk: a block device or an image file, optionally with a GNU
// ddrescue mapfile whose unfinished areas read as failed sectors.
struct DeviceEntry {
    std::string path;
    std::string mapfilePath;
};

// Ten entries, indexed by the selected disk number. Each entry's path lives in
// fixed storage, so a request may point at it. Attaching replaces the entry
// and drops its cached data. Returns false with a message when the
// mapfile cannot be read or parsed.
bool AttachDevice(unsigned index, const std::string& path, const std::string& mapfilePath, std::string* error);
void DetachDevice(unsigned index);
void DetachAllDevices();
const DeviceEntry& DeviceNameTable(unsigned index);
// The device name a request for the given disk uses ("" past the table).
// When `diskLabel` ends in "Floppy" the floppy drive is used instead.
std::string DeviceNameFor(unsigned diskNumber, const std::string& diskLabel);
constexpr const char* kFloppyDevice = "/dev/fd0";

// Size of a device in bytes (0 when it cannot be opened).
std::uint64_t DeviceSizeBytes(const std::string& path);
// Drops all cached sector data (all devices).
void InvalidateSectorCache();

// The request for disk `diskNumber` (with the label's floppy rule); its
// device name points into the device table.
SectorReadRequest MakeRequest(unsigned diskNumber, const std::string& diskLabel, std::uint64_t startSector,
                              std::uint32_t sectorCount, void* buffer);

}  // namespace disk

namespace disk {

// ---- the BIOS read path of the old family ----------------------------------
// 'N' reads through the device layer (always so on Linux); 'F' reads through
// the companion routine; any other value reads nothing.
extern std::atomic<char> OsFamily;

// The companion read routine: BIOS drive, 0, 0, 1, sector count, buffer,
// low 32 bits of the start sector, 1. Nonzero means the sectors are in the buffer.
using BrevokRoutine = std::int32_t (*)(std::uint32_t drive, std::uint32_t, std::uint32_t, std::uint32_t,
                                       std::uint32_t count, void* buffer, std::uint32_t startLow, std::uint32_t);

// Loads the companion library and finds its read routine.
class CompanionLibrary {
public:
    virtual ~CompanionLibrary() = default;
    virtual bool Load() = 0;
    virtual BrevokRoutine Find(const char* name) = 0;
};
void SetCompanionLibrary(CompanionLibrary* library);  // also forgets a loaded routine

}  // namespace disk
