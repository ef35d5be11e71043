// The volumes one search found, in the order found. A search fills the list
// on its worker while the window may read the count for its progress; the
// entries are read once the search has ended. Every access goes through the
// list's lock, and entries leave it as copies, so a reader never sees an
// entry being written. The list has no fixed size.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "netware/Volume.h"

namespace nw {

class FoundVolumes {
public:
    FoundVolumes() = default;
    FoundVolumes(const FoundVolumes&) = delete;
    FoundVolumes& operator=(const FoundVolumes&) = delete;

    void Clear();
    // Appends the volume; returns the new count.
    std::uint32_t Add(const VolumeDescriptor& volume);
    std::uint32_t Count() const;
    // A copy of entry `index` (nullopt past the end).
    std::optional<VolumeDescriptor> At(std::uint32_t index) const;
    // Copies of every entry, in order.
    std::vector<VolumeDescriptor> Snapshot() const;
    // Replaces entry `index`; false (nothing changed) past the end.
    bool Replace(std::uint32_t index, const VolumeDescriptor& volume);
    // Places every entry on disk `disk`.
    void SetDiskOfAll(unsigned disk);

private:
    mutable std::mutex mutex_;
    std::vector<VolumeDescriptor> volumes_;
};

}  // namespace nw
