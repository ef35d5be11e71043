// The disks attached to one session, by disk number ("Disk"n). Attaching
// replaces the disk at that number. Disks are shared pointers so that a read
// running on a worker keeps its disk alive while the set changes. Each
// number has a lock of its own, held only to look the disk up or replace
// it, so reads of different disks share no lock.
#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <string>

#include "disk/Disk.h"

namespace disk {

constexpr unsigned kDeviceCount = 10;  // disk numbers that can be read

class DiskSet {
public:
    // False with *error when the number is beyond the table, the path is
    // empty, or the mapfile cannot be used (the disk at that number is then
    // left as it was).
    bool Attach(unsigned number, const std::string& path, const std::string& mapfilePath, std::string* error);
    void Detach(unsigned number);
    void DetachAll();
    // The disk at that number; nullptr when none is attached.
    std::shared_ptr<Disk> At(unsigned number) const;
    // The path attached at that number ("" when none).
    std::string PathOf(unsigned number) const;

private:
    struct Slot {
        mutable std::mutex mutex;  // never held during a read
        std::shared_ptr<Disk> disk;
    };
    void Replace(unsigned number, std::shared_ptr<Disk> disk);

    std::array<Slot, kDeviceCount> slots_;
};

}  // namespace disk
