#include "disk/DiskCatalogue.h"

#include <fcntl.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "disk/Disk.h"

namespace disk {

namespace {

constexpr std::uint32_t kImageHeads = 255;
constexpr std::uint32_t kImageSectorsPerTrack = 63;
constexpr std::uint64_t kSysBlockUnit = 512;  // /sys/block sizes count this many bytes

std::string ReadSysText(const std::filesystem::path& p) {
    std::ifstream f(p);
    if (!f) return {};
    std::string text;
    std::getline(f, text);
    const auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    text.erase(text.begin(), std::find_if(text.begin(), text.end(), notSpace));
    text.erase(std::find_if(text.rbegin(), text.rend(), notSpace).base(), text.end());
    return text;
}

// Decimal digits only; 0 for anything else or a value past `limit`.
std::uint64_t ParseU64(const std::string& text, std::uint64_t limit) {
    std::uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (v > (limit - digit) / 10) return 0;
        v = v * 10 + digit;
    }
    return v;
}

bool Excluded(const std::string& name) {
    return name.rfind("loop", 0) == 0 || name.rfind("ram", 0) == 0;
}

void FillCylinders(DiskInfo& d) {
    const std::uint64_t perCylinder = static_cast<std::uint64_t>(d.heads) * d.sectorsPerTrack * kSectorSize;
    d.cylinders = perCylinder ? d.sizeBytes / perCylinder : 0;
}

}  // namespace

std::string StoreKey(unsigned diskNumber) { return "Disk" + std::to_string(diskNumber); }

std::vector<DiskInfo> ListMachineDisks(const std::string& sysBlockRoot, const std::string& devRoot) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(sysBlockRoot, ec)) {
        const std::string name = e.path().filename().string();
        if (!Excluded(name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());

    std::vector<DiskInfo> disks;
    for (const std::string& name : names) {
        const std::filesystem::path dir = std::filesystem::path(sysBlockRoot) / name;
        // /sys/block counts in 512-byte units whatever the device's sector size.
        const std::uint64_t size = ParseU64(ReadSysText(dir / "size"), UINT64_MAX / kSysBlockUnit) * kSysBlockUnit;
        if (size == 0) continue;
        if (disks.size() >= kMaxStoredDisks) break;
        DiskInfo d;
        d.number = static_cast<unsigned>(disks.size());
        d.path = devRoot + "/" + name;
        d.sizeBytes = size;
        d.model = ReadSysText(dir / "device" / "model");
        d.mediaType = ReadSysText(dir / "removable") == "1" ? "Removable media" : "Fixed hard disk media";
        d.heads = kImageHeads;
        d.sectorsPerTrack = kImageSectorsPerTrack;
        const int fd = ::open(d.path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            struct hd_geometry geo {};
            if (::ioctl(fd, HDIO_GETGEO, &geo) == 0 && geo.heads != 0 && geo.sectors != 0) {
                d.heads = geo.heads;
                d.sectorsPerTrack = geo.sectors;
            }
            ::close(fd);
        }
        // The ioctl's cylinder field is 16 bits wide; the size tells the truth.
        FillCylinders(d);
        disks.push_back(d);
    }
    return disks;
}

DiskInfo DescribeImage(unsigned number, const std::string& path) {
    DiskInfo d;
    d.number = number;
    d.path = path;
    d.sizeBytes = DeviceSizeBytes(path);
    d.model = "Disk Image";
    d.mediaType = "Disk Image";
    d.heads = kImageHeads;
    d.sectorsPerTrack = kImageSectorsPerTrack;
    d.image = true;
    FillCylinders(d);
    return d;
}

std::vector<DiskInfo> ListDisks(const std::vector<DiskSource>& sources, const std::string& sysBlockRoot,
                                const std::string& devRoot) {
    if (sources.empty()) return ListMachineDisks(sysBlockRoot, devRoot);
    std::vector<DiskInfo> disks;
    for (unsigned i = 0; i < sources.size(); ++i) {
        disks.push_back(DescribeImage(i, sources[i].path));
        disks.back().mapfilePath = sources[i].mapfilePath;
    }
    return disks;
}

}  // namespace disk
