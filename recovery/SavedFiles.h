// What a save tells about every file it put in the destination, for the
// records of the save (hash lists, a DFXML report): where the file's bytes
// lay on the disks, the digests of what was written, and the entry's facts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Digests.h"
#include "netware/FileReader.h"

namespace recovery {

struct SavedFileRecord {
    std::string path;              // relative to the destination, '/'-joined, as saved
    std::string diskName;          // the entry's name on the volume
    std::uint64_t size = 0;        // bytes the saved file holds
    bool deleted = false;
    bool damaged = false;          // saved as far as its data went
    bool link = false;             // saved as a symbolic link (its digests: of the target text it was written from)
    bool companion = false;        // an AppleDouble companion of the entry
    std::uint64_t unreadableBytes = 0;
    // The entry's packed dates and times (0: not kept): creation, last
    // update, last access date (the high half of a packed date and time).
    std::uint32_t created = 0;
    std::uint32_t modified = 0;
    std::uint16_t accessDate = 0;
    std::vector<nw::FileByteRun> runs;  // in file order; every byte written lies in one
    base::Digests digests;
};

// Receives a record for each file as soon as it is under its name (its
// companion's record follows it). Called on the save's thread.
class SavedFileSink {
public:
    virtual ~SavedFileSink() = default;
    virtual void FileSaved(const SavedFileRecord& record) = 0;
};

}  // namespace recovery
