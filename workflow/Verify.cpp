#include "workflow/Verify.h"

namespace workflow {

records::DiskVerification VerifyDisk(Session& session, unsigned number, base::ProgressSink& progress,
                                     const base::CancelFlag* cancel) {
    const std::shared_ptr<disk::Disk> attached = session.disks.At(number);
    const disk::StoredHashes stored = attached ? attached->Stored() : disk::StoredHashes();
    return records::VerifyDisk(session.Reader(), number, stored, progress, cancel);
}

void NoteVerification(Session& session, unsigned number, const records::DiskVerification& outcome) {
    session.verifications[number] = outcome;
}

std::string VerificationFact(const records::DiskVerification& outcome) {
    if (outcome.stopped) return "Verification stopped";
    std::string fact;
    for (const records::HashCheck& h : outcome.hashes) {
        if (h.match == records::HashMatch::NotStored) continue;
        if (!fact.empty()) fact += "; ";
        fact += "Stored " + h.kind + (h.match == records::HashMatch::Match ? " verified" : " differs");
    }
    if (fact.empty()) {
        fact = "No stored hashes";
        for (const records::HashCheck& h : outcome.hashes) fact += "; " + h.kind + " " + h.computed;
    }
    if (!outcome.unread.empty()) {
        std::uint64_t sectors = 0;
        for (const records::UnreadSectors& u : outcome.unread) sectors += u.count;
        fact += "; " + std::to_string(sectors) + " sectors could not be read";
    }
    return fact;
}

}  // namespace workflow
