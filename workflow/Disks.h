// The session's disks: listing and attaching them, their geometry in the
// settings store ("TRV Windows" and its sub-keys, one value per "Disk"n),
// the facts shown for a disk, choosing one, and why one cannot be read.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "disk/DiskCatalogue.h"
#include "workflow/Session.h"

namespace workflow {

// Lists the disks (the named sources, numbered from 0, or the machine's
// disks when none are named), attaches disks 0..9 to session.disks, rebuilds
// the geometry store and fills session.diskList. False with *error when more
// than ten sources are named or a source cannot be attached (an unreadable
// mapfile); session.diskList then holds the disks attached before it.
bool AttachDisks(Session& session, const std::vector<disk::DiskSource>& sources, std::string* error,
                 const std::string& sysBlockRoot = "/sys/block", const std::string& devRoot = "/dev");

// Adds an image file as the next disk (after the highest listed number):
// attaches it, stores its geometry and appends it to session.diskList.
// False with the text to show in *error ("No more disks can be added: at
// most 10 disks can be read.", "Unable to open disk: <path>: <reason>",
// "This image is already open as Disk<n>: <path>" for a file already listed).
bool AddImageDisk(Session& session, const std::string& path, unsigned* number, std::string* error);

// The disk facts rows (label, value) of disk `number`, read back from the
// geometry store (missing values empty). The Model value also becomes
// session.selectedDiskModel.
std::vector<std::pair<std::string, std::string>> DiskFactsRows(Session& session, unsigned number);

// Makes disk `number` the chosen disk: selectedDiskNumber, selectedDiskLabel
// ("Disk"n) and selectedDiskModel (from the disk list). False with *error
// and the choice unchanged when the disk is not listed ("no disks found",
// "there is no disk N"); false with *error but the choice made when the
// number has no device ("disk N cannot be read: only disks 0 to 9 have a
// device"). Whether the disk opens is DiskOpenFailure's question.
bool SelectDisk(Session& session, unsigned number, std::string* error);
// The same for a disk node's label: the number is the digits after "Disk".
// A label ending in "Floppy" reads the floppy drive: disk::kFloppyDevice is
// attached at that number (listed or not); choosing a plain label again
// attaches the listed disk back.
bool SelectDiskNode(Session& session, const std::string& label, std::string* error);

// Why disk `number` cannot be read ("<path>: <reason>", or "no device is
// attached as DiskN"); "" when it can.
std::string DiskOpenFailure(Session& session, unsigned number);

// Sectors of disk `number`: the geometry store's Size value (decimal bytes)
// divided by the sector size, or, when that value is missing, not a decimal
// number or 0, the attached disk's own size (0 when none is attached).
std::uint64_t DiskSectorCount(Session& session, unsigned number);

// Why an image file cannot be opened for reading (the system's reason, as
// "No such file or directory"); "" when it can.
std::string ImageOpenFailure(const std::string& path);

}  // namespace workflow
