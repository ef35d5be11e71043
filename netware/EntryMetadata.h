// The owners, dates, trustees and attributes of a folder or file, read
// again from its DOS record (directory copy 1, else copy 2) when asked for:
// the mount keeps only what the lists and the save need.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace disk {
class SectorReader;
}

namespace nw {

struct EntryRecord;
struct MountedVolume;

struct EntryMetadata {
    bool read = false;  // false: the record could not be read in either copy
    std::uint32_t attributes = 0;
    // Object IDs (stored high byte first).
    std::uint32_t owner = 0;     // 0x1C
    std::uint32_t archiver = 0;  // 0x24 (files)
    std::uint32_t updater = 0;   // 0x2C (files)
    std::uint32_t deleter = 0;   // 0x6C
    // Packed dates and times; 0 = never set.
    std::uint32_t created = 0;   // 0x18
    std::uint32_t modified = 0;  // 0x28
    std::uint32_t archived = 0;  // 0x20
    std::uint32_t deleted = 0;   // 0x68
    std::uint16_t accessDate = 0;  // 0x62 (files), the date only
    // Trustees with a nonzero ID and their rights masks: files four at 0x3C
    // (masks at 0x54), folders eight at 0x30 (masks at 0x50); then those of
    // the trustee records the entry's chain leads to (files at 0x38, folders
    // at 0x2C): records marked 0xFFFFFFFE at 0x00, sixteen trustees at 0x18
    // with their masks at 0x58, the next record's entry number at 0x10.
    std::vector<std::pair<std::uint32_t, std::uint16_t>> trustees;
    // The chain of trustee records ended at a record that could not be read.
    bool trusteesUnreadable = false;
};

// `volume` (the entry's, mounted) lets the chain of trustee records be
// followed; without it only the record's own trustees are read.
EntryMetadata ReadEntryMetadata(const disk::SectorReader& reader, const EntryRecord& entry,
                                const MountedVolume* volume = nullptr);

}  // namespace nw
