// Whether a recovery log belongs to the disk it is loaded for: the log's
// volume must still have, in its directory tables on that disk, the entries
// the log lists. A log written for another disk (or another volume) would
// otherwise be browsed and saved from whatever those sectors now hold.
#pragma once

#include <string>

#include "records/RecoveryLog.h"

namespace disk {
class SectorReader;
}

namespace records {

inline constexpr const char* kLogDoesNotMatchText = "Unable to open file: the log does not match this disk";

enum class LogDiskMatch {
    Matches,     // the entries looked at are where the log has them
    Differs,     // some readable directory sector holds something else
    CannotTell,  // nothing could be compared (unreadable tables, or no entries)
};

// Walks the log's volume's directory table on disk `diskNumber` (its chain
// followed through the log's FAT block list, copy 2 where copy 1 cannot be
// read) in the order a mount does, and compares a few entries spread over
// each of the log's lists (name, own number, first block, date): the walk
// ends after the last of them. Sizes and the compressed mark are not
// compared (marking changes them). Reads never prompt: a sector that cannot
// be read in either copy ends the walk with what was compared so far.
LogDiskMatch CompareLogWithDisk(const RecoveryLogContents& log, unsigned diskNumber, const disk::SectorReader& reader);

}  // namespace records
