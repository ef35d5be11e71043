// mark-compressed: lists (or, with --write, marks in both directory copies)
// the files whose data carries the compressed-file header although their
// entry lacks the compressed mark. The one command that writes to the disk.
#include <iostream>

#include "app/job/WizardState.h"
#include "cli/Cli.h"
#include "netware/TreeModel.h"
#include "recovery/CompressedMarking.h"

namespace cli {
namespace {

constexpr int kExitWritesFailed = 3;

// The file's path below the volume root, '\' joined.
std::string PathOf(const nw::EntryRecord& file) {
    auto& w = job::Wizard();
    if (file.parentNumber == 0) return file.name;
    const nw::EntryRecord* folder = w.FolderList.FindByOwnNumber(file.parentNumber);
    if (!folder || !folder->treeItem) return file.name;
    return nw::TreeItemPath(folder->treeItem) + "\\" + file.name;
}

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
    if (int r = OpenVolume(inv.global, options); r != kExitOk) return r;

    TerminalMarking view;
    const recovery::MarkingResult result = recovery::RunMarkingPass(write, &view);
    FinishProgressLine();
    auto& files = job::Wizard().FileList;
    for (const recovery::MarkingCandidate& c : result.candidates) {
        std::cout << PathOf(files[c.fileIndex]) << '\t' << c.size << '\t' << c.markedSize;
        if (write) std::cout << '\t' << (c.changed ? "marked" : "failed: " + c.failure);
        else if (!c.failure.empty()) std::cout << "\tcannot be marked: " << c.failure;
        std::cout << '\n';
    }
    return result.failures && write ? kExitWritesFailed : kExitOk;
}

const Register kMarkCompressed({"mark-compressed", "[--disk N] [--advanced] --volume I [--fat 1|2] [--write]",
                                "list the files whose data is stored compressed but whose entry lacks the mark "
                                "(path, size, size from the header); --write marks them on the disk",
                                RunMarkCompressed});

}  // namespace
}  // namespace cli
