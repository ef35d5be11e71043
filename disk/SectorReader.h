// Every byte taken from a source disk passes through a SectorReader: N
// consecutive 512-byte sectors of disk number d from a 64-bit sector number,
// with the session's bad-sector policy. The reader is a small handle over
// objects the session owns (its disk set, its policy and its read path);
// copies of it are cheap and may be used from several threads at once.
#pragma once

#include <cstdint>
#include <string>

#include "disk/BadSectorPolicy.h"
#include "disk/DiskSet.h"
#include "disk/ReadPath.h"

namespace disk {

class SectorReader {
public:
    // Without a read path every read goes through the disks ('N').
    SectorReader(DiskSet& disks, BadSectorPolicy& policy, ReadPath* path = nullptr)
        : disks_(&disks), policy_(&policy), path_(path) {}

    // Reads through the policy (kReadOk, kReadFailed, kReadNoDevice; on the
    // companion path the routine's nonzero result on success). Unreadable
    // sectors and sectors past the end read as zeros; the buffer never
    // keeps stale data. `unreadable` receives how many sectors were
    // returned as zeros because they could not be read.
    int Read(unsigned disk, std::uint64_t start, std::uint32_t count, void* buffer,
             std::uint32_t* unreadable = nullptr) const;
    // Never prompts: true when every sector was read (sectors past the end
    // read as zeros). Read-ahead windows use it and read what they need
    // through Read when it fails.
    bool TryRead(unsigned disk, std::uint64_t start, std::uint32_t count, void* buffer) const;
    // Writes; true only when the open, the whole write and the close
    // succeeded; *error says why not ("NOT CLOSED" when the close failed).
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
