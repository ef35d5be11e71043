#include "disk/DiskCatalogue.h"

#include <fcntl.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "app/job/Controls.h"
#include "app/job/Identity.h"
#include "app/job/Settings.h"
#include "app/job/WizardState.h"
#include "disk/SectorReader.h"

namespace disk {

namespace {

constexpr std::uint32_t kImageHeads = 255;
constexpr std::uint32_t kImageSectorsPerTrack = 63;

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

std::uint64_t ParseU64(const std::string& text) {
    std::uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
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

void Put(const char* key, unsigned number, const std::string& text) {
    job::Settings().Write(job::kClassesRoot, key, StoreKey(number), text);
}

std::string Get(const char* key, unsigned number) {
    return job::RegistryTextRead(job::kClassesRoot, key, StoreKey(number));
}

void CleanStore() {
    static const char* const kKeys[] = {"TRV WINDOWS\\Cylinder", "TRV WINDOWS\\Head",
                                        "TRV WINDOWS\\MediaType", "TRV WINDOWS\\Model",
                                        "TRV WINDOWS\\SectorsPerTrack", "TRV WINDOWS\\Size",
                                        "TRV WINDOWS\\DisplayDevice", "TRV WINDOWS"};
    for (const char* key : kKeys) job::Settings().DeleteKey(job::kClassesRoot, key);
}

void StoreDisk(const DiskInfo& d) {
    Put(kGeometryRoot, d.number, "");
    Put(kGeometryCylinder, d.number, std::to_string(static_cast<std::uint32_t>(d.cylinders)));
    Put(kGeometryHead, d.number, std::to_string(d.heads));
    Put(kGeometrySectorsPerTrack, d.number, std::to_string(d.sectorsPerTrack));
    Put(kGeometrySize, d.number, std::to_string(d.sizeBytes));
    Put(kGeometryModel, d.number, d.model);
    Put(kGeometryMediaType, d.number, d.mediaType);
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
        const std::uint64_t size = ParseU64(ReadSysText(dir / "size")) * 512u;
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

bool EnumerateDisks(const std::vector<DiskSource>& sources, std::vector<DiskInfo>& out, std::string* error,
                    const std::string& sysBlockRoot, const std::string& devRoot) {
    out.clear();
    CleanStore();
    auto& w = job::Wizard();
    if (w.diskTree) w.diskTree->Clear();

    std::vector<DiskInfo> disks;
    std::vector<std::string> mapfiles;
    if (sources.empty()) {
        disks = ListMachineDisks(sysBlockRoot, devRoot);
        mapfiles.assign(disks.size(), "");
    } else {
        if (sources.size() > kDeviceCount) {
            if (error) *error = "at most " + std::to_string(kDeviceCount) + " disks can be named";
            return false;
        }
        for (unsigned i = 0; i < sources.size(); ++i) {
            disks.push_back(DescribeImage(i, sources[i].path));
            mapfiles.push_back(sources[i].mapfilePath);
        }
    }

    DetachAllDevices();
    job::TreeItem root = nullptr;
    if (w.diskTree) {
        root = w.diskTree->InsertItem(nullptr, "My Computer", 2, job::kUnchecked);
        w.diskTree->Expand(root);
    }
    for (std::size_t i = 0; i < disks.size(); ++i) {
        const DiskInfo& d = disks[i];
        if (d.number < kDeviceCount && !AttachDevice(d.number, d.path, mapfiles[i], error)) return false;
        StoreDisk(d);
        if (w.diskTree) w.diskTree->InsertItem(root, StoreKey(d.number), 1, job::kUnchecked);
        out.push_back(d);
    }
    return true;
}

std::vector<std::pair<std::string, std::string>> ShowDiskFacts(unsigned diskNumber) {
    std::vector<std::pair<std::string, std::string>> rows;
    const std::string model = Get(kGeometryModel, diskNumber);
    const std::uint64_t size = ParseU64(Get(kGeometrySize, diskNumber));
    rows.emplace_back("Physical Disk Number : ", StoreKey(diskNumber));
    rows.emplace_back("Model   : ", model);
    rows.emplace_back("Media Type   : ", Get(kGeometryMediaType, diskNumber));
    rows.emplace_back("Cylinder   : ", Get(kGeometryCylinder, diskNumber));
    rows.emplace_back("Head   : ", Get(kGeometryHead, diskNumber));
    rows.emplace_back("Sectors Per Track   : ", Get(kGeometrySectorsPerTrack, diskNumber));
    rows.emplace_back("Disk Size  : ", std::to_string(size / 1048576u) + " MB");
    job::Wizard().selectedDiskModel = model;
    job::ClearDetailsRows();
    for (const auto& r : rows) job::ReportDetailsRow({r.first, r.second});
    return rows;
}

std::string OpenFailureReason(unsigned diskNumber, const std::string& diskLabel) {
    const std::string path = DeviceNameFor(diskNumber, diskLabel);
    if (path.empty()) return "no device is attached as " + StoreKey(diskNumber);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return path + ": " + std::strerror(errno);
    ::close(fd);
    return {};
}

}  // namespace disk
