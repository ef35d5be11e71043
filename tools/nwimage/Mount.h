// What a correct recovery shows and delivers for each volume of a built image:
// the volume is mounted from the image's own sectors with the volume table's
// values, the tree is rebuilt and every listed file is read.
#pragma once

#include <vector>

#include "tools/nwimage/NwImage.h"

namespace nwimage {

// fatChoice[k]: the FAT copy (1 or 2) mounted for volume k when the chain
// lengths of the two copies differ. The image's volumes must lie on it alone.
std::vector<ManifestRecord> ComputeManifest(const Image& image, const std::vector<int>& fatChoice);

// The same for volumes whose segments lie on several disks (a segment's disk
// indexes `disks`).
std::vector<ManifestRecord> ComputeManifest(const std::vector<const Image*>& disks,
                                            const std::vector<const BuiltVolume*>& volumes,
                                            const std::vector<int>& fatChoice);

}  // namespace nwimage
