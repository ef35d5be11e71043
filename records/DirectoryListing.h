// The folder listing: one record per parent/child pair of the directory
// tree, in pre-order, written to a fixed file in the user's data folder for
// viewing ("TreeStructView.txt", records end in CR LF), printing
// ("TreeStructPrint.dat", records end in the byte 0xE6) or mailing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace nw {
struct MountedVolume;
}

namespace records {

inline constexpr const char* kViewListingName = "TreeStructView.txt";
inline constexpr const char* kPrintListingName = "TreeStructPrint.dat";
inline constexpr const char* kRootDirectoryText = "Root Directory ";
inline constexpr const char* kListingArrow = "-> ";
constexpr char kPrintRecordEnd = '\xE6';

enum class ListingFormat { View, Print };

// The bytes that end each record of the format.
std::string RecordEnd(ListingFormat format);

// Calls fn with the text of each record below `node` of the volume's folder
// tree (every child of a node, in child order, then that child's own
// children): parent part + "-> " + child text. The parent part is the tree's
// root text for the root's children ("Root Directory " when that text begins
// with "Partition"), otherwise the parent's path below the root, "\"-joined.
void WalkListing(const nw::MountedVolume& volume, std::uint32_t node,
                 const std::function<void(const std::string&)>& fn);
std::vector<std::string> ListingRecords(const nw::MountedVolume& volume, std::uint32_t node);

// The fixed path of a listing file; empty when no user data folder exists.
std::string ListingPath(ListingFormat format);

// Writes the listing of the volume's folder tree, from its root, to `path`.
// False with a reason when it cannot be written (a previous file stays).
bool WriteListingFile(const nw::MountedVolume& volume, ListingFormat format, const std::string& path,
                      std::string* reason);

// Splits the print file back into its lines (for the printer).
std::vector<std::string> SplitPrintRecords(const std::string& bytes);

// Opens a file in the user's viewer (the desktop's "open" action).
class FileOpener {
public:
    virtual ~FileOpener() = default;
    virtual bool Open(const std::string& path) = 0;
};
// Hands the path to xdg-open (no shell involved).
class DesktopOpener : public FileOpener {
public:
    bool Open(const std::string& path) override;
};

// How a listing or report command ended.
struct CommandResult {
    bool done = false;    // handed to the viewer, the printer or the mail client
    std::string path;     // the file written or handed on
    std::string message;  // what the user is shown ("Unable to open file: ..."); empty when nothing
    int handOffStatus = 0;  // the mail hand-off program's exit status when it failed (done is then false)
};

// The commands, over a mounted volume (the caller decides when they may
// run). A listing that cannot be written is reported ("Unable to open
// file" and the reason) instead of showing or sending an older one.
//
// View: writes the view file and opens it.
CommandResult ViewListing(const nw::MountedVolume& volume, FileOpener& opener);
// Print: writes the print file; `path` is the file for the printer.
CommandResult PreparePrintListing(const nw::MountedVolume& volume);
// Email: writes the view file and mails it (subject "Tarvine Folder List")
// to `supportAddress` (the configured one; the built-in one when unusable).
CommandResult EmailListing(const nw::MountedVolume& volume, const std::string& supportAddress);

}  // namespace records
