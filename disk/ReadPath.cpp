#include "disk/ReadPath.h"

#include <cstring>

#include "disk/BadSectorPolicy.h"
#include "disk/Disk.h"

namespace disk {

void ReadPath::SetCompanionLibrary(CompanionLibrary* library) {
    std::lock_guard<std::mutex> lock(mutex_);
    library_ = library;
    loaded_ = false;
    routine_ = nullptr;
}

BrevokRoutine ReadPath::Routine(std::string* message) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!loaded_) {
        if (!library_ || !library_->Load()) {
            if (message) *message = "Halvrin.dll not found";
            return nullptr;
        }
        loaded_ = true;
    }
    if (!routine_) routine_ = library_->Find("Brevok");
    if (!routine_ && message) *message = "Brevok function not found";
    return routine_;
}

int ReadPath::Read(const Disk* disk, unsigned number, BadSectorPolicy& policy, std::uint64_t start,
                   std::uint32_t count, void* buffer, std::uint32_t* unreadable) {
    if (unreadable) *unreadable = 0;
    if (count == 0) return kReadOk;
    if (!buffer) return kReadFailed;
    auto* out = static_cast<std::uint8_t*>(buffer);
    const std::uint64_t bytes = static_cast<std::uint64_t>(count) * kSectorSize;
    auto nothingRead = [&](int result) {
        std::memset(out, 0, bytes);
        if (unreadable) *unreadable = count;
        return result;
    };
    std::string message;
    const BrevokRoutine routine = Routine(&message);
    if (!routine) {
        if (CompanionNotice* notice = notice_.load()) notice->Tell(message);
        return nothingRead(kReadFailed);
    }
    if (!disk || number >= kBiosDiskCount) return nothingRead(kReadNoDevice);

    const std::uint32_t drive = kFirstBiosDrive + number;
    const auto startLow = static_cast<std::uint32_t>(start);  // the routine takes 32 bits
    const std::int32_t r = routine(drive, 0, 0, 1, count, out, startLow, 1);
    if (r != 0) return r;
    const std::int32_t decision = policy.Decide(BadSectorEvent{disk->Path(), start, count});
    if (decision != kRetry && decision != kRetryAll) return nothingRead(kReadFailed);
    std::uint32_t zeroed = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t* sector = out + static_cast<std::uint64_t>(i) * kSectorSize;
        if (routine(drive, 0, 0, 1, 1, sector, startLow + i, 1) == 0) {
            std::memset(sector, 0, kSectorSize);
            ++zeroed;
        }
    }
    if (unreadable) *unreadable = zeroed;
    return kReadFailed;
}

}  // namespace disk
