// Where the bytes of a file lie, as the save's file reader would deliver
// them, so that any range of the file can be read without reading what
// comes before it. A layout is made once per file from its block chain
// (through nw::FileReader) and then serves every read of the file.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "netware/Volume.h"

namespace disk {
class SectorReader;
}
namespace nw {
struct MountedVolume;
}

namespace mountfs {

// A run of a file's sectors inside one volume block: file bytes from
// `offset` on lie in sectors first .. first + count - 1 of `block`. An
// unplaced run (its blocks unknown because the FAT part that chains them
// lies in a missing segment) reads as zeros counted unreadable.
struct FileRun {
    std::uint64_t offset = 0;
    std::uint32_t block = 0;
    std::uint32_t first = 0;
    std::uint32_t count = 0;
    bool placed = true;
};

struct FileLayout {
    std::vector<FileRun> runs;  // in file order, each run's sectors following the last
    std::uint64_t length = 0;   // the bytes a save of the file writes
    // The first missing segment the file needs (its chain or its blocks).
    std::optional<nw::VolumeSegment> missingSegment;
};

// The layout of `byteCount` bytes of the chain from `firstValue`, exactly
// as nw::FileReader::ReadFileData delivers them: a chain that ends early
// gives a shorter length, a whole file in one piece larger than a block
// none, a chain cut by a missing FAT part the rest as an unplaced run.
FileLayout LayOutFile(const nw::MountedVolume& volume, const disk::SectorReader& reader, std::uint32_t firstValue,
                      std::uint32_t byteCount);

// What one ranged read found.
struct RangeRead {
    std::uint64_t bytes = 0;  // bytes delivered (0 at or past the end)
    // The file's sectors (by index: file offset / 512) that could not be
    // read; their bytes are zeros.
    std::vector<std::uint64_t> unreadableSectors;
};

// Reads `size` bytes of the file from `offset` into `out`, each run in one
// request when it reads whole, else sector by sector through the reader's
// bad-sector policy (as the save does).
RangeRead ReadRange(const nw::MountedVolume& volume, const disk::SectorReader& reader, const FileLayout& layout,
                    std::uint64_t offset, std::uint64_t size, std::uint8_t* out);

// The file's sectors already known to be unreadable without reading them:
// in a missing segment, in no segment, in an unplaced run, or outside a
// finished area of the mapfile of the disk that holds them.
std::vector<std::uint64_t> KnownUnreadableSectors(const nw::MountedVolume& volume, const disk::SectorReader& reader,
                                                  const FileLayout& layout);

}  // namespace mountfs
