// verify: the whole disk read and hashed, against the hashes an E01 set
// stored when it was acquired; MD5 and SHA-256 of any other disk.
#include <iostream>

#include "cli/Cli.h"
#include "workflow/Verify.h"

namespace cli {
namespace {

class TerminalVerifyProgress : public base::ProgressSink {
public:
    explicit TerminalVerifyProgress(ProgressLine& line) : line_(line) {}
    void Percent(int percent) override {
        line_.Step();
        line_.SetPercent(percent);
    }

private:
    ProgressLine& line_;
};

std::string SectorRange(std::uint64_t first, std::uint64_t count) {
    return count == 1 ? "sector " + std::to_string(first)
                      : "sectors " + std::to_string(first) + "-" + std::to_string(first + count - 1);
}

// "chunk 3 (sectors 192-255)": where an evidence set keeps what could not be read.
std::string UnreadPlace(const records::DiskVerification& v, const records::UnreadSectors& u) {
    if (!v.evidenceSet || v.sectorsPerChunk == 0) return SectorRange(u.first, u.count);
    const std::uint64_t firstChunk = u.first / v.sectorsPerChunk, lastChunk = (u.first + u.count - 1) / v.sectorsPerChunk;
    const std::string chunks = firstChunk == lastChunk
                                   ? "chunk " + std::to_string(firstChunk)
                                   : "chunks " + std::to_string(firstChunk) + "-" + std::to_string(lastChunk);
    return chunks + " (" + SectorRange(u.first, u.count) + ")";
}

const char* MatchText(records::HashMatch m) {
    switch (m) {
        case records::HashMatch::Match: return "match";
        case records::HashMatch::Differs: return "differs";
        default: return "not stored";
    }
}

int RunVerify(const Invocation& inv) {
    std::uint64_t number = 0;
    if (inv.parsed.Has("--disk") && !ParseNumber("verify", "--disk", inv.parsed.Value("--disk"), number))
        return kExitBadInput;
    CommandSession cs(inv.global);
    if (number > 0xFFFF) {
        Error("there is no disk " + std::to_string(number));
        return kExitBadInput;
    }
    const unsigned disk = static_cast<unsigned>(number);
    if (int r = SelectDisk(cs, disk); r != kExitOk) return r;

    TerminalVerifyProgress progress(cs.line);
    cs.line.SetStatus("Verifying Disk" + std::to_string(disk) + "....");
    base::CancelFlag cancel{false};
    records::DiskVerification v;
    ArmInterrupt();
    RunWatched([&] { v = workflow::VerifyDisk(cs.session, disk, progress, &cancel); }, [&] { cancel.store(true); });
    cs.line.Finish();
    if (v.stopped) {
        Note("verify: stopped after " + std::to_string(v.sectorsRead) + " of " + std::to_string(v.sectors) +
             " sectors");
        return kExitStopped;
    }
    int status = kExitOk;
    for (const records::UnreadSectors& u : v.unread) {
        Note("verify: " + UnreadPlace(v, u) + " could not be read (" + disk::UnreadText(u.reason) +
             "); hashed as zeros");
        status = CombineStatus(status, kExitDamaged);
    }
    for (const records::HashCheck& h : v.hashes) {
        std::cout << h.kind << '\t' << h.stored << '\t' << h.computed << '\t' << MatchText(h.match) << '\n';
        if (h.match == records::HashMatch::Differs) status = CombineStatus(status, kExitDamaged);
    }
    if (v.evidenceSet && v.StoresNone()) Note("verify: the set stores no hashes to check against");
    return OutputWritten("verify") ? status : CombineStatus(status, kExitBadInput);
}

}  // namespace

const Command kVerifyCommand{"verify", "", 0, {{"--disk", "N", "the disk to check (default 0)"}},
                             "read the whole disk and check it: an E01 set against the MD5 (and SHA-1) it stored, "
                             "any other disk by its MD5 and SHA-256 as read; one record per hash: kind, stored, "
                             "computed, match|differs|not stored; exit 3 when one differs or sectors (chunks of a "
                             "set) could not be read, named on stderr",
                             RunVerify};

}  // namespace cli
