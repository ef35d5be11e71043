#include "disk/ReadStatus.h"

namespace disk {

const char* UnreadText(Unread reason) {
    switch (reason) {
        case Unread::kBadSector: return "bad sector";
        case Unread::kPastEnd: return "past the end of the disk";
        case Unread::kMissingPiece: return "in a missing piece of a split image";
        case Unread::kMissingSegment: return "in a missing segment of the volume";
        case Unread::kNoPlace: return "in a block no segment of the volume holds";
        case Unread::kNoDevice: return "no device";
    }
    return "unreadable";
}

bool ReadStatus::Has(Unread reason) const {
    for (const UnreadRun& r : runs_)
        if (r.reason == reason) return true;
    return false;
}

bool ReadStatus::HasRetryable() const {
    for (const UnreadRun& r : runs_)
        if (Retryable(r.reason)) return true;
    return false;
}

std::uint32_t ReadStatus::Count(Unread reason) const {
    std::uint32_t n = 0;
    for (const UnreadRun& r : runs_)
        if (r.reason == reason) n += r.count;
    return n;
}

void ReadStatus::Add(std::uint32_t offset, std::uint32_t count, Unread reason) {
    if (count == 0) return;
    unreadable_ += count;
    if (!runs_.empty()) {
        UnreadRun& last = runs_.back();
        if (last.reason == reason && last.offset + last.count == offset) {
            last.count += count;
            return;
        }
    }
    runs_.push_back(UnreadRun{offset, count, reason});
}

void ReadStatus::Append(const ReadStatus& part, std::uint32_t offset) {
    for (const UnreadRun& r : part.runs_) Add(offset + r.offset, r.count, r.reason);
}

}  // namespace disk
