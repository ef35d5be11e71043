// One attached source disk: a block device, a raw image file (whole or split
// into pieces) or a container image (EWF, VMDK, VHD, VHDX, QCOW), optionally
// with a GNU ddrescue mapfile whose unfinished areas read as failed sectors.
// A Disk owns its source, its size, its bad-area map and its read-ahead
// cache; reads of two Disks never wait for each other. The source is opened
// read-only once and shared by every reader (a raw source reads with
// pread, a container's library behind a lock of that source's own).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "disk/ReadStatus.h"
#include "disk/RescueMap.h"
#include "disk/Source.h"

namespace disk {

constexpr std::uint32_t kSectorSize = 512;

// The floppy drive, read when the chosen disk's label ends in "Floppy".
constexpr const char* kFloppyDevice = "/dev/fd0";

// Size in bytes of the disk at `path`: a device's or raw image's size, a
// split image's pieces together, a container's virtual size (0 when it
// cannot be opened).
std::uint64_t DeviceSizeBytes(const std::string& path);

// Why `path` cannot be opened as a disk, told without waiting on a pipe:
// the system's reason ("No such file or directory", "Permission denied") or
// what it is ("a named pipe, not an image file or a block device"); "" when
// it can be opened.
std::string OpenProblem(const std::string& path);

class Disk {
public:
    // Opens `path` read-only, its format told by its content. A disk that
    // cannot be opened (missing, a folder, pipe or character device, a
    // container its library refuses) is still a Disk: its reads fail as "no
    // device" and OpenFailureReason says why. Only a mapfile makes Open
    // fail, with *error set: one that cannot be read or parsed, or one given
    // for anything but a raw image (whole or split) or a block device.
    static std::unique_ptr<Disk> Open(const std::string& path, const std::string& mapfilePath,
                                      std::string* error);
    ~Disk();
    Disk(const Disk&) = delete;
    Disk& operator=(const Disk&) = delete;

    const std::string& Path() const { return path_; }
    const std::string& MapfilePath() const { return mapfilePath_; }
    bool IsOpen() const { return source_ != nullptr; }
    // Why the disk cannot be read ("path: reason"; "" when it can).
    const std::string& OpenFailureReason() const { return openError_; }
    std::uint64_t SizeBytes() const { return sizeBytes_; }
    std::uint64_t SectorCount() const { return sizeBytes_ / kSectorSize; }
    // How many of `count` sectors from `start` lie before the end.
    std::uint32_t SectorsBeforeEnd(std::uint64_t start, std::uint32_t count) const;
    // What the disk is ("raw image", "block device", "QCOW2 image", ...; ""
    // when it cannot be opened).
    std::string SourceName() const { return source_ ? source_->Name() : std::string(); }
    // Rows for the disk's facts: a container's or split image's format, and
    // what an EWF set stores ("Segment files", "MD5", "SHA1"); none for a
    // whole raw image or a device.
    FactRows Facts() const { return source_ ? source_->Facts() : FactRows(); }
    StoredHashes Stored() const { return source_ ? source_->Stored() : StoredHashes(); }
    // What the user must be told about the disk as opened ("" when nothing):
    // the pieces missing from a split image.
    std::string Remark() const { return source_ ? source_->Remark() : std::string(); }

    // Reads `count` sectors from `start` without any policy and says which
    // could not be read: sectors at or past the end (kPastEnd), in a piece
    // the source lacks (kMissingPiece), outside a finished area of the
    // mapfile, in an area the source knows to be unreadable or failing to
    // read (kBadSector; a part that fails is named whole), every one when
    // the disk cannot be opened (kNoDevice). Sectors not read are zeros.
    // Requests up to one cache chunk go through the cache; when their chunk
    // cannot be read whole, the request itself is read exactly as asked.
    ReadStatus TryRead(std::uint64_t start, std::uint32_t count, void* buffer);
    // Reads one sector exactly (no cache): false when it cannot be read.
    bool ReadOneSector(std::uint64_t sector, void* buffer);

    // Writes sectors through a descriptor of its own (opened for writing,
    // closed after); true only when the open, the whole write and the close
    // succeeded. Sectors past the end are refused, and so is every disk but
    // a single raw image or a block device (a container, a split image). Drops
    // the cache. *error says what failed ("NOT CLOSED" when only the close did).
    bool Write(std::uint64_t start, std::uint32_t count, const void* buffer, std::string* error);
    void DropCache();

private:
    Disk() = default;
    struct Chunk {
        std::uint64_t index = 0;
        bool valid = false;
        std::unique_ptr<std::uint8_t[]> data;
    };
    bool ReadThroughCache(std::uint64_t offset, std::uint64_t length, std::uint8_t* out);
    bool ReadExact(std::uint64_t offset, std::uint64_t length, std::uint8_t* out);
    // Reads sectors the source holds; a failure names the whole part.
    void ReadPresent(std::uint64_t start, std::uint32_t count, std::uint32_t offset, std::uint8_t* out,
                     ReadStatus& status);

    std::string path_;
    std::string mapfilePath_;
    std::string openError_;
    std::unique_ptr<Source> source_;
    std::uint64_t sizeBytes_ = 0;
    std::unique_ptr<RescueMap> map_;
    // Sector ranges [first, end) the source lacks, in order (a sector that
    // a missing byte range only touches counts as missing).
    std::vector<std::pair<std::uint64_t, std::uint64_t>> missingSectors_;
    std::mutex cacheMutex_;  // this disk's cache only
    std::vector<Chunk> chunks_;
};

}  // namespace disk
