// cat: a file's bytes to stdout, as the file reader delivers them.
#include <cstdio>
#include <optional>

#include "cli/Cli.h"
#include "netware/FileReader.h"
#include "netware/FolderTree.h"
#include "recovery/SaveEngine.h"

namespace cli {
namespace {

// Stops at a full output and at Ctrl-C.
class StdoutConsumer : public nw::FileDataConsumer {
public:
    explicit StdoutConsumer(ProgressLine& line) : line_(line) {}
    void Deliver(const std::uint8_t* data, std::uint32_t bytes) override {
        if (failed || InterruptRequested()) return;
        if (std::fwrite(data, 1, bytes, stdout) != bytes) failed = true;
        written += bytes;
        line_.Step();
    }
    bool ShouldStop() override { return failed || InterruptRequested(); }
    bool failed = false;
    std::uint64_t written = 0;

private:
    ProgressLine& line_;
};

int RunCat(const Invocation& inv) {
    VolumeOptions options;
    if (!ReadVolumeOptions(inv, options)) return kExitBadInput;
    if (inv.parsed.Operands().empty()) {
        Error("cat: which file? (PATH is missing)");
        return kExitBadInput;
    }
    const std::string path = inv.parsed.Operands()[0];
    CommandSession cs(inv.global);
    if (int r = OpenVolume(cs, options); r != kExitOk) return r;
    workflow::Session& session = cs.session;

    nw::PathMatch match;
    if (!nw::FindEntryByPath(session.mounted, path, &match)) {
        Error("cat: no file '" + path + "' on the volume");
        return kExitNothingFound;
    }
    if (match.isFolder || !match.record) {
        Error("cat: '" + path + "' is a folder");
        return kExitBadInput;
    }
    StdoutConsumer out(cs.line);
    const disk::SectorReader sectors = session.Reader();
    // A file stored compressed is written as it lies: its stored bytes.
    bool checksumFailed = false;
    const std::uint32_t byteCount = recovery::BytesToRead(session.mounted, sectors, *match.record, &checksumFailed);
    nw::FileReader file(session.mounted, sectors);
    const std::uint64_t delivered = file.ReadFileData(match.record->firstBlock, byteCount, out);
    if (std::fflush(stdout) != 0 || out.failed) {
        Error("cat: writing to the output failed");
        return kExitBadInput;
    }
    if (InterruptRequested()) {
        Note("cat: stopped after writing " + std::to_string(out.written) + " of " + std::to_string(byteCount) +
             " bytes");
        return kExitStopped;
    }
    if (const std::optional<nw::VolumeSegment>& gone = file.MissingSegment()) {
        Error("cat: '" + path + "' is damaged: " + std::to_string(file.UnreadableBytes()) + " of " +
              std::to_string(byteCount) + " bytes could not be read: " +
              nw::MissingSegmentText(session.mounted.currentVolume.name, gone->number));
        return kExitDamaged;
    }
    const std::string damage = recovery::DamageReason(delivered, byteCount, file.UnreadableBytes(), checksumFailed);
    if (!damage.empty()) {
        Error("cat: '" + path + "' is damaged: " + damage);
        return kExitDamaged;
    }
    return kExitOk;
}

}  // namespace

const Command kCatCommand{"cat", "PATH", 1, VolumeRows(),
                          "write a file's bytes to stdout (a compressed file's stored bytes); exit 3 when it is damaged",
                          RunCat};

}  // namespace cli
