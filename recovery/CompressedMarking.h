// Compressed-file marking: files of the mounted volume whose data begins
// with the compressed-file header although their directory entry lacks the
// compressed mark get the mark and the header's size, in both directory
// copies on the source disk. The one operation that writes to the source.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Progress.h"

namespace disk {
class SectorReader;
}
namespace nw {
struct MountedVolume;
}

namespace recovery {

inline constexpr const char* kMarkingCompletedText = "Marking compressed file completed";

// The "Marking Compressed File" dialog: its status text and its Close button.
// Called on the pass's thread.
class MarkingView {
public:
    virtual ~MarkingView() = default;
    virtual void SetStatusText(const std::string& text) { (void)text; }
    virtual void EnableClose() {}
};

struct MarkingCandidate {
    std::size_t fileIndex = 0;      // position in the file list
    std::string name;
    std::uint32_t size = 0;         // the entry's size (the header's stored length)
    std::uint32_t markedSize = 0;   // the size the header gives for the entry
    std::uint64_t det1Sector = 0;
    std::uint64_t det2Sector = 0;
    unsigned slot = 0;
    bool changed = false;           // both copies written and read back as written
    std::string failure;            // why not, when a write was meant
};

struct MarkingResult {
    std::vector<MarkingCandidate> candidates;
    unsigned failures = 0;
    bool stopped = false;           // the stop flag ended the pass between two files
};

// True when a file's first data sector starts with the compressed-file
// header (01 01 00 00) and its stored length (the value at byte 8) is
// `entrySize`; *markedSize receives the value at byte 4.
bool HasCompressedHeader(const std::uint8_t* sector, std::uint32_t entrySize, std::uint32_t* markedSize);

// The marking pass over the volume's file list, reading and writing the
// disk the volume was found on (currentVolume.disk). With `write` false
// nothing is written: the result lists what the pass would change. Each
// write is read back; a failed one is shown in the status text and the pass
// goes on. The records in memory are not changed. Runs on the calling
// thread (the front end runs it on a worker of its own); `view` may be
// nullptr. `stop`, when set, ends the pass before the next file: a file is
// never left with one directory copy written and not the other.
MarkingResult RunMarkingPass(const nw::MountedVolume& volume, const disk::SectorReader& reader, bool write,
                             MarkingView* view, const base::CancelFlag* stop = nullptr);

}  // namespace recovery
