// What a correct recovery shows and delivers for each volume of a built image:
// the volume is mounted from the image's own sectors with the volume table's
// values, the tree is rebuilt and every listed file is read.
#pragma once

#include <vector>

#include "tools/nwimage/NwImage.h"

namespace nwimage {

// fatChoice[k]: the FAT copy (1 or 2) mounted for volume k when the chain
// lengths of the two copies differ.
std::vector<ManifestRecord> ComputeManifest(const Image& image, const std::vector<int>& fatChoice);

}  // namespace nwimage
