#include "records/DirectoryListing.h"

#include <sys/stat.h>

#include "netware/FolderTree.h"
#include "netware/MountedVolume.h"
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

// Writes the listing to its fixed file; on failure the result says why.
bool WriteFixedListing(const nw::MountedVolume& volume, ListingFormat format, CommandResult* result) {
    result->path = ListingPath(format);
    std::string reason = "no folder for the listing";
    if (result->path.empty() || !WriteListingFile(volume, format, result->path, &reason)) {
        result->message = std::string(kUnableToOpenFile) + ": " + reason;
        return false;
    }
    return true;
}

}  // namespace

std::string RecordEnd(ListingFormat format) {
    return format == ListingFormat::View ? std::string("\r\n") : std::string(1, kPrintRecordEnd);
}

void WalkListing(const nw::MountedVolume& volume, std::uint32_t node,
                 const std::function<void(const std::string&)>& fn) {
    const nw::FolderTree& tree = volume.tree;
    if (node >= tree.Size()) return;
    // The "Partition" rule names the partition a root stands for; it applies
    // to the root only, so a folder whose name happens to begin with that
    // word still lists its own path.
    std::string rootPart;
    if (node == nw::kRootNode) {
        rootPart = tree.RootText();
        if (BeginsWithPartition(rootPart)) rootPart = kRootDirectoryText;
    }
    // Iterative pre-order walk: each frame holds a node's path below the
    // root (its records' parent part) and the next child to write.
    struct Frame {
        std::string parentPart;  // text before "-> " for this node's children
        std::string path;        // this node's path below the root
        std::uint32_t next;
    };
    std::vector<Frame> stack;
    {
        std::string path;
        if (node != nw::kRootNode) {
            path = nw::NodeText(volume, node);
            for (std::uint32_t p = tree.Parent(node); p != nw::kNoNode && p != nw::kRootNode; p = tree.Parent(p)) {
                std::string text = nw::NodeText(volume, p);
                if (text.empty() || text.back() != '\\') text += '\\';
                path = text + path;
            }
        }
        stack.push_back({node == nw::kRootNode ? rootPart : path, path, tree.FirstChild(node)});
    }
    while (!stack.empty()) {
        const std::uint32_t c = stack.back().next;
        if (c == nw::kNoNode) {
            stack.pop_back();
            continue;
        }
        stack.back().next = tree.NextSibling(c);
        const std::string text = nw::NodeText(volume, c);
        fn(stack.back().parentPart + kListingArrow + text);
        std::string path = JoinPath(stack.back().path, text);
        const std::uint32_t first = tree.FirstChild(c);
        if (first != nw::kNoNode) stack.push_back({path, path, first});
    }
}

std::vector<std::string> ListingRecords(const nw::MountedVolume& volume, std::uint32_t node) {
    std::vector<std::string> out;
    WalkListing(volume, node, [&](const std::string& r) { out.push_back(r); });
    return out;
}

std::string ListingPath(ListingFormat format) {
    const std::string folder = UserDataFolder();
    if (folder.empty()) return {};
    return folder + "/" + (format == ListingFormat::View ? kViewListingName : kPrintListingName);
}

bool WriteListingFile(const nw::MountedVolume& volume, ListingFormat format, const std::string& path,
                      std::string* reason) {
    ReplacingFile file;
    if (!file.Open(path, reason)) return false;
    const std::string end = RecordEnd(format);
    WalkListing(volume, nw::kRootNode, [&](const std::string& record) {
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

CommandResult ViewListing(const nw::MountedVolume& volume, FileOpener& opener) {
    CommandResult result;
    if (!WriteFixedListing(volume, ListingFormat::View, &result)) return result;
    opener.Open(result.path);
    result.done = true;
    return result;
}

CommandResult PreparePrintListing(const nw::MountedVolume& volume) {
    CommandResult result;
    result.done = WriteFixedListing(volume, ListingFormat::Print, &result);
    return result;
}

CommandResult EmailListing(const nw::MountedVolume& volume, const std::string& supportAddress) {
    CommandResult result;
    if (!WriteFixedListing(volume, ListingFormat::View, &result)) return result;
    return MailFileToSupport(result.path, kListingMailSubject, kListingMailText, supportAddress);
}

}  // namespace records
