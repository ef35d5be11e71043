// Timelines: one line of the bodyfile format that timeline tools read
// ("MD5|name|inode|mode_as_string|UID|GID|size|atime|mtime|ctime|crtime")
// per folder or file of a mounted volume.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "netware/EntryNumbers.h"

namespace disk {
class SectorReader;
}
namespace nw {
struct EntryRecord;
struct EntryNameSpaces;
struct MountedVolume;
class TimeZone;
}  // namespace nw

namespace records {

// A name as a bodyfile field holds it: control characters and bytes that are
// not UTF-8 escaped (\xHH, \t, ...), "|" written "\|".
std::string BodyfileName(const std::string& name);

// "d/drwxr-xr-x", "r/rrw-r--r--", "l/lrwxrwxrwx": the entry's type and its
// permissions, from the NFS mode where the entry has one (else 0755 for
// folders, 0644 for files).
std::string BodyfileMode(bool folder, const nw::EntryNameSpaces* nameSpaces);

class Bodyfile {
public:
    // `zone`: the zone the server's local dates are read in.
    Bodyfile(const nw::MountedVolume& volume, const disk::SectorReader& reader, const nw::TimeZone& zone);
    // The line (with its newline) of `entry`, below the folder of tree node
    // `parentNode`.
    std::string Line(const nw::EntryRecord& entry, std::uint32_t parentNode) const;
    // The lines of the entries below tree node `node`: with `recursive` its
    // whole subtree depth first, else its own folders, then its files (the
    // order of a listing). `emit` takes each line; false from it stops.
    void Lines(std::uint32_t node, bool recursive, const std::function<bool(const std::string&)>& emit) const;

private:
    std::string LineAt(const nw::EntryRecord& entry, const std::string& path) const;

    const nw::MountedVolume& volume_;
    const disk::SectorReader& reader_;
    const nw::TimeZone& zone_;
    nw::EntryNumbers numbers_;
};

}  // namespace records
