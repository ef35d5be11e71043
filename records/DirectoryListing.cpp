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
    // Iterative pre-order walk over one path string: each frame holds the
    // length of its node's path below the root (its records' parent part)
    // and the next child to write, so memory grows with the depth only.
    struct Frame {
        std::size_t pathLength;
        std::uint32_t next;
    };
    std::string path = node == nw::kRootNode ? std::string() : nw::NodePath(volume, node);
    std::string record;
    std::vector<Frame> stack{{path.size(), tree.FirstChild(node)}};
    while (!stack.empty()) {
        Frame& top = stack.back();
        const std::uint32_t c = top.next;
        if (c == nw::kNoNode) {
            stack.pop_back();
            continue;
        }
        top.next = tree.NextSibling(c);
        path.resize(top.pathLength);
        const std::string text = nw::NodeText(volume, c);
        if (stack.size() == 1 && node == nw::kRootNode)
            record = rootPart;
        else
            record.assign(path);
        record += kListingArrow;
        record += text;
        fn(record);
        const std::uint32_t first = tree.FirstChild(c);
        if (first == nw::kNoNode) continue;
        if (!path.empty() && path.back() != '\\') path += '\\';
        path += text;
        stack.push_back({path.size(), first});
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
