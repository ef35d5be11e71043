#include "disk/SectorReader.h"

#include <cstring>

namespace disk {

ReadStatus SectorReader::Read(unsigned disk, std::uint64_t start, std::uint32_t count, void* buffer) const {
    const std::shared_ptr<Disk> d = disks_->At(disk);  // keeps the disk alive while it is read
    return policy_->Read(d.get(), start, count, buffer);
}

ReadStatus SectorReader::TryRead(unsigned disk, std::uint64_t start, std::uint32_t count, void* buffer) const {
    if (count == 0) return {};
    const std::shared_ptr<Disk> d = disks_->At(disk);
    if (d) return d->TryRead(start, count, buffer);
    if (buffer) std::memset(buffer, 0, static_cast<std::uint64_t>(count) * kSectorSize);
    return ReadStatus::Nothing(count, Unread::kNoDevice);
}

bool SectorReader::Write(unsigned disk, std::uint64_t start, std::uint32_t count, const void* buffer,
                         std::string* error) const {
    const std::shared_ptr<Disk> d = disks_->At(disk);
    if (!d) {
        if (error) *error = "no device is attached as Disk" + std::to_string(disk);
        return false;
    }
    return d->Write(start, count, buffer, error);
}

std::uint64_t SectorReader::SectorCount(unsigned disk) const {
    const std::shared_ptr<Disk> d = disks_->At(disk);
    return d ? d->SectorCount() : 0;
}

}  // namespace disk
