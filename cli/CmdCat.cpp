// cat: a file's bytes to stdout, as the file reader delivers them.
#include <cstdio>
#include <optional>

#include "cli/Cli.h"
#include "netware/FileReader.h"
#include "netware/FolderTree.h"

namespace cli {
namespace {

class StdoutConsumer : public nw::FileDataConsumer {
public:
    void Deliver(const std::uint8_t* data, std::uint32_t bytes) override {
        if (failed) return;
        if (std::fwrite(data, 1, bytes, stdout) != bytes) failed = true;
    }
    bool ShouldStop() override { return failed; }
    bool failed = false;
};

int RunCat(const Invocation& inv) {
    ArgReader reader(inv.command, inv.args);
    VolumeOptions options;
    bool havePath = false;
    std::string path;
    while (!reader.Done()) {
        const std::string arg = reader.Take();
        const int taken = TakeVolumeOption(reader, arg, options);
        if (taken < 0) return kExitBadInput;
        if (taken > 0) continue;
        if (!havePath && !arg.empty() && arg[0] != '-') {
            path = arg;
            havePath = true;
        } else {
            reader.Unknown(arg);
            return kExitBadInput;
        }
    }
    if (!havePath) {
        Error("cat: which file? (PATH is missing)");
        return kExitBadInput;
    }
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
    StdoutConsumer out;
    const disk::SectorReader sectors = session.Reader();
    nw::FileReader file(session.mounted, sectors);
    const std::uint64_t delivered = file.ReadFileData(match.record->firstBlock, match.record->size, out);
    if (std::fflush(stdout) != 0 || out.failed) {
        Error("cat: writing to the output failed");
        return kExitBadInput;
    }
    if (const std::optional<nw::VolumeSegment>& gone = file.MissingSegment()) {
        Error("cat: " + std::to_string(file.UnreadableBytes()) + " of " + std::to_string(match.record->size) +
              " bytes could not be read: " + nw::MissingSegmentText(session.mounted.currentVolume.name, gone->number));
        return kExitDamaged;
    }
    if (delivered < match.record->size)
        Note("cat: the file's chain ends after " + std::to_string(delivered) + " of " +
             std::to_string(match.record->size) + " bytes");
    return kExitOk;
}

}  // namespace

const Command kCatCommand{"cat", "[--disk N] [--advanced] --volume I [--fat 1|2] [--log FILE] PATH",
                          "write a file's bytes to stdout", RunCat};

}  // namespace cli
