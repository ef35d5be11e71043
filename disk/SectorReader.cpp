#include "disk/SectorReader.h"

#include <cstring>

namespace disk {

int SectorReader::Read(unsigned disk, std::uint64_t start, std::uint32_t count, void* buffer,
                       std::uint32_t* unreadable) const {
    const char family = path_ ? path_->OsFamily.load() : 'N';
    const std::shared_ptr<Disk> d = disks_->At(disk);  // keeps the disk alive while it is read
    if (family == 'F') return path_->Read(d.get(), disk, *policy_, start, count, buffer, unreadable);
    if (family != 'N') {
        if (unreadable) *unreadable = 0;
        if (count == 0) return kReadOk;
        if (!buffer) return kReadFailed;
        std::memset(buffer, 0, static_cast<std::uint64_t>(count) * kSectorSize);
        if (unreadable) *unreadable = count;
        return kReadNoDevice;
    }
    return policy_->Read(d.get(), start, count, buffer, unreadable);
}

bool SectorReader::TryRead(unsigned disk, std::uint64_t start, std::uint32_t count, void* buffer) const {
    if (count == 0) return true;
    if (path_ && path_->OsFamily.load() != 'N') return false;
    const std::shared_ptr<Disk> d = disks_->At(disk);
    return d && d->TryRead(start, count, buffer);
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
