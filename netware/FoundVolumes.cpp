#include "netware/FoundVolumes.h"

namespace nw {

void FoundVolumes::Clear() {
    std::vector<VolumeDescriptor> old;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        old.swap(volumes_);
    }
}

std::uint32_t FoundVolumes::Add(const VolumeDescriptor& volume) {
    const std::lock_guard<std::mutex> lock(mutex_);
    volumes_.push_back(volume);
    return static_cast<std::uint32_t>(volumes_.size());
}

std::uint32_t FoundVolumes::Count() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<std::uint32_t>(volumes_.size());
}

std::optional<VolumeDescriptor> FoundVolumes::At(std::uint32_t index) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (index >= volumes_.size()) return std::nullopt;
    return volumes_[index];
}

std::vector<VolumeDescriptor> FoundVolumes::Snapshot() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return volumes_;
}

bool FoundVolumes::Replace(std::uint32_t index, const VolumeDescriptor& volume) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (index >= volumes_.size()) return false;
    volumes_[index] = volume;
    return true;
}

void FoundVolumes::SetDiskOfAll(unsigned disk) {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (VolumeDescriptor& v : volumes_) v.disk = disk;
}

}  // namespace nw
