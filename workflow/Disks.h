// The session's disks: listing and attaching them, the facts shown for a
// disk (from its listing and the attached disk itself, never from the
// settings store, which several running copies share), choosing one, and
// why one cannot be read.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "disk/DiskCatalogue.h"
#include "workflow/Session.h"

namespace workflow {

// Lists the disks (the named sources, numbered from 0, or the machine's
// disks when none are named), attaches disks 0..9 to session.disks and
// fills session.diskList. False with *error when more
// than ten sources are named or a source cannot be attached (an unreadable
// mapfile); session.diskList then holds the disks attached before it.
bool AttachDisks(Session& session, const std::vector<disk::DiskSource>& sources, std::string* error,
                 const std::string& sysBlockRoot = "/sys/block", const std::string& devRoot = "/dev");

// Adds an image file as the next disk (after the highest listed number):
// attaches it and appends it to session.diskList.
// False with the text to show in *error ("No more disks can be added: at
// most 10 disks can be read.", "Unable to open disk: <path>: <reason>",
// "This image is already open as Disk<n>: <path>" for a file already listed).
bool AddImageDisk(Session& session, const std::string& path, unsigned* number, std::string* error);

// The disk facts rows (label, value) of disk `number`: its listing's model,
// media type and geometry (empty when not listed), its size
// (DiskSectorCount) and an attached container's own facts. The Model value
// also becomes session.selectedDiskModel.
std::vector<std::pair<std::string, std::string>> DiskFactsRows(Session& session, unsigned number);

// Makes disk `number` the chosen disk: selectedDiskNumber, selectedDiskLabel
// ("Disk"n) and selectedDiskModel (from the disk list). False with *error
// and the choice unchanged when the disk is not listed ("no disks found",
// "there is no disk N"); false with *error but the choice made when the
// number has no device ("disk N cannot be read: only disks 0 to 9 have a
// device"). Whether the disk opens is DiskOpenFailure's question.
bool SelectDisk(Session& session, unsigned number, std::string* error);
// The same for a disk node: with `floppy` the floppy drive is read
// (disk::kFloppyDevice attached at that number, listed or not, labelled
// "Disk"n"Floppy"); choosing the number again without it attaches the
// listed disk back.
bool SelectDiskNode(Session& session, unsigned number, bool floppy, std::string* error);

// Why disk `number` cannot be read ("<path>: <reason>", or "no device is
// attached as DiskN"); "" when it can.
std::string DiskOpenFailure(Session& session, unsigned number);

// Sectors of disk `number`: the attached disk's own size, or, when it is not
// attached (or reports no size), its listing's (0 when neither).
std::uint64_t DiskSectorCount(Session& session, unsigned number);

// Why an image file cannot be opened for reading (the system's reason, as
// "No such file or directory"); "" when it can.
std::string ImageOpenFailure(const std::string& path);

}  // namespace workflow
