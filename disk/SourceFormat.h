// Telling a disk image's format from its content, never from its name.
#pragma once

#include <string>

namespace disk {

enum class SourceFormat { kRaw, kSplitRaw, kEwf, kVmdk, kVhd, kVhdx, kQcow };

// The container format of the file open as `fd`, from the signature at its
// start (QCOW, VHDX, VMDK sparse and descriptor files, EWF, the copy of a
// dynamic VHD's footer) or the footer at the end of a fixed VHD file; kRaw
// for anything else (a split raw image is told by its pieces, not here).
SourceFormat DetectFormat(int fd);

// "raw", "split raw", "EWF", "VMDK", "VHD", "VHDX", "QCOW".
const char* FormatName(SourceFormat format);

}  // namespace disk
