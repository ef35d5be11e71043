// Container images read through their formats' libraries, each opened
// read-only by its (first) file. nullptr with *reason ("path: why", the
// library's own words) when the library cannot open it.
#pragma once

#include <memory>
#include <string>

#include "disk/Source.h"

namespace disk {

// An EWF set (NAME.E01, NAME.E02, ... found beside the first).
std::unique_ptr<Source> OpenEwf(const std::string& path, std::string* reason);
// A VMDK: a sparse or stream-optimized file, or a descriptor with its
// extent files beside it; a delta disk with its parent beside it.
std::unique_ptr<Source> OpenVmdk(const std::string& path, std::string* reason);
// A VHD or VHDX: fixed, dynamic, or differencing with its parent beside it.
std::unique_ptr<Source> OpenVhd(const std::string& path, std::string* reason);
// A QCOW (version 1, 2 or 3) image, with its backing file beside it.
std::unique_ptr<Source> OpenQcow(const std::string& path, std::string* reason);

}  // namespace disk
