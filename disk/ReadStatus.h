// What one read request could not deliver. Every read of the read path
// (a disk, the bad-sector policy, the sector reader, a volume's blocks)
// returns one: the runs of sectors that were not read, each with its
// reason, counted from the request's first sector. Sectors named in a run
// read as zeros; the others hold the disk's data. Whatever needs to know
// whether a file, a directory or a table is damaged asks this status, and
// nothing else.
#pragma once

#include <cstdint>
#include <vector>

namespace disk {

enum class Unread : std::uint8_t {
    kBadSector,       // the device or image could not read it (may be retried)
    kPastEnd,         // at or past the end of its disk (a truncated image)
    kMissingPiece,    // in a piece of a split image that is not there
    kMissingSegment,  // in a segment of a volume whose disk is not attached
    kNoPlace,         // in a volume block that no segment of the volume covers
    kNoDevice,        // the disk is not attached or cannot be opened
};

// True for the reasons a retry may cure: only a bad sector. The others are
// counted unreadable without asking anyone.
constexpr bool Retryable(Unread reason) { return reason == Unread::kBadSector; }

// "bad sector", "past the end of the disk", ...
const char* UnreadText(Unread reason);

struct UnreadRun {
    std::uint32_t offset = 0;  // sectors from the request's first sector
    std::uint32_t count = 0;
    Unread reason = Unread::kBadSector;
};

class ReadStatus {
public:
    // A request whose every sector was read.
    ReadStatus() = default;
    // A request of `count` sectors none of which was read.
    static ReadStatus Nothing(std::uint32_t count, Unread reason) {
        ReadStatus s;
        s.Add(0, count, reason);
        return s;
    }

    bool Ok() const { return unreadable_ == 0; }
    // Sectors of the request not read.
    std::uint32_t Unreadable() const { return unreadable_; }
    // The runs in request order, neighbours of one reason joined.
    const std::vector<UnreadRun>& Runs() const { return runs_; }
    // Whether some sector was not read for `reason`.
    bool Has(Unread reason) const;
    // Whether some sector was not read for a reason a retry may cure.
    bool HasRetryable() const;
    // Sectors not read for `reason`.
    std::uint32_t Count(Unread reason) const;

    // Notes `count` sectors from `offset` as not read. Runs are added in
    // request order and never overlap.
    void Add(std::uint32_t offset, std::uint32_t count, Unread reason);
    // Appends the runs of a part of this request that started `offset`
    // sectors into it.
    void Append(const ReadStatus& part, std::uint32_t offset);

private:
    std::uint32_t unreadable_ = 0;
    std::vector<UnreadRun> runs_;  // empty (no allocation) while every sector reads
};

}  // namespace disk
