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
    // (masks at 0x54), folders eight at 0x30 (masks at 0x50).
    std::vector<std::pair<std::uint32_t, std::uint16_t>> trustees;
};

EntryMetadata ReadEntryMetadata(const disk::SectorReader& reader, const EntryRecord& entry);

}  // namespace nw
