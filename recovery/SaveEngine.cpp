// The save job's drivers: counting, the tree-source and list-source walks,
// folder creation and the names taken from the disk.
#include "recovery/SaveEngine.h"

#include <sys/stat.h>

#include <charconv>
#include <ctime>
#include <deque>
#include <thread>

#include "app/job/Controls.h"
#include "app/job/WizardState.h"
#include "app/job/Worker.h"
#include "netware/TreeModel.h"
#include "records/ActivityLog.h"
#include "recovery/SafeFolders.h"
#include "recovery/SaveSettings.h"

namespace recovery {

namespace {

std::int64_t SystemClock() { return static_cast<std::int64_t>(std::time(nullptr)); }
ClockFn gClock = &SystemClock;

job::TreeView* Tree() { return job::Wizard().directoryTree; }

bool RowChosen(DetailsRows& rows, std::size_t row) {
    switch (CurrentSaveSettings().selectionMode) {
        case kSelectedRows: return rows.IsSelected(row);
        case kInvertSelection: return !rows.IsSelected(row);
        default: return true;
    }
}

bool ParseKey(const std::string& text, std::uint64_t* out) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(first, last, *out);
    return ec == std::errc() && ptr == last && first != last;
}

// The folder item a folder row's key names, only when a folder record shows it.
job::TreeItem FolderItemOfKey(std::uint64_t key) {
    job::TreeItem item = reinterpret_cast<job::TreeItem>(static_cast<std::uintptr_t>(key));
    return (item && nw::FindFolderByTreeItem(item)) ? item : nullptr;
}

std::string WithSlash(const std::string& path) {
    return (!path.empty() && path.back() == '/') ? path : path + "/";
}

bool IsFolder(const std::string& path) {
    const FolderFd fd = OpenFolderPath(path, false);
    return fd.ok();
}

void CountFile(const nw::EntryRecord& r) {
    SaveJob& j = CurrentSaveJob();
    j.totalBytes += r.size;
    ++j.totalFiles;
    ProgressView().CountingProgress(j.totalFiles);
}

// Counts a folder row's branch: every file of the folder and of each folder
// item below it, checked or not.
bool CountBranch(job::TreeItem top) {
    SaveJob& j = CurrentSaveJob();
    job::TreeView* tree = Tree();
    auto& files = job::Wizard().FileList;
    std::deque<job::TreeItem> pending{top};
    while (!pending.empty()) {
        job::TreeItem item = pending.front();
        pending.pop_front();
        for (std::size_t i : files.ChildrenOf(nw::FolderNumberOfItem(item))) {
            if (j.countingStopRequested) return false;
            CountFile(files[i]);
        }
        if (!tree) continue;
        // Children first, in tree order: depth first.
        std::deque<job::TreeItem> children;
        for (job::TreeItem c = tree->FirstChild(item); c; c = tree->NextSibling(c)) children.push_back(c);
        pending.insert(pending.begin(), children.begin(), children.end());
    }
    return true;
}

}  // namespace

void SetSaveClock(ClockFn clock) { gClock = clock ? clock : &SystemClock; }
std::int64_t SaveClockNow() { return gClock(); }

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

std::string SafeNameReported(const std::string& name) {
    std::string safe = SafeName(name);
    if (safe == name) return safe;
    SaveJob& j = CurrentSaveJob();
    if (j.renamedNames.insert(name).second) {
        std::string shown;
        for (char c : name) {
            if (c == '\0') shown += "\\0";
            else shown += c;
        }
        records::AppendActivityLog("Name \"" + shown + "\" from the disk saved as \"" + safe + "\"\r\n");
    }
    return safe;
}

std::string ItemDestinationPath(const std::string& destinationFolder, job::TreeItem item) {
    job::TreeView* tree = Tree();
    std::deque<std::string> parts;
    if (tree)
        for (job::TreeItem it = item; it && tree->Parent(it); it = tree->Parent(it))
            parts.push_front(SafeNameReported(tree->Text(it)));
    std::string path = WithSlash(destinationFolder);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i) path += '/';
        path += parts[i];
    }
    return path;
}

void CreateFolderPath(const std::string& path) { (void)OpenFolderPath(path, true); }

bool SaveCommandAllowed(bool fromSaveDataButton) {
    if (job::Wizard().currentStep >= 2) return true;
    if (fromSaveDataButton) job::ShowMessage(kGoToStep2Text, job::MessageIcon::Error);
    return false;
}

// ---- counting ----------------------------------------------------------------------

void CountSelection() {
    SaveJob& j = CurrentSaveJob();
    j.totalFiles = 0;
    j.totalBytes = 0;
    j.savedBytes = 0;
    auto& w = job::Wizard();
    if (j.source == kTreeSource) {
        for (const nw::EntryRecord& r : w.FileList) {
            if (j.countingStopRequested) return;
            if (r.checked == 1) CountFile(r);
        }
        return;
    }
    DetailsRows* rows = InstalledDetailsRows();
    if (!rows) return;
    const std::size_t n = rows->RowCount();
    for (std::size_t i = 0; i < n; ++i) {
        if (j.countingStopRequested) return;
        if (!RowChosen(*rows, i)) continue;
        if (rows->Cell(i, 1) != nw::kFolderTypeText) {
            std::uint64_t size = 0;
            if (ParseKey(rows->Cell(i, 2), &size)) j.totalBytes += size;
            ++j.totalFiles;
            ProgressView().CountingProgress(j.totalFiles);
            continue;
        }
        std::uint64_t key = 0;
        if (!ParseKey(rows->Cell(i, 5), &key)) continue;
        if (job::TreeItem item = FolderItemOfKey(key))
            if (!CountBranch(item)) return;
    }
}

void RunCountingWorker() {
    SaveJob& j = CurrentSaveJob();
    j.countingStopRequested = 0;
    j.countingState = kCountingRunning;
    ProgressView().CountingStarted();
    std::thread counting([&j] {
        CountSelection();
        int running = kCountingRunning;
        j.countingState.compare_exchange_strong(running, kCountingDone);
    });
    counting.join();
    j.countingState = kCountingIdle;
    ProgressView().CountingFinished();
}

bool RequestCountingStop() {
    const job::MessageAnswer a =
        job::ShowMessage(kTerminateCountingQuestion, job::MessageIcon::Question, job::MessageButtons::YesNo);
    if (a != job::MessageAnswer::Yes) return false;
    SaveJob& j = CurrentSaveJob();
    j.countingStopRequested = 1;
    j.countingState = kCountingIdle;
    return true;
}

void RequestStop() { CurrentSaveJob().stopRequested = 1; }
void RequestSkip() { CurrentSaveJob().skipRequested = 1; }

// ---- the worker --------------------------------------------------------------------

void SaveWorker() {
    SaveJob& j = CurrentSaveJob();
    j.stopRequested = 0;
    j.renamedNames.clear();
    RunCountingWorker();
    j.jobFinished = 0;
    j.replacePolicy = kReplaceAsk;
    if (j.source == kTreeSource) SaveCheckedTree();
    else SaveListSelection();
    j.stopRequested = 0;
    j.jobFinished = 1;
    ProgressView().JobFinished();
}

void StartSaveWorker() { job::StartWorker(CurrentSaveJob().saveWorker, &SaveWorker); }
void WaitForSaveWorker() { job::WaitForWorker(CurrentSaveJob().saveWorker); }

// ---- tree source -------------------------------------------------------------------

void SaveCheckedTree() {
    SaveJob& j = CurrentSaveJob();
    j.checkedFolderCount = 0;
    j.startTime = gClock();
    if (j.destinationPath.size() > kDestinationPathMax) j.destinationPath.resize(kDestinationPathMax);
    j.destinationPath = WithSlash(j.destinationPath);
    j.filesStarted = 0;
    SetDestinationRoot(j.destinationPath);
    CreateFolderPath(j.destinationPath);
    if (!IsFolder(j.destinationPath)) {
        job::ShowMessage(kInvalidPathText, job::MessageIcon::Error);
        return;
    }
    // The files lying in the volume's root folder go into the destination
    // folder itself when the root is checked.
    if (job::TreeView* tree = Tree()) {
        job::TreeItem root = tree->Root();
        if (root && tree->StateImage(root) != job::kUnchecked) {
            ++j.checkedFolderCount;
            SaveFolderFiles(root, j.destinationPath);
        }
    }
    SaveTreeBranch(nullptr);
    if (j.checkedFolderCount == 0) job::ShowMessage(kNoFolderSelectedText, job::MessageIcon::Error);
}

void SaveTreeBranch(job::TreeItem item) {
    SaveJob& j = CurrentSaveJob();
    job::TreeView* tree = Tree();
    if (!tree) return;
    if (!item) item = tree->Root();
    if (!item || tree->StateImage(item) == job::kUnchecked) return;
    for (job::TreeItem child = tree->FirstChild(item); child && j.stopRequested != 1; child = tree->NextSibling(child)) {
        if (tree->StateImage(child) != job::kUnchecked) {
            ++j.checkedFolderCount;
            const std::string path = ItemDestinationPath(j.destinationPath, child);
            CreateFolderPath(path);
            SaveFolderFiles(child, path);
        }
        SaveTreeBranch(child);
    }
}

void SaveFolderFiles(job::TreeItem folderItem, const std::string& folderPath) {
    SaveJob& j = CurrentSaveJob();
    auto& files = job::Wizard().FileList;
    const std::uint32_t number = nw::FolderNumberOfItem(folderItem);
    for (std::size_t i : files.ChildrenOf(number)) {
        if (j.stopRequested == 1) return;
        const nw::EntryRecord& r = files[i];
        if (j.source == kTreeSource && r.checked != 1) continue;
        SaveOneFile(r.size, r.firstBlock, folderPath, r.name, r.attributesHigh, r.deletedMarker, r.timestamp);
    }
}

// ---- list source -------------------------------------------------------------------

void SaveListSelection() {
    SaveJob& j = CurrentSaveJob();
    j.startTime = gClock();
    if (j.destinationPath.size() > kDestinationPathMax) j.destinationPath.resize(kDestinationPathMax);
    const std::string folder = WithSlash(j.destinationPath);
    j.filesStarted = 0;
    SetDestinationRoot(folder);
    CreateFolderPath(folder);
    if (!IsFolder(folder)) {
        job::ShowMessage(kInvalidPathText, job::MessageIcon::Error);
        return;
    }
    DetailsRows* rows = InstalledDetailsRows();
    if (!rows) return;
    const std::size_t n = rows->RowCount();
    for (std::size_t i = 0; i < n && j.stopRequested != 1; ++i) {
        if (!RowChosen(*rows, i)) continue;
        std::uint64_t key = 0;
        if (!ParseKey(rows->Cell(i, 5), &key)) continue;
        if (rows->Cell(i, 1) != nw::kFolderTypeText) {
            if (key > 0xFFFFFFFFu) continue;
            if (const nw::EntryRecord* r = nw::FindFileByOrdinal(static_cast<std::uint32_t>(key)))
                SaveOneFile(r->size, r->firstBlock, folder, r->name, r->attributesHigh, r->deletedMarker, r->timestamp);
        } else if (job::TreeItem item = FolderItemOfKey(key)) {
            SaveListFolder(item, folder, nw::FindFolderByTreeItem(item)->name);
        }
    }
}

void SaveListFolder(job::TreeItem folderItem, const std::string& parentPath, const std::string& folderName) {
    SaveJob& j = CurrentSaveJob();
    if (j.stopRequested == 1) return;
    std::string path = WithSlash(parentPath) + SafeNameReported(folderName);
    CreateFolderPath(path);
    path += '/';
    SaveFolderFiles(folderItem, path);
    job::TreeView* tree = Tree();
    if (!tree) return;
    for (job::TreeItem child = tree->FirstChild(folderItem); child; child = tree->NextSibling(child))
        SaveListFolder(child, path, tree->Text(child));
}

}  // namespace recovery
