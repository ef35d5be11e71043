// The BIOS read path of the old family: reads through a routine of the
// companion library instead of the disks' own descriptors. A session holds
// one ReadPath; its family character chooses the path of every read.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace disk {

class BadSectorPolicy;
class Disk;

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

// Told when the companion path cannot read ("Halvrin.dll not found",
// "Brevok function not found"); the front end shows the text as an error.
class CompanionNotice {
public:
    virtual ~CompanionNotice() = default;
    virtual void Tell(const std::string& message) = 0;
};

constexpr unsigned kBiosDiskCount = 4;          // disks 0..3 have BIOS drive numbers
constexpr std::uint32_t kFirstBiosDrive = 128;  // the BIOS number of disk 0

// Which read path a session uses: 'N' reads through the disks (always so on
// Linux); 'F' through the companion routine; any other value reads nothing.
class ReadPath {
public:
    std::atomic<char> OsFamily{'N'};

    // Also forgets a loaded routine. The library must outlive the reads.
    void SetCompanionLibrary(CompanionLibrary* library);
    void SetNotice(CompanionNotice* notice) { notice_.store(notice); }
    // The routine, loading the library on first use (a library that failed
    // to load is tried again next time); nullptr with *message
    // ("Halvrin.dll not found", "Brevok function not found") when missing.
    BrevokRoutine Routine(std::string* message);

    // One read through the routine with the policy (kReadFailed and zeros
    // when the routine is missing, told through the notice; kReadNoDevice
    // for a disk without a BIOS number or not attached). On success returns
    // the routine's nonzero result.
    int Read(const Disk* disk, unsigned number, BadSectorPolicy& policy, std::uint64_t start, std::uint32_t count,
             void* buffer, std::uint32_t* unreadable);

private:
    std::mutex mutex_;  // guards the three below while the library is loaded
    CompanionLibrary* library_ = nullptr;
    bool loaded_ = false;
    BrevokRoutine routine_ = nullptr;
    std::atomic<CompanionNotice*> notice_{nullptr};
};

}  // namespace disk
