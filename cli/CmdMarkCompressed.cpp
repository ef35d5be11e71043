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
    explicit TerminalMarking(ProgressLine& line) : line_(line) {}
    void SetStatusText(const std::string& text) override {
        if (text.rfind("Not marked: ", 0) == 0) Note("mark-compressed: " + text);
        else if (text.rfind(recovery::kMarkingCompletedText, 0) == 0) Note(text);
        else line_.Step();  // a file's name: the pass goes on to it
    }

private:
    ProgressLine& line_;
};

int RunMarkCompressed(const Invocation& inv) {
    VolumeOptions options;
    if (!ReadVolumeOptions(inv, options)) return kExitBadInput;
    const bool write = inv.parsed.Has("--write");
    CommandSession cs(inv.global);
    if (int r = OpenVolume(cs, options); r != kExitOk) return r;

    TerminalMarking view(cs.line);
    recovery::MarkingResult result;
    base::CancelFlag stop{false};
    ArmInterrupt();
    // Ctrl-C ends the pass before its next file, never between the writes of
    // one file's two directory copies.
    RunWatched([&] { result = workflow::RunMarkingPass(cs.session, write, &view, &stop); }, [&] { stop = true; });
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
    if (result.stopped)
        Note("mark-compressed: stopped" + (write ? " after marking " + std::to_string(marked) + " files" : std::string()) +
             "; the files after the last one listed were not looked at");
    else if (write)
        Note("mark-compressed: " + std::to_string(marked) + " of " + std::to_string(result.candidates.size()) +
             " files marked");
    int status = CombineStatus(result.failures && write ? kExitDamaged : kExitOk, written ? kExitOk : kExitBadInput);
    return result.stopped ? CombineStatus(status, kExitStopped) : status;
}

std::vector<OptionRow> MarkRows() {
    std::vector<OptionRow> rows = VolumeRows();
    rows.push_back({"--write", nullptr, "WRITES THE DISK: mark the files in both directory copies"});
    return rows;
}

}  // namespace

const Command kMarkCompressedCommand{"mark-compressed", "", 0, MarkRows(),
                                     "list the files whose data is stored compressed but whose entry lacks the mark "
                                     "(path, size, size from the header); --write WRITES THE DISK: it marks them in both "
                                     "directory copies and says how many were marked",
                                     RunMarkCompressed};

}  // namespace cli
