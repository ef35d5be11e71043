// The save job's drivers: counting, the tree-source and list-source walks,
// folder creation and the names taken from the disk.
#include "recovery/SaveEngine.h"

#include <cerrno>
#include <optional>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "netware/MountedVolume.h"
#include "netware/Selection.h"
#include "recovery/SaveNames.h"
#include "recovery/SaveRun.h"

namespace recovery {

namespace {

std::string WithSlash(const std::string& path) {
    return (!path.empty() && path.back() == '/') ? path : path + "/";
}

// A folder node of the volume's tree (not the root, not beyond the tree).
bool IsFolderNode(const nw::MountedVolume& volume, std::uint32_t node) {
    return node != nw::kRootNode && nw::FolderOfNode(volume, node) != nullptr;
}

// A folder the walk writes into must let its owner write into it and pass
// through it. One saved before with a mode that does not (0555, 0500, a
// re-run by the same user) gets that for the walk; returns the mode to give
// back (the entry's own mode, where it has one, is set after the children).
std::optional<mode_t> OpenForWriting(int folderFd) {
    struct stat st;
    if (::fstat(folderFd, &st) != 0 || st.st_uid != ::geteuid() || (st.st_mode & S_IRWXU) == S_IRWXU)
        return std::nullopt;
    if (::fchmod(folderFd, (st.st_mode & 07777) | S_IRWXU) != 0) return std::nullopt;
    return st.st_mode & 07777;
}

// A folder `name` of the folder `dirFd` that its owner cannot open (0000,
// 0300): made readable and passable when it is a folder of this user (never
// through a link); returns its mode to give back.
std::optional<mode_t> OpenForEntering(int dirFd, const std::string& name) {
    struct stat st;
    if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) ||
        st.st_uid != ::geteuid() || (st.st_mode & S_IRWXU) == S_IRWXU)
        return std::nullopt;
    if (::fchmodat(dirFd, name.c_str(), (st.st_mode & 07777) | S_IRWXU, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
    return st.st_mode & 07777;
}

const nw::EntryRecord* FileAt(const nw::MountedVolume& volume, std::size_t index) {
    return index < volume.FileList.Size() ? &volume.FileList[index] : nullptr;
}

}  // namespace

SaveOutcome RunSave(SaveJob& job, const SaveInput& input, SaveProgressView& view, SavePrompts& prompts) {
    return SaveRun(job, input, view, prompts).Run();
}

SaveRun::SaveRun(SaveJob& job, const SaveInput& input, SaveProgressView& view, SavePrompts& prompts)
    : job_(job), input_(input), view_(view), prompts_(prompts), fileReader_(input.volume, input.reader) {}

// ---- names -------------------------------------------------------------------------

std::string SafeName(const std::string& name) {
    if (name.empty()) return "_";
    if (name == ".") return "_";
    if (name == "..") return "__";
    std::string out = name;
    for (char& c : out)
        if (c == '/' || c == '\0') c = '_';
    return out;
}

// Gives a folder the time of its entry once its content is written: the
// step after a folder's children, while the walk stands in it.
void SaveRun::FinishFolder(std::uint32_t node) {
    const nw::EntryRecord* record = node == nw::kRootNode ? nullptr : nw::FolderOfNode(input_.volume, node);
    if (!record) return;
    const int folder = folders_.Current();
    if (folder >= 0) FinishSavedFolder(folder, *record, input_.volume, input_.settings.extras);
}

bool SaveRun::UseDestination(const std::string& folder) {
    root_ = DestinationRoot(folder);
    folders_ = FolderChain(root_);
    return folders_.Open(root_, true).ok();
}

// ---- counting ----------------------------------------------------------------------

void SaveRun::CountFile(const nw::EntryRecord& file) {
    job_.totalBytes += file.size;
    ++job_.totalFiles;
    view_.CountingProgress(job_.totalFiles);
}

// Counts a folder row's branch: every file of the folder and of each folder
// below it, marked or not, depth first.
bool SaveRun::CountBranch(std::uint32_t top) {
    const nw::MountedVolume& volume = input_.volume;
    std::vector<std::uint32_t> pending{top};
    std::vector<std::uint32_t> children;
    while (!pending.empty()) {
        const std::uint32_t node = pending.back();
        pending.pop_back();
        for (std::size_t i : volume.FileList.ChildrenOf(nw::FolderNumberOfNode(volume, node))) {
            if (CountingStopped()) return false;
            CountFile(volume.FileList[i]);
        }
        children.clear();
        for (std::uint32_t c = volume.tree.FirstChild(node); c != nw::kNoNode; c = volume.tree.NextSibling(c))
            children.push_back(c);
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return true;
}

void SaveRun::CountSelection() {
    job_.totalFiles = 0;
    job_.totalBytes = 0;
    job_.savedBytes = 0;
    const nw::MountedVolume& volume = input_.volume;
    if (job_.source == kTreeSource) {
        if (!input_.selection) return;
        for (std::size_t i = 0; i < volume.FileList.Size(); ++i) {
            if (CountingStopped()) return;
            if (input_.selection->FileChecked(i)) CountFile(volume.FileList[i]);
        }
        return;
    }
    for (const ListItem& item : input_.listItems) {
        if (CountingStopped()) return;
        if (!RowChosen(input_.settings, item.selected)) continue;
        if (!item.isFolder) {
            if (const nw::EntryRecord* file = FileAt(volume, item.fileIndex)) CountFile(*file);
        } else if (IsFolderNode(volume, item.node) && !CountBranch(item.node)) {
            return;
        }
    }
}

// The counting worker: runs the count on a thread of its own and waits for
// it (a stop ends it at its next record; the job goes on with the totals
// counted so far).
void SaveRun::RunCounting() {
    job_.countingStopRequested = 0;
    job_.countingState = kCountingRunning;
    view_.CountingStarted();
    std::thread counting([this] {
        CountSelection();
        int running = kCountingRunning;
        job_.countingState.compare_exchange_strong(running, kCountingDone);
    });
    counting.join();
    job_.countingState = kCountingIdle;
    view_.CountingFinished();
}

// ---- the worker --------------------------------------------------------------------

SaveOutcome SaveRun::Run() {
    // A Stop asked for before the job got here (a Ctrl-C while the volume
    // was still being opened) stands: the job ends before its first file.
    job_.renamedNames.clear();
    job_.filesStarted = 0;
    outcome_ = SaveOutcome();
    filesKept_ = 0;
    SaveOutcome outcome;
    if (job_.destinationPath.empty()) {
        outcome.end = SaveEnd::NoDestination;
    } else {
        RunCounting();
        job_.jobFinished = 0;
        job_.replacePolicy = kReplaceAsk;
        // A Stop during the counting ends the job there.
        if (job_.stopRequested != 1) outcome = job_.source == kTreeSource ? SaveCheckedTree() : SaveListSelection();
    }
    outcome.stopped = job_.stopRequested == 1;
    if (outcome.end == SaveEnd::Finished && input_.activityReport)
        input_.activityReport->Append("\r\nSaved to \"" + job_.destinationPath + "\" : " +
                                      std::to_string(filesKept_) + " files saved, " +
                                      std::to_string(outcome_.damaged.size()) + " damaged, " +
                                      std::to_string(outcome_.failed.size()) + " failed, " +
                                      std::to_string(outcome_.renamed.size()) + " renamed" +
                                      (outcome.stopped ? ", stopped" : ""));
    outcome.damaged = std::move(outcome_.damaged);
    outcome.failed = std::move(outcome_.failed);
    outcome.renamed = std::move(outcome_.renamed);
    job_.stopRequested = 0;
    job_.jobFinished = 1;
    view_.JobFinished();
    return outcome;
}

namespace {

SaveOutcome Refusal(SaveEnd end, const char* message) {
    SaveOutcome outcome;
    outcome.end = end;
    outcome.message = message;
    return outcome;
}

}  // namespace

// ---- tree source ----------------------------------------------------------------

SaveOutcome SaveRun::SaveCheckedTree() {
    job_.checkedFolderCount = 0;
    job_.startTime = job_.Now();
    if (job_.destinationPath.size() > kDestinationPathMax) job_.destinationPath.resize(kDestinationPathMax);
    job_.destinationPath = WithSlash(job_.destinationPath);
    job_.filesStarted = 0;
    if (!UseDestination(job_.destinationPath)) return Refusal(SaveEnd::InvalidPath, kInvalidPathText);
    if (input_.selection && input_.selection->NodeState(nw::kRootNode) != nw::kUnchecked) {
        ++job_.checkedFolderCount;
        SaveBranch(nw::kRootNode, nullptr);
    }
    if (job_.checkedFolderCount == 0) return Refusal(SaveEnd::NothingSelected, kNoFolderSelectedText);
    return {};
}

// ---- list source -------------------------------------------------------------------

SaveOutcome SaveRun::SaveListSelection() {
    job_.startTime = job_.Now();
    if (job_.destinationPath.size() > kDestinationPathMax) job_.destinationPath.resize(kDestinationPathMax);
    const std::string folder = WithSlash(job_.destinationPath);
    job_.filesStarted = 0;
    if (!UseDestination(folder)) return Refusal(SaveEnd::InvalidPath, kInvalidPathText);
    const nw::MountedVolume& volume = input_.volume;
    // The chosen rows share the destination folder: their names are
    // planned together.
    std::vector<const ListItem*> rows;
    std::vector<NameCandidate> candidates;
    for (const ListItem& item : input_.listItems) {
        if (!RowChosen(input_.settings, item.selected)) continue;
        const nw::EntryRecord* record = nullptr;
        if (!item.isFolder) record = FileAt(volume, item.fileIndex);
        else if (IsFolderNode(volume, item.node)) record = nw::FolderOfNode(volume, item.node);
        if (!record) continue;
        rows.push_back(&item);
        candidates.push_back({record->name, record->IsDeleted()});
    }
    const std::vector<std::string> names = PlanNames(candidates);
    const WalkFolder destination{folder, folders_.Current() >= 0, 0};
    for (std::size_t k = 0; k < rows.size(); ++k) {
        if (job_.stopRequested == 1) break;
        const ListItem& item = *rows[k];
        if (!item.isFolder) SaveOneFile(volume.FileList[item.fileIndex], destination, names[k]);
        else SaveBranch(item.node, &names[k]);
    }
    return {};
}

// ---- the walk ----------------------------------------------------------------------

// One walk for both sources. With `topName`, `top` is made under that name
// in the destination folder and saved with its whole branch (every folder,
// every file: a list row); without, `top` is the destination folder itself
// and only what the selection ticks is saved (the tree source; a folder
// whose node is unchecked is not entered). Depth first in tree order,
// without recursion: the folder chain takes one step down and one up per
// folder, one path string serves the whole walk, each level noting where
// its own path ends and the names planned for its entries, so a walk
// costs the same per folder however deep the tree.
void SaveRun::SaveBranch(std::uint32_t top, const std::string* topName) {
    const nw::MountedVolume& volume = input_.volume;
    const bool ticked = topName == nullptr;
    struct Frame {
        std::uint32_t node;
        std::uint32_t next;      // the next child to visit
        std::size_t pathLength;  // the length of the frame's node's destination path
        bool entered;            // the chain stands in the folder (it could be made)
        int error;               // why not
        FolderNames names;       // of the node's entries
        std::optional<mode_t> restore;  // the mode it had before the walk made it writable
    };
    std::string path = job_.destinationPath;
    std::vector<Frame> stack;
    auto enter = [&](std::uint32_t node, const std::string& savedName, bool parentEntered, int parentError) {
        if (path.empty() || path.back() != '/') path += '/';
        path += savedName;
        const nw::EntryRecord* record = nw::FolderOfNode(volume, node);
        ReportName(nw::NodeText(volume, node), savedName, record && record->IsDeleted(), path);
        if (!ticked) path += '/';  // a list row's folders are shown "/" ended
        bool entered = false;
        int error = parentError;
        std::optional<mode_t> restore;
        if (parentEntered) {
            entered = folders_.Enter(savedName, true);
            if (!entered && errno == EACCES) {
                restore = OpenForEntering(folders_.Current(), savedName);
                if (restore) entered = folders_.Enter(savedName, false);
            }
            error = entered ? 0 : errno;
            if (entered && !restore) restore = OpenForWriting(folders_.Current());
        }
        stack.push_back({node, volume.tree.FirstChild(node), path.size(), entered, error,
                         PlanFolderNames(volume, node, &input_.settings.extras), restore});
        SaveFolderFiles(WalkFolder{path, entered, error}, node, stack.back().names, ticked);
    };
    if (ticked) {
        const int root = folders_.Current();
        const int error = root >= 0 ? 0 : errno;
        stack.push_back({top, volume.tree.FirstChild(top), path.size(), root >= 0, error,
                         PlanFolderNames(volume, top, &input_.settings.extras), std::nullopt});
        SaveFolderFiles(WalkFolder{path, root >= 0, error}, top, stack.back().names, ticked);
    } else {
        if (job_.stopRequested == 1) return;
        const int root = folders_.Current();
        enter(top, *topName, root >= 0, root >= 0 ? 0 : errno);
    }
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const std::uint32_t child = frame.next;
        if (child == nw::kNoNode || job_.stopRequested == 1) {
            if (frame.entered) {
                if (frame.restore && folders_.Current() >= 0) ::fchmod(folders_.Current(), *frame.restore);
                FinishFolder(frame.node);
                if (stack.size() > 1 || !ticked) folders_.Leave();
            }
            stack.pop_back();
            continue;
        }
        frame.next = volume.tree.NextSibling(child);
        if (ticked && input_.selection->NodeState(child) == nw::kUnchecked) continue;
        ++job_.checkedFolderCount;
        path.resize(frame.pathLength);
        const std::string savedName = frame.names.Folder(child, nw::NodeText(volume, child));
        const bool entered = frame.entered;
        const int error = frame.error;
        enter(child, savedName, entered, error);
    }
}

void SaveRun::SaveFolderFiles(const WalkFolder& folder, std::uint32_t node, const FolderNames& names, bool ticked) {
    const nw::MountedVolume& volume = input_.volume;
    for (std::uint32_t i : volume.FileList.ChildRange(nw::FolderNumberOfNode(volume, node))) {
        if (job_.stopRequested == 1) return;
        if (ticked && !(input_.selection && input_.selection->FileChecked(i))) continue;
        SaveOneFile(volume.FileList[i], folder, names.File(i, volume.FileList[i].name));
    }
}

}  // namespace recovery
