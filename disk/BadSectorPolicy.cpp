#include "disk/BadSectorPolicy.h"

#include <algorithm>
#include <cstring>

#include "disk/Disk.h"

namespace disk {

std::int32_t BadSectorPolicy::Decide(const BadSectorEvent& event) {
    const std::int32_t standing = BadSectorDecision.load();
    if (standing == kRetryAll || standing == kSkipAll) return standing;
    BadSectorPrompt* prompt = prompt_.load();
    std::int32_t answer = prompt ? prompt->Ask(event) : kRetry;
    if (answer < kRetry || answer > kSkipAll) answer = kSkip;  // closing the dialog acts as Skip
    BadSectorDecision = answer;
    return answer;
}

ReadStatus BadSectorPolicy::Read(Disk* disk, std::uint64_t start, std::uint32_t count, void* buffer) {
    if (count == 0) return {};
    if (!buffer) return ReadStatus::Nothing(count, Unread::kBadSector);
    auto* out = static_cast<std::uint8_t*>(buffer);
    if (!disk || !disk->IsOpen()) {
        std::memset(out, 0, static_cast<std::uint64_t>(count) * kSectorSize);
        return ReadStatus::Nothing(count, Unread::kNoDevice);
    }
    ReadStatus first = disk->TryRead(start, count, out);
    if (!first.HasRetryable()) return first;

    // The prompt names the sectors a retry concerns: from the first bad
    // sector's part to the last one's.
    std::uint32_t low = count, high = 0;
    for (const UnreadRun& r : first.Runs())
        if (Retryable(r.reason)) {
            low = std::min(low, r.offset);
            high = std::max(high, r.offset + r.count);
        }
    const std::int32_t decision = Decide(BadSectorEvent{disk->Path(), start + low, high - low});
    if (decision != kRetry && decision != kRetryAll) return first;  // the failed parts stay zeros
    ReadStatus after;
    for (const UnreadRun& r : first.Runs()) {
        if (!Retryable(r.reason)) {
            after.Add(r.offset, r.count, r.reason);
            continue;
        }
        for (std::uint32_t i = r.offset; i < r.offset + r.count; ++i) {
            std::uint8_t* sector = out + static_cast<std::uint64_t>(i) * kSectorSize;
            if (!disk->ReadOneSector(start + i, sector)) {
                std::memset(sector, 0, kSectorSize);
                after.Add(i, 1, Unread::kBadSector);
            }
        }
    }
    return after;
}

}  // namespace disk
