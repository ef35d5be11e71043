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
    // Opened outside the lock: opening a device may take a while.
    std::shared_ptr<Disk> disk = Disk::Open(path, mapfilePath, error);
    if (!disk) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    disks_[number] = std::move(disk);
    return true;
}

void DiskSet::Detach(unsigned number) {
    if (number >= kDeviceCount) return;
    std::shared_ptr<Disk> gone;  // closed after the lock is released
    std::lock_guard<std::mutex> lock(mutex_);
    gone.swap(disks_[number]);
}

void DiskSet::DetachAll() {
    std::array<std::shared_ptr<Disk>, kDeviceCount> gone;
    std::lock_guard<std::mutex> lock(mutex_);
    gone.swap(disks_);
}

std::shared_ptr<Disk> DiskSet::At(unsigned number) const {
    if (number >= kDeviceCount) return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    return disks_[number];
}

std::string DiskSet::PathOf(unsigned number) const {
    const std::shared_ptr<Disk> disk = At(number);
    return disk ? disk->Path() : std::string();
}

}  // namespace disk
