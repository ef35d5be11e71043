#include "workflow/Disks.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/Identity.h"
#include "netware/VolumeSearch.h"

namespace workflow {

namespace {

constexpr std::uint64_t kBytesPerMiB = 1048576;     // "Disk Size" is shown in whole MiB
constexpr std::size_t kDiskLabelPrefix = 4;          // "Disk"
constexpr const char* kFloppySuffix = "Floppy";

// Decimal digits only, the whole text; false for anything else or an overflow.
bool ParseDecimal(const std::string& text, std::uint64_t& value) {
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value);
    return r.ec == std::errc() && r.ptr == end;
}

std::string Stored(Session& session, const char* key, unsigned number) {
    return RegistryTextRead(*session.store, base::kClassesRoot, key, disk::StoreKey(number));
}

// Deletes the geometry keys of an earlier listing (the spelling is the one
// the store has always been cleaned with; key names are case-insensitive).
void CleanStore(SettingsStore& store) {
    static constexpr const char* kKeys[] = {"TRV WINDOWS\\Cylinder", "TRV WINDOWS\\Head",
                                            "TRV WINDOWS\\MediaType", "TRV WINDOWS\\Model",
                                            "TRV WINDOWS\\SectorsPerTrack", "TRV WINDOWS\\Size",
                                            "TRV WINDOWS\\DisplayDevice", "TRV WINDOWS"};
    for (const char* key : kKeys) store.DeleteKey(base::kClassesRoot, key);
}

void StoreDisk(SettingsStore& store, const disk::DiskInfo& d) {
    const std::string name = disk::StoreKey(d.number);
    auto put = [&](const char* key, const std::string& text) { store.Write(base::kClassesRoot, key, name, text); };
    put(disk::kGeometryRoot, "");
    put(disk::kGeometryCylinder, std::to_string(static_cast<std::uint32_t>(d.cylinders)));
    put(disk::kGeometryHead, std::to_string(d.heads));
    put(disk::kGeometrySectorsPerTrack, std::to_string(d.sectorsPerTrack));
    put(disk::kGeometrySize, std::to_string(d.sizeBytes));
    put(disk::kGeometryModel, d.model);
    put(disk::kGeometryMediaType, d.mediaType);
}

const disk::DiskInfo* Listed(const Session& session, unsigned number) {
    for (const disk::DiskInfo& d : session.diskList)
        if (d.number == number) return &d;
    return nullptr;
}

// The number of a disk node's label: the digits after "Disk" (0 when none).
unsigned NumberOfLabel(const std::string& label) {
    unsigned n = 0;
    if (label.size() > kDiskLabelPrefix)
        std::from_chars(label.data() + kDiskLabelPrefix, label.data() + label.size(), n);
    return n;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool Fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

}  // namespace

bool AttachDisks(Session& session, const std::vector<disk::DiskSource>& sources, std::string* error,
                 const std::string& sysBlockRoot, const std::string& devRoot) {
    session.diskList.clear();
    CleanStore(*session.store);
    if (sources.size() > disk::kDeviceCount)
        return Fail(error, "at most " + std::to_string(disk::kDeviceCount) + " disks can be named");
    session.disks.DetachAll();
    for (const disk::DiskInfo& d : disk::ListDisks(sources, sysBlockRoot, devRoot)) {
        if (d.number < disk::kDeviceCount && !session.disks.Attach(d.number, d.path, d.mapfilePath, error))
            return false;
        StoreDisk(*session.store, d);
        session.diskList.push_back(d);
    }
    return true;
}

bool AddImageDisk(Session& session, const std::string& path, unsigned* number, std::string* error) {
    unsigned next = 0;
    for (const disk::DiskInfo& d : session.diskList) next = std::max(next, d.number + 1);
    if (next >= disk::kDeviceCount) return Fail(error, "No more disks can be added: at most 10 disks can be read.");
    const std::string reason = ImageOpenFailure(path);
    if (!reason.empty()) return Fail(error, nw::UnableToOpenDiskText(path + ": " + reason));
    // The same file twice would be two disks that are one.
    std::error_code ec;
    const std::filesystem::path wanted = std::filesystem::weakly_canonical(path, ec);
    for (const disk::DiskInfo& d : session.diskList) {
        std::error_code same;
        if (std::filesystem::equivalent(wanted, d.path, same))
            return Fail(error, "This image is already open as " + disk::StoreKey(d.number) + ": " + path);
    }
    std::string why;
    if (!session.disks.Attach(next, path, "", &why)) return Fail(error, nw::UnableToOpenDiskText(why));
    const disk::DiskInfo d = disk::DescribeImage(next, path);
    StoreDisk(*session.store, d);
    session.diskList.push_back(d);
    if (number) *number = next;
    return true;
}

std::vector<std::pair<std::string, std::string>> DiskFactsRows(Session& session, unsigned number) {
    std::vector<std::pair<std::string, std::string>> rows;
    const std::string model = Stored(session, disk::kGeometryModel, number);
    std::uint64_t size = 0;
    if (!ParseDecimal(Stored(session, disk::kGeometrySize, number), size)) size = 0;
    rows.emplace_back("Physical Disk Number : ", disk::StoreKey(number));
    rows.emplace_back("Model   : ", model);
    rows.emplace_back("Media Type   : ", Stored(session, disk::kGeometryMediaType, number));
    rows.emplace_back("Cylinder   : ", Stored(session, disk::kGeometryCylinder, number));
    rows.emplace_back("Head   : ", Stored(session, disk::kGeometryHead, number));
    rows.emplace_back("Sectors Per Track   : ", Stored(session, disk::kGeometrySectorsPerTrack, number));
    rows.emplace_back("Disk Size  : ", std::to_string(size / kBytesPerMiB) + " MB");
    // A container's own facts (its format, segment files, stored hashes).
    if (const std::shared_ptr<disk::Disk> d = session.disks.At(number))
        for (const auto& [name, value] : d->Facts()) rows.emplace_back(name + "   : ", value);
    session.selectedDiskModel = model;
    return rows;
}

bool SelectDisk(Session& session, unsigned number, std::string* error) {
    return SelectDiskNode(session, disk::StoreKey(number), error);
}

bool SelectDiskNode(Session& session, const std::string& label, std::string* error) {
    const unsigned number = NumberOfLabel(label);
    const bool floppy = EndsWith(label, kFloppySuffix);
    const disk::DiskInfo* listed = Listed(session, number);
    if (!listed && !floppy)
        return Fail(error, session.diskList.empty() ? std::string("no disks found")
                                                     : "there is no disk " + std::to_string(number));
    session.selectedDiskNumber = static_cast<std::uint16_t>(number);
    session.selectedDiskLabel = label;
    session.selectedDiskModel = listed ? listed->model : std::string();
    if (number >= disk::kDeviceCount)
        return Fail(error, "disk " + std::to_string(number) + " cannot be read: only disks 0 to " +
                               std::to_string(disk::kDeviceCount - 1) + " have a device");
    // The device read for this number: the floppy drive, or the listed disk
    // (again, when the floppy was read at this number before).
    const std::string path = floppy ? std::string(disk::kFloppyDevice) : listed->path;
    const std::string mapfile = floppy ? std::string() : listed->mapfilePath;
    const std::shared_ptr<disk::Disk> attached = session.disks.At(number);
    if (!attached || attached->Path() != path || attached->MapfilePath() != mapfile)
        return session.disks.Attach(number, path, mapfile, error);
    return true;
}

std::string DiskOpenFailure(Session& session, unsigned number) {
    const std::shared_ptr<disk::Disk> d = session.disks.At(number);
    if (!d) return "no device is attached as " + disk::StoreKey(number);
    return d->OpenFailureReason();
}

std::uint64_t DiskSectorCount(Session& session, unsigned number) {
    std::uint64_t bytes = 0;
    if (ParseDecimal(Stored(session, disk::kGeometrySize, number), bytes) && bytes > 0)
        return bytes / disk::kSectorSize;
    const std::shared_ptr<disk::Disk> d = session.disks.At(number);
    return d ? d->SectorCount() : 0;
}

std::string ImageOpenFailure(const std::string& path) { return disk::OpenProblem(path); }

}  // namespace workflow
