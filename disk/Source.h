// Where a disk's bytes come from: one raw image file or block device, a raw
// image split into numbered pieces, or a container image (EWF, VMDK, VHD,
// VHDX, QCOW) read through its format's library. A source shows the disk's
// virtual bytes; the Disk in front of it keeps the read cache, the mapfile
// and the way to the bad-sector policy. Every source is opened read-only.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace disk {

// Name and value rows a disk adds to its facts ("Format", "MD5", ...).
using FactRows = std::vector<std::pair<std::string, std::string>>;

// The hashes an evidence container stored of the whole disk when it was
// acquired (lower-case hex; empty where none), and its chunk size.
struct StoredHashes {
    bool evidenceSet = false;  // a container that can hold them (an E01 set)
    std::string md5, sha1;
    std::uint32_t sectorsPerChunk = 0;
};

class Source {
public:
    virtual ~Source() = default;

    // Bytes of the disk the source holds (a container's virtual size).
    virtual std::uint64_t SizeBytes() const = 0;
    // Reads exactly `length` bytes at `offset` (the range lies inside the
    // size); false when any of them cannot be read. Safe from several
    // threads: a source whose library is not guards it with a lock of its own.
    virtual bool ReadAt(std::uint64_t offset, std::uint64_t length, void* buffer) = 0;
    // What the source is, as the user knows it: "raw image", "QCOW2 image",
    // "EWF (E01) image set", ...
    virtual std::string Name() const = 0;
    // True when some byte of the range is known to be unreadable before it
    // is read (an acquisition's error list, chunks whose checksum failed).
    virtual bool IsUnreadable(std::uint64_t /*offset*/, std::uint64_t /*length*/) { return false; }
    // Rows for the disk's facts; none for a plain raw image or a device.
    virtual FactRows Facts() const { return {}; }
    virtual StoredHashes Stored() const { return {}; }
    // Byte ranges {offset, length} of the disk that the source does not
    // hold at all (the pieces missing from a split image), in order. Their
    // sectors read as unreadable without a prompt; ReadAt is never asked
    // for them.
    virtual std::vector<std::pair<std::uint64_t, std::uint64_t>> MissingRanges() const { return {}; }
    // What the user must know about the source as opened ("" when
    // nothing): the pieces missing from a split image.
    virtual std::string Remark() const { return {}; }
    // A single raw file or block device: the only kind a ddrescue mapfile
    // describes and the only kind that may be written.
    virtual bool IsPlainRaw() const { return false; }
};

}  // namespace disk
