// Every byte taken from a source disk passes through a SectorReader: N
// consecutive 512-byte sectors of disk number d from a 64-bit sector number,
// with the session's bad-sector policy. The reader is a small handle over
// objects the session owns (its disk set and its policy); copies of it are
// cheap and may be used from several threads at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "disk/BadSectorPolicy.h"
#include "disk/DiskSet.h"

namespace disk {

// ---- the BIOS read path of the old family ----------------------------------
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

// Which read path a session uses: 'N' reads through the disks (always so on
// Linux); 'F' through the companion routine; any other value reads nothing.
// Failures of the companion path are told through `notice`.
class ReadPath {
public:
    std::atomic<char> OsFamily{'N'};
    void SetCompanionLibrary(CompanionLibrary* library);  // also forgets a loaded routine
    // The routine, loading the library on first use; nullptr with *message
    // ("Halvrin.dll not found", "Brevok function not found") when missing.
    BrevokRoutine Routine(std::string* message);

private:
    std::atomic<CompanionLibrary*> library_{nullptr};
    std::atomic<bool> loaded_{false};
    std::atomic<BrevokRoutine> routine_{nullptr};
};

class SectorReader {
public:
    SectorReader(DiskSet& disks, BadSectorPolicy& policy, ReadPath* path = nullptr)
        : disks_(&disks), policy_(&policy), path_(path) {}

    // Reads through the policy (kReadOk, kReadFailed, kReadNoDevice).
    // Unreadable sectors and sectors past the end read as zeros; the buffer
    // never keeps stale data. `unreadable` receives how many sectors were
    // returned as zeros because they could not be read.
    int Read(unsigned disk, std::uint64_t start, std::uint32_t count, void* buffer,
             std::uint32_t* unreadable = nullptr) const;
    // Never prompts: true when every sector was read. Read-ahead windows use
    // it and read what they need through Read when it fails.
    bool TryRead(unsigned disk, std::uint64_t start, std::uint32_t count, void* buffer) const;
    // Writes; true only when the open, the whole write and the close succeeded.
    bool Write(unsigned disk, std::uint64_t start, std::uint32_t count, const void* buffer,
               std::string* error) const;
    // Size of disk d in sectors (0 when none is attached or it cannot be read).
    std::uint64_t SectorCount(unsigned disk) const;

    DiskSet& Disks() const { return *disks_; }
    BadSectorPolicy& Policy() const { return *policy_; }

private:
    DiskSet* disks_;
    BadSectorPolicy* policy_;
    ReadPath* path_;
};

}  // namespace disk
