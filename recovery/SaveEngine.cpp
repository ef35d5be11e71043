// The save job's drivers: counting, the tree-source and list-source walks,
// folder creation and the names taken from the disk.
#include "recovery/SaveEngine.h"

#include <thread>
#include <vector>

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

void SaveRun::EnterFolder(const std::string& diskName, const std::string& savedName, bool deleted,
                          const std::string& path) {
    ReportName(diskName, savedName, deleted, path);
    CreateFolderPath(path);
}

void SaveRun::FinishFolder(std::uint32_t node, const std::string& path) {
    const nw::EntryRecord* record = node == nw::kRootNode ? nullptr : nw::FolderOfNode(input_.volume, node);
    if (!record) return;
    const FolderFd folder = folders_.Open(path, false);
    if (folder.ok()) FinishSavedFolder(folder.get(), *record, input_.volume, input_.settings.extras);
}

bool SaveRun::UseDestination(const std::string& folder) {
    root_ = DestinationRoot(folder);
    folders_ = FolderChain(root_);
    CreateFolderPath(root_);
    return folders_.Open(root_, false).ok();
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
            if (job_.countingStopRequested) return false;
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
            if (job_.countingStopRequested) return;
            if (input_.selection->FileChecked(i)) CountFile(volume.FileList[i]);
        }
        return;
    }
    for (const ListItem& item : input_.listItems) {
        if (job_.countingStopRequested) return;
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
    job_.stopRequested = 0;
    job_.renamedNames.clear();
    outcome_ = SaveOutcome();
    filesKept_ = 0;
    SaveOutcome outcome;
    if (job_.destinationPath.empty()) {
        outcome.end = SaveEnd::NoDestination;
    } else {
        RunCounting();
        job_.jobFinished = 0;
        job_.replacePolicy = kReplaceAsk;
        outcome = job_.source == kTreeSource ? SaveCheckedTree() : SaveListSelection();
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

// ---- tree source -------------------------------------------------------------------

SaveOutcome SaveRun::SaveCheckedTree() {
    job_.checkedFolderCount = 0;
    job_.startTime = job_.Now();
    if (job_.destinationPath.size() > kDestinationPathMax) job_.destinationPath.resize(kDestinationPathMax);
    job_.destinationPath = WithSlash(job_.destinationPath);
    job_.filesStarted = 0;
    if (!UseDestination(job_.destinationPath)) return Refusal(SaveEnd::InvalidPath, kInvalidPathText);
    SaveTreeBranch(nw::kRootNode);
    if (job_.checkedFolderCount == 0) return Refusal(SaveEnd::NothingSelected, kNoFolderSelectedText);
    return {};
}

// Every folder below `top` whose node is not unchecked is entered: counted,
// created (with its ancestors) and its marked files saved. The branch of an
// unchecked node is not entered. Depth first in tree order, without
// recursion (a tree may be very deep); one path string serves the whole
// walk, each level noting where its own path ends and the names planned
// for its entries. The files lying in the volume's root folder go into the
// destination folder itself when the root is ticked.
void SaveRun::SaveTreeBranch(std::uint32_t top) {
    if (!input_.selection) return;
    const nw::Selection& selection = *input_.selection;
    const nw::MountedVolume& volume = input_.volume;
    if (selection.NodeState(top) == nw::kUnchecked) return;
    struct Frame {
        std::uint32_t node;
        std::uint32_t next;       // the next child to visit
        std::size_t pathLength;   // the length of the frame's node's destination path
        FolderNames names;        // of the node's entries
    };
    std::string path = job_.destinationPath;
    std::vector<Frame> stack;
    stack.push_back({top, volume.tree.FirstChild(top), path.size(), PlanFolderNames(volume, top)});
    if (top == nw::kRootNode) {
        ++job_.checkedFolderCount;
        SaveFolderFiles(top, path, stack.back().names);
    }
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const std::uint32_t child = frame.next;
        if (child == nw::kNoNode || job_.stopRequested == 1) {
            path.resize(frame.pathLength);
            FinishFolder(frame.node, path);
            stack.pop_back();
            continue;
        }
        frame.next = volume.tree.NextSibling(child);
        if (selection.NodeState(child) == nw::kUnchecked) continue;
        ++job_.checkedFolderCount;
        path.resize(frame.pathLength);
        if (path.empty() || path.back() != '/') path += '/';
        const std::string diskName = nw::NodeText(volume, child);
        const std::string savedName = frame.names.Folder(child, diskName);
        path += savedName;
        const nw::EntryRecord* record = nw::FolderOfNode(volume, child);
        EnterFolder(diskName, savedName, record && record->IsDeleted(), path);
        FolderNames names = PlanFolderNames(volume, child);
        SaveFolderFiles(child, path, names);
        stack.push_back({child, volume.tree.FirstChild(child), path.size(), std::move(names)});
    }
}

void SaveRun::SaveFolderFiles(std::uint32_t node, const std::string& folderPath, const FolderNames& names) {
    const nw::MountedVolume& volume = input_.volume;
    const bool markedOnly = job_.source == kTreeSource;
    for (std::size_t i : volume.FileList.ChildrenOf(nw::FolderNumberOfNode(volume, node))) {
        if (job_.stopRequested == 1) return;
        if (markedOnly && !(input_.selection && input_.selection->FileChecked(i))) continue;
        SaveOneFile(volume.FileList[i], folderPath, names.File(i, volume.FileList[i].name));
    }
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
    for (std::size_t k = 0; k < rows.size(); ++k) {
        if (job_.stopRequested == 1) break;
        const ListItem& item = *rows[k];
        if (!item.isFolder) SaveOneFile(volume.FileList[item.fileIndex], folder, names[k]);
        else SaveListFolder(item.node, folder, candidates[k].name, names[k]);
    }
    return {};
}

// The folder and its whole branch, every file of each folder, into
// parentPath/savedName. Depth first in tree order, without recursion; one
// path string serves the whole walk.
void SaveRun::SaveListFolder(std::uint32_t node, const std::string& parentPath, const std::string& folderName,
                             const std::string& savedName) {
    const nw::MountedVolume& volume = input_.volume;
    struct Frame {
        std::uint32_t node;
        std::uint32_t next;      // the next child to visit
        std::size_t pathLength;  // the length of the frame's node's path ("/" ended)
        FolderNames names;       // of the node's entries
    };
    std::vector<Frame> stack;
    std::string path = WithSlash(parentPath);
    auto enter = [&](std::uint32_t folder, const std::string& name, const std::string& saved) {
        path += saved;
        const nw::EntryRecord* record = nw::FolderOfNode(volume, folder);
        EnterFolder(name, saved, record && record->IsDeleted(), path);
        path += '/';
        FolderNames names = PlanFolderNames(volume, folder);
        SaveFolderFiles(folder, path, names);
        stack.push_back({folder, volume.tree.FirstChild(folder), path.size(), std::move(names)});
    };
    if (job_.stopRequested == 1) return;
    enter(node, folderName, savedName);
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const std::uint32_t child = frame.next;
        if (child == nw::kNoNode || job_.stopRequested == 1) {
            path.resize(frame.pathLength);
            FinishFolder(frame.node, path);
            stack.pop_back();
            continue;
        }
        frame.next = volume.tree.NextSibling(child);
        path.resize(frame.pathLength);
        const std::string name = nw::NodeText(volume, child);
        const std::string saved = frame.names.Folder(child, name);
        enter(child, name, saved);
    }
}

}  // namespace recovery
