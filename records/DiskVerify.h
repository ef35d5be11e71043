// Evidence verification: the whole disk read once through the session's
// reader and hashed, against the hashes its container stored when it was
// acquired (an E01 set's MD5 and SHA-1), or, for any other disk, its MD5
// and SHA-256 as read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Progress.h"
#include "disk/ReadStatus.h"
#include "disk/Source.h"

namespace disk {
class SectorReader;
}

namespace records {

enum class HashMatch { NotStored, Match, Differs };

struct HashCheck {
    std::string kind;      // "MD5", "SHA1", "SHA256"
    std::string stored;    // lower-case hex; empty when none is stored
    std::string computed;  // lower-case hex of the disk as read
    HashMatch match = HashMatch::NotStored;
};

// Sectors the check could not read (hashed as zeros), with why.
struct UnreadSectors {
    std::uint64_t first = 0;
    std::uint64_t count = 0;
    disk::Unread reason = disk::Unread::kBadSector;
};

struct DiskVerification {
    bool evidenceSet = false;       // the disk is an evidence container (E01 set)
    std::uint32_t sectorsPerChunk = 0;
    std::vector<HashCheck> hashes;  // set's stored kinds (MD5 when none), else MD5 and SHA256
    std::vector<UnreadSectors> unread;
    std::uint64_t sectors = 0;      // of the disk
    std::uint64_t sectorsRead = 0;  // that the check went through (all unless stopped)
    bool stopped = false;

    bool StoresNone() const;
    // Every stored hash matches and every sector was read.
    bool Verified() const;
};

// Reads disk `disk` from its first sector to its last through `reader` (its
// bad-sector policy, mapfile and error list apply) and hashes what it reads,
// in one pass. `stored`: what the disk's container holds. Stops at `cancel`.
DiskVerification VerifyDisk(const disk::SectorReader& reader, unsigned disk, const disk::StoredHashes& stored,
                            base::ProgressSink& progress, const base::CancelFlag* cancel);

}  // namespace records
