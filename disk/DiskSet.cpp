#include "disk/DiskSet.h"

namespace disk {

bool DiskSet::Attach(unsigned number, const std::string& path, const std::string& mapfilePath, std::string* error) {
    if (number >= kDeviceCount) {
        if (error) *error = "disk number " + std::to_string(number) + " is beyond the device table";
        return false;
    }
    if (path.empty()) {
        if (error) *error = "device path is empty";
        return false;
    }
    std::shared_ptr<Disk> disk = Disk::Open(path, mapfilePath, error);
    if (!disk) return false;
    Replace(number, std::move(disk));
    return true;
}

void DiskSet::Replace(unsigned number, std::shared_ptr<Disk> disk) {
    Slot& slot = slots_[number];
    {
        std::lock_guard<std::mutex> lock(slot.mutex);
        slot.disk.swap(disk);
    }
    // `disk` now holds the one replaced: closed here, outside the lock,
    // unless a read still uses it.
}

void DiskSet::Detach(unsigned number) {
    if (number < kDeviceCount) Replace(number, nullptr);
}

void DiskSet::DetachAll() {
    for (unsigned n = 0; n < kDeviceCount; ++n) Replace(n, nullptr);
}

std::shared_ptr<Disk> DiskSet::At(unsigned number) const {
    if (number >= kDeviceCount) return nullptr;
    const Slot& slot = slots_[number];
    std::lock_guard<std::mutex> lock(slot.mutex);
    return slot.disk;
}

std::string DiskSet::PathOf(unsigned number) const {
    const std::shared_ptr<Disk> disk = At(number);
    return disk ? disk->Path() : std::string();
}

}  // namespace disk
