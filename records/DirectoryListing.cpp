#include "records/DirectoryListing.h"

#include <sys/stat.h>

#include "app/job/Controls.h"
#include "app/job/WizardState.h"
#include "records/ActivityLog.h"
#include "records/MailDispatch.h"
#include "records/RecoveryLog.h"
#include "records/SafeFile.h"

namespace records {

namespace {

bool BeginsWithPartition(const std::string& text) { return text.compare(0, 9, "Partition") == 0; }

std::string JoinPath(const std::string& front, const std::string& name) {
    if (front.empty()) return name;
    if (front.back() == '\\') return front + name;
    return front + "\\" + name;
}

// The step and tree every listing command needs; shows the message when
// they are missing.
job::TreeView* BrowsingTree() {
    job::WizardState& w = job::Wizard();
    job::TreeView* tree = w.directoryTree;
    if (w.currentStep.load() != 2 || !tree || !tree->Root()) {
        job::ShowMessage(kGoToStep2Text, job::MessageIcon::Error);
        return nullptr;
    }
    return tree;
}

// Writes the listing to its fixed file; reports a failure itself.
bool WriteFixedListing(job::TreeView& tree, ListingFormat format, std::string* path) {
    *path = ListingPath(format);
    std::string reason = "no folder for the listing";
    if (path->empty() || !WriteListingFile(tree, format, *path, &reason)) {
        job::ShowMessage(std::string(kUnableToOpenFile) + ": " + reason, job::MessageIcon::Error);
        return false;
    }
    return true;
}

}  // namespace

std::string RecordEnd(ListingFormat format) {
    return format == ListingFormat::View ? std::string("\r\n") : std::string(1, kPrintRecordEnd);
}

void WalkListing(job::TreeView& tree, job::TreeItem item, const std::function<void(const std::string&)>& fn) {
    if (!item) return;
    // The "Partition" rule names the partition a root stands for; it applies
    // to the root only, so a folder whose name happens to begin with that
    // word still lists its own path.
    const job::TreeItem root = tree.Root();
    std::string rootPart;
    if (item == root) {
        rootPart = tree.Text(item);
        if (BeginsWithPartition(rootPart)) rootPart = kRootDirectoryText;
    }
    // Iterative pre-order walk: each frame holds an item's path below the
    // root (its records' parent part) and the next child to write.
    struct Frame {
        std::string parentPart;  // text before "-> " for this item's children
        std::string path;        // this item's path below the root
        job::TreeItem next;
    };
    std::vector<Frame> stack;
    {
        std::string path;
        if (item != root) {
            path = tree.Text(item);
            for (job::TreeItem p = tree.Parent(item); p && p != root; p = tree.Parent(p)) {
                std::string text = tree.Text(p);
                if (text.empty() || text.back() != '\\') text += '\\';
                path = text + path;
            }
        }
        stack.push_back({item == root ? rootPart : path, path, tree.FirstChild(item)});
    }
    while (!stack.empty()) {
        job::TreeItem c = stack.back().next;
        if (!c) {
            stack.pop_back();
            continue;
        }
        stack.back().next = tree.NextSibling(c);
        const std::string text = tree.Text(c);
        fn(stack.back().parentPart + kListingArrow + text);
        std::string path = JoinPath(stack.back().path, text);
        job::TreeItem first = tree.FirstChild(c);
        if (first) stack.push_back({path, path, first});
    }
}

std::vector<std::string> ListingRecords(job::TreeView& tree, job::TreeItem item) {
    std::vector<std::string> out;
    WalkListing(tree, item, [&](const std::string& r) { out.push_back(r); });
    return out;
}

std::string ListingPath(ListingFormat format) {
    const std::string folder = UserDataFolder();
    if (folder.empty()) return {};
    return folder + "/" + (format == ListingFormat::View ? kViewListingName : kPrintListingName);
}

bool WriteListingFile(job::TreeView& tree, ListingFormat format, const std::string& path, std::string* reason) {
    ReplacingFile file;
    if (!file.Open(path, reason)) return false;
    const std::string end = RecordEnd(format);
    WalkListing(tree, tree.Root(), [&](const std::string& record) {
        file.Write(record);
        file.Write(end);
    });
    return file.Commit(reason);
}

std::vector<std::string> SplitPrintRecords(const std::string& bytes) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : bytes) {
        if (c == kPrintRecordEnd) {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    // Bytes after the last separator are never printed.
    return lines;
}

bool DesktopOpener::Open(const std::string& path) { return RunProgram({"xdg-open", path}) == 0; }

bool ViewListing(FileOpener& opener) {
    job::TreeView* tree = BrowsingTree();
    if (!tree) return false;
    std::string path;
    if (!WriteFixedListing(*tree, ListingFormat::View, &path)) return false;
    opener.Open(path);
    return true;
}

bool PreparePrintListing(std::string* path) {
    job::TreeView* tree = BrowsingTree();
    if (!tree) return false;
    std::string written;
    if (!WriteFixedListing(*tree, ListingFormat::Print, &written)) return false;
    if (path) *path = written;
    return true;
}

bool EmailListing() {
    job::TreeView* tree = BrowsingTree();
    if (!tree) return false;
    std::string path;
    if (!WriteFixedListing(*tree, ListingFormat::View, &path)) return false;
    return MailFileToSupport(path, kListingMailSubject, kListingMailText);
}

}  // namespace records
