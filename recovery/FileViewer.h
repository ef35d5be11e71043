// Viewing a file of the mounted volume: its data is copied into the
// temporary folder under the file's own name, and the copy is handed to the
// desktop's opener (the desktop program uses xdg-open; when no application
// is associated it offers a choice of program).
#pragma once

#include <cstdint>
#include <string>

namespace disk {
class SectorReader;
}
namespace nw {
struct EntryRecord;
struct MountedVolume;
}  // namespace nw

namespace recovery {

inline constexpr const char* kCannotViewCompressedText = "Can not view compressed file directly";
inline constexpr const char* kCannotCreateViewText = "Can not create file to view";
inline constexpr const char* kViewPathTooLongText =
    "Can not create file to view. The path of the temporary copy is too long.";

enum class OpenResult { Opened, NoAssociation, Failed };

class FileOpener {
public:
    virtual ~FileOpener() = default;
    // Opens the file in the application associated with it.
    virtual OpenResult Open(const std::string& path) = 0;
    // Lets the user choose the program ("Open With").
    virtual void OpenWith(const std::string& path) = 0;
};

// Opens through the opener; when no application is associated, offers the
// choice of program. Other failures end silently.
void OpenWithShell(FileOpener& opener, const std::string& path);

enum class ViewResult { Opened, Compressed, CannotCreate, PathTooLong, WriteFailed, TooLargeForPiece };

// The message the user is shown for a result (nullptr for Opened and
// TooLargeForPiece, which show nothing).
const char* ViewResultText(ViewResult result);

// Copies a file of the mounted volume into `folder` (created when missing)
// and opens the copy. A compressed file is refused before the folder is
// touched. A whole-file piece larger than one block leaves an empty copy
// that is not opened.
ViewResult ViewFile(const nw::MountedVolume& volume, const disk::SectorReader& reader, const nw::EntryRecord& file,
                    const std::string& folder, FileOpener& opener, std::string* copyPath = nullptr);

// The folder copies go to: the session's temporary folder, else the system's.
std::string ViewFolder(const std::string& tempFolder);

}  // namespace recovery
