// What file system a partition holds, as libblkid identifies it from the
// bytes the engine read: the partition's first and last MiB are laid into a
// memory file of the partition's size (the rest reads as zeros) and probed
// there, so libblkid never opens the source itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace disk {

struct FileSystemFound {
    std::string type;     // libblkid's TYPE ("vfat", "ntfs", "ext4"); "" when none was found
    std::string version;  // its VERSION when it gives one ("FAT32")
    std::string label;    // its LABEL ("" when none)
};

// Probes a partition of `sizeBytes` whose first bytes are `head` and whose
// last bytes are `tail` (either may be empty; `tail` ends at sizeBytes).
// *error says why the probe could not run (no memory file); a probe that
// finds nothing or finds two file systems at once returns an empty type.
FileSystemFound ProbeFileSystem(const std::vector<std::uint8_t>& head, const std::vector<std::uint8_t>& tail,
                                std::uint64_t sizeBytes, std::string* error = nullptr);

}  // namespace disk
