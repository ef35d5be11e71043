// The entry number of a directory record: its position in the directory
// table, counted in 128-byte records from the table's first block in chain
// order (what the server calls the directory entry number, and what
// folders' children carry as their parent).
#pragma once

#include <cstdint>
#include <optional>
#include <unordered_map>

namespace disk {
class SectorReader;
}

namespace nw {

struct EntryRecord;
struct MountedVolume;

class EntryNumbers {
public:
    EntryNumbers(const MountedVolume& volume, const disk::SectorReader& reader);
    // Nothing for a record whose sector lies in neither copy of the table.
    std::optional<std::uint32_t> Of(const EntryRecord& entry) const;

private:
    std::unordered_map<std::uint64_t, std::uint32_t> sectorPosition_;  // (disk, sector) -> sector in chain order
};

}  // namespace nw
