// mark-compressed: lists (or, with --write, marks in both directory copies)
// the files whose data carries the compressed-file header although their
// entry lacks the compressed mark. The one command that writes to the disk.
#include <iostream>

#include "cli/Cli.h"
#include "workflow/Files.h"
#include "workflow/Volume.h"

namespace cli {
namespace {

class TerminalMarking : public recovery::MarkingView {
public:
    void SetStatusText(const std::string& text) override {
        if (text.rfind("Not marked: ", 0) == 0) Note("mark-compressed: " + text);
        else if (text.rfind(recovery::kMarkingCompletedText, 0) == 0) Note(text);
    }
};

int RunMarkCompressed(const Invocation& inv) {
    ArgReader reader(inv.command, inv.args);
    VolumeOptions options;
    bool write = false;
    while (!reader.Done()) {
        const std::string arg = reader.Take();
        const int taken = TakeVolumeOption(reader, arg, options);
        if (taken < 0) return kExitBadInput;
        if (taken > 0) continue;
        if (arg == "--write") {
            write = true;
        } else {
            reader.Unknown(arg);
            return kExitBadInput;
        }
    }
    CommandSession cs(inv.global);
    if (int r = OpenVolume(cs, options); r != kExitOk) return r;

    TerminalMarking view;
    const recovery::MarkingResult result = workflow::RunMarkingPass(cs.session, write, &view);
    cs.line.Finish();
    std::size_t marked = 0;
    for (const recovery::MarkingCandidate& c : result.candidates) {
        std::cout << workflow::FilePath(cs.session, c.fileIndex, Field) << '\t' << c.size << '\t' << c.markedSize;
        if (write) std::cout << '\t' << (c.changed ? "marked" : "failed: " + c.failure);
        else if (!c.failure.empty()) std::cout << "\tcannot be marked: " << c.failure;
        std::cout << '\n';
        if (c.changed) ++marked;
    }
    const bool written = OutputWritten("mark-compressed");
    if (write) Note("mark-compressed: " + std::to_string(marked) + " of " + std::to_string(result.candidates.size()) +
                    " files marked");
    return CombineStatus(result.failures && write ? kExitDamaged : kExitOk, written ? kExitOk : kExitBadInput);
}

}  // namespace

const Command kMarkCompressedCommand{"mark-compressed", "[--disk N] [--advanced] --volume I [--fat 1|2] [--write]",
                                     "list the files whose data is stored compressed but whose entry lacks the mark "
                                     "(path, size, size from the header); --write WRITES THE DISK: it marks them in both "
                                     "directory copies and says how many were marked",
                                     RunMarkCompressed};

}  // namespace cli
