#include "workflow/Disks.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "netware/VolumeSearch.h"
#include "workflow/Verify.h"

namespace workflow {

namespace {

constexpr std::uint64_t kBytesPerMiB = 1048576;     // "Disk Size" is shown in whole MiB

const disk::DiskInfo* Listed(const Session& session, unsigned number) {
    for (const disk::DiskInfo& d : session.diskList)
        if (d.number == number) return &d;
    return nullptr;
}

bool Fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

}  // namespace

bool AttachDisks(Session& session, const std::vector<disk::DiskSource>& sources, std::string* error,
                 const std::string& sysBlockRoot, const std::string& devRoot) {
    session.diskList.clear();
    if (sources.size() > disk::kDeviceCount)
        return Fail(error, "at most " + std::to_string(disk::kDeviceCount) + " disks can be named");
    session.disks.DetachAll();
    for (const disk::DiskInfo& d : disk::ListDisks(sources, sysBlockRoot, devRoot)) {
        if (d.number < disk::kDeviceCount && !session.disks.Attach(d.number, d.path, d.mapfilePath, error))
            return false;
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
    // An image that does not open as a disk (a split set whose pieces break
    // it, a damaged container) is refused with its reason, not listed empty.
    if (const std::shared_ptr<disk::Disk> added = session.disks.At(next); added && !added->IsOpen()) {
        const std::string failure = added->OpenFailureReason();
        session.disks.Detach(next);
        return Fail(error, nw::UnableToOpenDiskText(failure.empty() ? path : failure));
    }
    const disk::DiskInfo d = disk::DescribeImage(next, path);
    session.diskList.push_back(d);
    if (number) *number = next;
    return true;
}

std::vector<std::pair<std::string, std::string>> DiskFactsRows(Session& session, unsigned number) {
    std::vector<std::pair<std::string, std::string>> rows;
    const disk::DiskInfo* listed = Listed(session, number);
    const disk::DiskInfo d = listed ? *listed : disk::DiskInfo{};
    rows.emplace_back("Physical Disk Number : ", disk::StoreKey(number));
    rows.emplace_back("Model   : ", d.model);
    rows.emplace_back("Media Type   : ", d.mediaType);
    rows.emplace_back("Cylinder   : ", listed ? std::to_string(static_cast<std::uint32_t>(d.cylinders)) : "");
    rows.emplace_back("Head   : ", listed ? std::to_string(d.heads) : "");
    rows.emplace_back("Sectors Per Track   : ", listed ? std::to_string(d.sectorsPerTrack) : "");
    rows.emplace_back("Disk Size  : ",
                      std::to_string(DiskSectorCount(session, number) * disk::kSectorSize / kBytesPerMiB) + " MB");
    // A container's own facts (its format, segment files, stored hashes).
    if (const std::shared_ptr<disk::Disk> attached = session.disks.At(number))
        for (const auto& [name, value] : attached->Facts()) rows.emplace_back(name + "   : ", value);
    if (const auto checked = session.verifications.find(number); checked != session.verifications.end())
        rows.emplace_back("Verification   : ", VerificationFact(checked->second));
    session.selectedDiskModel = d.model;
    return rows;
}

bool SelectDisk(Session& session, unsigned number, std::string* error) {
    return SelectDiskNode(session, number, false, error);
}

bool SelectDiskNode(Session& session, unsigned number, bool floppy, std::string* error) {
    const disk::DiskInfo* listed = Listed(session, number);
    if (!listed && !floppy)
        return Fail(error, session.diskList.empty() ? std::string("no disks found")
                                                     : "there is no disk " + std::to_string(number));
    session.selectedDiskNumber = static_cast<std::uint16_t>(number);
    session.selectedDiskLabel = disk::StoreKey(number) + (floppy ? "Floppy" : "");
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
    if (const std::shared_ptr<disk::Disk> d = session.disks.At(number); d && d->SectorCount() > 0)
        return d->SectorCount();
    const disk::DiskInfo* listed = Listed(session, number);
    return listed ? listed->sizeBytes / disk::kSectorSize : 0;
}

std::string ImageOpenFailure(const std::string& path) { return disk::OpenProblem(path); }

}  // namespace workflow
