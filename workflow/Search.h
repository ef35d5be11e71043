// From the chosen disk to its table of volumes: the start of a mode (its
// activity-report lines) and the two volume searches. The flows are
// synchronous; the front end decides whether they run on a worker.
#pragma once

#include <cstdint>
#include <string>

#include "base/Progress.h"
#include "netware/VolumeSearch.h"
#include "workflow/Notice.h"
#include "workflow/Session.h"

namespace workflow {

// Next with a mode chosen for the selected disk: sets session.recoveryMode and
// writes the report section "\r\n\r\nSelected Disk : N\r\nModel Number :
// M\r\nSelected Mode : QUICK" (the selected disk's number, its model, the
// mode's name). False, with the reason, when the report could not be written.
bool BeginMode(Session& session, RecoveryMode mode, std::string* reportFailure = nullptr);

struct SearchOutcome {
    bool diskOpened = true;      // false: the disk cannot be read, nothing was searched
    bool stopped = false;        // the cancel flag ended the search
    std::uint32_t volumeCount = 0;
    // "Unable to open disk: ...", or the empty result's message
    // ("No volume found, use advance mode" / "... use raw mode").
    MaybeNotice notice;
    // Advanced search: that the volumes found may extend past what was
    // proven (nw::SearchResult::unprovenSegmentsNote); also in the activity report.
    std::string remark;
    // What the disk's partitions hold when that explains the result (an NSS
    // pool, only other file systems): PartitionNote, shown after the notice.
    std::string partitionNote;
    // The search's report section could not be written (the reason).
    bool reportWritten = true;
    std::string reportFailure;
    bool Found() const { return volumeCount > 0; }
};

// The quick search of the selected disk into session.found. Once the disk
// could be read, writes "\r\nTotal Volumes Found : N" (and the lines naming
// missing segments) to the activity report as one section. Polls `stop`
// between reads of the partition and volume tables (the caller clears it
// before the search starts); a stopped search gives no empty-disk notice.
SearchOutcome RunQuickSearch(Session& session, nw::SearchReport& report, const base::CancelFlag* stop = nullptr);

// The advanced search of the selected disk into session.found, over the
// disk's sector count (DiskSectorCount). Polls `stop`; the caller clears it
// before the search starts (a stop meant for an earlier search must not end
// this one).
SearchOutcome RunAdvancedSearch(Session& session, nw::SearchReport& report, const base::CancelFlag& stop);
// The same over sectors [first, end) only (a partition's).
SearchOutcome RunAdvancedSearch(Session& session, nw::SearchReport& report, const base::CancelFlag& stop,
                                std::uint64_t first, std::uint64_t end);

// What a search's end shows: its notice followed by its partition note (a
// note alone is information); nothing when it has neither.
MaybeNotice SearchEndNotice(const SearchOutcome& outcome);

}  // namespace workflow
