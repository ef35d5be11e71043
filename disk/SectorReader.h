// Every byte taken from a source disk passes through a SectorReader: N
// consecutive 512-byte sectors of disk number d from a 64-bit sector number,
// with the session's bad-sector policy. The reader is a small handle over
// objects the session owns (its disk set and its policy);
// copies of it are cheap and may be used from several threads at once.
#pragma once

#include <cstdint>
#include <string>

#include "disk/BadSectorPolicy.h"
#include "disk/DiskSet.h"

namespace disk {

class SectorReader {
public:
    SectorReader(DiskSet& disks, BadSectorPolicy& policy) : disks_(&disks), policy_(&policy) {}

    // Reads through the policy. Sectors that could not be read (bad ones
    // the policy gave up on, past the end, in a missing piece, every one of
    // a disk not attached) read as zeros and are named in the status; the
    // buffer never keeps stale data.
    ReadStatus Read(unsigned disk, std::uint64_t start, std::uint32_t count, void* buffer) const;
    // Never prompts: the status of one attempt (a failed part named whole).
    // Read-ahead windows use it and read what they need through Read when
    // it fails.
    ReadStatus TryRead(unsigned disk, std::uint64_t start, std::uint32_t count, void* buffer) const;
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
};

}  // namespace disk
