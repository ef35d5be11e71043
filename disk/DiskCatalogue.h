// The disks the user can choose from. On Linux the machine's disks come from
// /sys/block (loop, ram and empty devices left out); when image files are
// named instead, only those are listed, numbered from 0 in the order given.
// Listing is pure: attaching the listed disks to a DiskSet and keeping their
// geometry in the settings store is the caller's step.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace disk {

// A disk named by the user: an image file or a block device, optionally with
// a GNU ddrescue mapfile.
struct DiskSource {
    std::string path;
    std::string mapfilePath;
};

struct DiskInfo {
    unsigned number = 0;         // the n of "Disk"n
    std::string path;
    std::string mapfilePath;     // "" for none
    std::uint64_t sizeBytes = 0;
    std::string model;
    std::string mediaType;
    std::uint64_t cylinders = 0;
    std::uint32_t heads = 0;
    std::uint32_t sectorsPerTrack = 0;
    bool image = false;
};

constexpr unsigned kMaxStoredDisks = 26;  // "Disk0" .. "Disk25"

std::string StoreKey(unsigned diskNumber);  // "Disk" + number

// The machine's disks as /sys/block (or a stand-in folder laid out like it)
// describes them, in name order.
std::vector<DiskInfo> ListMachineDisks(const std::string& sysBlockRoot = "/sys/block",
                                       const std::string& devRoot = "/dev");

// What an image file looks like as a disk: 255 heads, 63 sectors per track,
// model and media type "Disk Image".
DiskInfo DescribeImage(unsigned number, const std::string& path);

// With sources, exactly those (numbered from 0, each with its mapfile);
// without, the machine's disks.
std::vector<DiskInfo> ListDisks(const std::vector<DiskSource>& sources, const std::string& sysBlockRoot = "/sys/block",
                                const std::string& devRoot = "/dev");

}  // namespace disk
