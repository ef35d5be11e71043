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

enum class LogDiskMatch {
    Matches,     // the entries compared are where the log has them
    Differs,     // some readable directory sector holds something else
    CannotTell,  // nothing could be compared (unreadable tables, or no entries)
};

// Walks the log's volume's directory table on disk `diskNumber` (its chain
// followed through the log's FAT block list, copy 2 where copy 1 cannot be
// read) in the order a mount does and compares every entry with the log's
// record at the same place (name, attributes, parent, own number, size,
// first block, date, deleted mark), the log's entry counts, its
// suballocation table and its FAT block list with what the disk gives: a
// log that loads shows what a mount would. The walk reads what a mount
// reads, no more. Two later changes of the disk are not differences: the
// compressed mark and size that marking sets, and a parent a mount replaced
// by LOST. Reads never prompt: a sector that cannot be read in either copy
// ends the walk with what was compared so far.
LogDiskMatch CompareLogWithDisk(const RecoveryLogContents& log, unsigned diskNumber, const disk::SectorReader& reader);
// The same with the log's volume placed as it lies now: `placed` is the
// log's volume with its disk and, for a volume of several segments, the
// segments found in the attached disks' tables (the log has no room for
// them).
LogDiskMatch CompareLogWithDisk(const RecoveryLogContents& log, const nw::VolumeDescriptor& placed,
                                const disk::SectorReader& reader);

}  // namespace records
