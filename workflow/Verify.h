// Checking a disk against the hashes stored when it was acquired (see
// records/DiskVerify.h), and what the disk's facts then say.
#pragma once

#include <string>

#include "records/DiskVerify.h"
#include "workflow/Session.h"

namespace workflow {

// Reads all of attached disk `number` through the session's reader and
// checks it. Safe on a worker: reads the session's disks, changes nothing.
records::DiskVerification VerifyDisk(Session& session, unsigned number, base::ProgressSink& progress,
                                     const base::CancelFlag* cancel);

// Keeps the outcome for the disk's facts (on the thread that owns the session).
void NoteVerification(Session& session, unsigned number, const records::DiskVerification& outcome);

// "Stored MD5 verified", "Stored MD5 differs", ...: the fact a verification
// adds to its disk's facts.
std::string VerificationFact(const records::DiskVerification& outcome);

}  // namespace workflow
