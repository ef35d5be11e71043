// The folder listing: one record per parent/child pair of the directory
// tree, in pre-order, written to a fixed file in the user's data folder for
// viewing ("TreeStructView.txt", records end in CR LF), printing
// ("TreeStructPrint.dat", records end in the byte 0xE6) or mailing.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/job/Tree.h"

namespace records {

inline constexpr const char* kViewListingName = "TreeStructView.txt";
inline constexpr const char* kPrintListingName = "TreeStructPrint.dat";
inline constexpr const char* kRootDirectoryText = "Root Directory ";
inline constexpr const char* kListingArrow = "-> ";
inline constexpr const char* kGoToStep2Text = "Go to step 2 and then use this option";
constexpr char kPrintRecordEnd = '\xE6';

enum class ListingFormat { View, Print };

// The bytes that end each record of the format.
std::string RecordEnd(ListingFormat format);

// Calls fn with the text of each record below `item` (every child of an item,
// in child order, then that child's own children): parent part + "-> " +
// child text. The parent part is the root's own text for the root's children
// ("Root Directory " when that text begins with "Partition"), otherwise the
// parent's path below the root, "\"-joined.
void WalkListing(job::TreeView& tree, job::TreeItem item, const std::function<void(const std::string&)>& fn);
std::vector<std::string> ListingRecords(job::TreeView& tree, job::TreeItem item);

// The fixed path of a listing file; empty when no user data folder exists.
std::string ListingPath(ListingFormat format);

// Writes the listing of the directory tree, from its root item, to `path`.
// False with a reason when it cannot be written (a previous file stays).
bool WriteListingFile(job::TreeView& tree, ListingFormat format, const std::string& path, std::string* reason);

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

// The commands. Each needs the browsing step and a folder tree, else shows
// "Go to step 2 and then use this option". A listing that cannot be written
// is reported ("Unable to open file" and the reason) instead of showing or
// sending an older one. Return false when nothing was handed on.
//
// View: writes the view file and opens it.
bool ViewListing(FileOpener& opener);
// Print: writes the print file; *path is the file for the printer.
bool PreparePrintListing(std::string* path);
// Email: writes the view file and mails it (subject "Tarvine Folder List").
bool EmailListing();

}  // namespace records
