// What a saved file or folder carries beyond its data: the times the server
// kept, the Unix permissions, owners and links of its NFS record, and its
// resource fork and Finder info in an AppleDouble companion "._NAME". Applied
// once the file has its name (and for folders once their children are
// written), always through descriptors opened without following links.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <time.h>

#include "base/Digests.h"
#include "netware/FileReader.h"
#include "netware/TimeZone.h"

namespace disk {
class SectorReader;
}
namespace nw {
struct EntryRecord;
struct MountedVolume;
}  // namespace nw

namespace recovery {

enum class ForkForm { AppleDouble, None };
enum class LinkForm { Link, Copy };

struct ExtrasSettings {
    ForkForm forks = ForkForm::AppleDouble;
    LinkForm links = LinkForm::Link;  // symbolic links as links, or as small files holding their target
    bool owners = false;              // apply uid and gid (only when running as root)
    nw::TimeZone zone;                // the zone the server's local dates are read in
    bool operator==(const ExtrasSettings&) const = default;
};

// A packed date and time, read as local time in `zone`; nothing when it is not a date.
std::optional<struct timespec> PackedLocalTime(std::uint32_t packed, const nw::TimeZone& zone);

// The times a saved entry takes: modification = the last update (the
// creation where it is 0); access = the last access date (files; the
// modification where there is none).
struct SavedTimes {
    struct timespec accessed{};
    struct timespec modified{};
};
std::optional<SavedTimes> TimesOf(const nw::EntryRecord& entry, const nw::TimeZone& zone);

// AppleDouble version 2: entry 9 (Finder info, 32 bytes), then entry 2 (the
// resource fork) when there is one.
std::vector<std::uint8_t> AppleDoubleBytes(const std::array<std::uint8_t, 32>& finderInfo,
                                           const std::vector<std::uint8_t>& fork);

// Whether a file saved with these settings gets an AppleDouble companion
// "._NAME" (it has a resource fork or Finder info and is not saved as a
// symbolic link).
bool GetsCompanion(const nw::EntryRecord& file, const nw::MountedVolume& volume, const ExtrasSettings& settings);
inline constexpr const char* kCompanionPrefix = "._";

struct ExtrasOutcome {
    std::string damage;            // why the companion is incomplete; empty when whole
    std::uint64_t unreadable = 0;  // fork bytes that could not be read
    std::string failure;           // what could not be applied (mode, link, companion); empty when all was
    // What was written beside the file, for the save's records.
    bool link = false;                           // the file was made a symbolic link
    std::string companionName;                   // the companion written; empty when none
    std::uint64_t companionSize = 0;
    base::Digests companionDigests;              // of the kinds asked for
    std::vector<nw::FileByteRun> companionRuns;  // where its fork lies, at its offsets in the companion
};

// After a file is under its name `savedName` in the folder `dirFd`: the
// link, the companion, the mode and owners, then the times. The companion
// is hashed while written with `digestKinds` (base::DigestKind; 0: not).
ExtrasOutcome FinishSavedFile(int dirFd, const std::string& savedName, const nw::EntryRecord& file,
                              const nw::MountedVolume& volume, const disk::SectorReader& reader,
                              const ExtrasSettings& settings, unsigned digestKinds = 0);
// After a folder's children are written: its mode and owners, then its times.
void FinishSavedFolder(int folderFd, const nw::EntryRecord& folder, const nw::MountedVolume& volume,
                       const ExtrasSettings& settings);

}  // namespace recovery
