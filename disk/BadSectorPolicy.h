// What happens when a read fails: "Bad Sector Encountered" asks Retry, Skip,
// Retry All or Skip All; an "All" answer holds for the rest of the session.
// The session owns one policy; every read that may prompt goes through it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "disk/ReadStatus.h"

namespace disk {

class Disk;

enum BadSectorAnswer : std::int32_t { kRetry = 0, kSkip = 1, kRetryAll = 2, kSkipAll = 3 };

// What the prompt may show about the failed read.
struct BadSectorEvent {
    std::string diskPath;
    std::uint64_t startSector = 0;
    std::uint32_t sectorCount = 0;
};

// Asks the user (a dialog, the terminal, a test script). Called on the
// thread whose read failed, holding no lock of the disk layer; returns a
// BadSectorAnswer (anything else counts as Skip, like closing the dialog).
class BadSectorPrompt {
public:
    virtual ~BadSectorPrompt() = default;
    virtual std::int32_t Ask(const BadSectorEvent& event) = 0;
};

class BadSectorPolicy {
public:
    // The remembered answer; the prompt's answer is stored here.
    std::atomic<std::int32_t> BadSectorDecision{kRetry};

    // nullptr: answer Retry without asking. The prompt must outlive the
    // reads that may call it.
    void SetPrompt(BadSectorPrompt* prompt) { prompt_.store(prompt); }
    // Asks (unless an "All" answer stands) and returns the answer in force.
    std::int32_t Decide(const BadSectorEvent& event);

    // Reads through the disk's cache; when bad sectors failed the read,
    // applies the answer to them: Retry reads them sector by sector
    // (unreadable ones become zeros), Skip leaves them zeros. Sectors past
    // the end or in a missing piece, and every sector of a disk that is
    // missing or cannot be opened, are zeros named in the status without a
    // prompt: there is nothing to retry.
    ReadStatus Read(Disk* disk, std::uint64_t start, std::uint32_t count, void* buffer);

private:
    std::atomic<BadSectorPrompt*> prompt_{nullptr};
};

}  // namespace disk
