// Viewing a file of the mounted volume: its data is copied into the
// session's private viewing folder under the file's own name, and the copy
// is handed to the desktop's opener (the desktop program uses xdg-open;
// when no application is associated it offers a choice of program).
#pragma once

#include <cstdint>
#include <mutex>
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

// The private folder the copies of viewed files go to: made on first use
// with mkdtemp below the parent folder (empty: $TMPDIR, else /tmp; a
// missing parent is created), mode 0700, so that no other user can read a
// copy or plant anything in it; made anew when it has gone or is no longer
// the folder made. Removed with everything in it when the object is
// destroyed (links in it are removed, never followed).
class PrivateViewFolder {
public:
    PrivateViewFolder() = default;
    ~PrivateViewFolder();
    PrivateViewFolder(const PrivateViewFolder&) = delete;
    PrivateViewFolder& operator=(const PrivateViewFolder&) = delete;

    // The folder the next one is made in; the one already made stays.
    void SetParent(const std::string& parent);
    // The folder, made when needed; empty (errno set) when it cannot be made.
    std::string Path();
    // Removes the folder and its content now; the next Path makes another.
    void Remove();

private:
    bool StillOurs() const;

    std::mutex mutex_;
    std::string parent_;
    std::string path_;
    unsigned long long device_ = 0;
    unsigned long long inode_ = 0;
};

// Copies a file of the mounted volume into `folder` (made when first
// needed) and opens the copy. The copy is written under a temporary name
// and renamed over what lies under the file's name, so an earlier copy, or
// a link, is replaced, never written through. A compressed file is refused
// before the folder is made. A whole-file piece larger than one block
// leaves an empty copy that is not opened.
ViewResult ViewFile(const nw::MountedVolume& volume, const disk::SectorReader& reader, const nw::EntryRecord& file,
                    PrivateViewFolder& folder, FileOpener& opener, std::string* copyPath = nullptr);

}  // namespace recovery
