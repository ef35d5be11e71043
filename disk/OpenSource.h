// Opening what the user named as a disk: a block device, a raw image (or
// the first piece of a split one) or a container image, told apart by
// content. Only image files and block devices are opened; a folder, pipe,
// socket or character device is refused before it is opened.
#pragma once

#include <memory>
#include <string>

#include "disk/Source.h"
#include "disk/SourceFormat.h"

namespace disk {

struct OpenedSource {
    std::unique_ptr<Source> source;           // nullptr when it cannot be read
    SourceFormat format = SourceFormat::kRaw;  // as far as it could be told
    std::string failure;                      // "path: reason" without a source
};

OpenedSource OpenSource(const std::string& path);

}  // namespace disk
