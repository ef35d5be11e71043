#include "disk/BadSectorPolicy.h"

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

int BadSectorPolicy::Read(Disk* disk, std::uint64_t start, std::uint32_t count, void* buffer,
                          std::uint32_t* unreadable) {
    if (unreadable) *unreadable = 0;
    if (count == 0) return kReadOk;
    if (!buffer) return kReadFailed;
    auto* out = static_cast<std::uint8_t*>(buffer);
    if (!disk || !disk->IsOpen()) {
        std::memset(out, 0, static_cast<std::uint64_t>(count) * kSectorSize);
        if (unreadable) *unreadable = count;
        return kReadNoDevice;
    }
    if (disk->TryRead(start, count, out)) return kReadOk;

    // TryRead zeroed the sectors past the end; the policy concerns the rest.
    const std::uint32_t inRange = disk->SectorsBeforeEnd(start, count);
    const std::int32_t decision = Decide(BadSectorEvent{disk->Path(), start, inRange});
    std::uint32_t zeroed = 0;
    if (decision == kRetry || decision == kRetryAll) {
        for (std::uint32_t i = 0; i < inRange; ++i) {
            std::uint8_t* sector = out + static_cast<std::uint64_t>(i) * kSectorSize;
            if (!disk->ReadOneSector(start + i, sector)) {
                std::memset(sector, 0, kSectorSize);
                ++zeroed;
            }
        }
    } else {
        std::memset(out, 0, static_cast<std::uint64_t>(inRange) * kSectorSize);
        zeroed = inRange;
    }
    if (unreadable) *unreadable = zeroed;
    return kReadFailed;
}

}  // namespace disk
