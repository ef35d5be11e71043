#include "recovery/FileViewer.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "disk/Disk.h"
#include "netware/FileReader.h"
#include "netware/MountedVolume.h"
#include "netware/Records.h"
#include "recovery/SafeFolders.h"
#include "recovery/SaveEngine.h"
#include "recovery/TargetFile.h"

namespace recovery {

namespace {

constexpr std::uint8_t kCompressedBit = 0x04;

class CopyConsumer : public nw::FileDataConsumer {
public:
    explicit CopyConsumer(TargetFile& file) : file_(file) {}
    void Deliver(const std::uint8_t* data, std::uint32_t bytes) override { file_.Write(data, bytes); }

private:
    TargetFile& file_;
};

}  // namespace

const char* ViewResultText(ViewResult result) {
    switch (result) {
        case ViewResult::Compressed: return kCannotViewCompressedText;
        case ViewResult::CannotCreate:
        case ViewResult::WriteFailed: return kCannotCreateViewText;
        case ViewResult::PathTooLong: return kViewPathTooLongText;
        case ViewResult::Opened:
        case ViewResult::TooLargeForPiece: break;
    }
    return nullptr;
}

void OpenWithShell(FileOpener& opener, const std::string& path) {
    if (opener.Open(path) == OpenResult::NoAssociation) opener.OpenWith(path);
}

PrivateViewFolder::~PrivateViewFolder() { Remove(); }

void PrivateViewFolder::SetParent(const std::string& parent) {
    std::lock_guard<std::mutex> lock(mutex_);
    parent_ = parent;
}

bool PrivateViewFolder::StillOurs() const {
    struct stat st{};
    return !path_.empty() && ::lstat(path_.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           static_cast<unsigned long long>(st.st_dev) == device_ &&
           static_cast<unsigned long long>(st.st_ino) == inode_;
}

std::string PrivateViewFolder::Path() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (StillOurs()) return path_;
    path_.clear();
    std::string parent = parent_;
    if (parent.empty()) {
        const char* tmpdir = std::getenv("TMPDIR");
        parent = tmpdir && *tmpdir ? tmpdir : "/tmp";
    }
    while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
    CreateFoldersAlong(parent);
    std::string pattern = parent + "/tarvine-view-XXXXXX";
    if (pattern.size() >= PATH_MAX) {
        errno = ENAMETOOLONG;
        return {};
    }
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data())) return {};  // mkdtemp makes it 0700
    struct stat st{};
    if (::lstat(name.data(), &st) != 0) return {};
    path_ = name.data();
    device_ = static_cast<unsigned long long>(st.st_dev);
    inode_ = static_cast<unsigned long long>(st.st_ino);
    return path_;
}

void PrivateViewFolder::Remove() {
    std::lock_guard<std::mutex> lock(mutex_);
    // Only the folder this object made: remove_all removes links
    // themselves, never what they point at.
    if (StillOurs()) {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    path_.clear();
}

ViewResult ViewFile(const nw::MountedVolume& volume, const disk::SectorReader& reader, const nw::EntryRecord& file,
                    PrivateViewFolder& folder, FileOpener& opener, std::string* copyPath) {
    if (file.attributesHigh & kCompressedBit) return ViewResult::Compressed;
    const std::string fileName = SafeName(file.name);
    if (fileName.size() > NAME_MAX) return ViewResult::PathTooLong;
    const std::string dir = folder.Path();
    if (dir.empty()) return errno == ENAMETOOLONG ? ViewResult::PathTooLong : ViewResult::CannotCreate;
    const std::string target = dir + "/" + fileName;
    if (copyPath) *copyPath = target;
    if (target.size() >= PATH_MAX) return ViewResult::PathTooLong;

    TargetFile copy;
    FolderFd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!dirFd.ok() || !copy.CreateTemporary(dirFd.get(), fileName))
        return errno == ENAMETOOLONG ? ViewResult::PathTooLong : ViewResult::CannotCreate;
    const std::uint64_t blockBytes =
        static_cast<std::uint64_t>(volume.currentVolume.sectorsPerBlock) * disk::kSectorSize;
    if (nw::IsSuballocatedPiece(file.firstBlock) && file.size > blockBytes) {
        copy.Commit(nullptr);
        return ViewResult::TooLargeForPiece;
    }
    CopyConsumer consumer(copy);
    nw::FileReader(volume, reader).ReadFileData(file.firstBlock, file.size, consumer);
    if (!copy.Commit(nullptr)) return ViewResult::WriteFailed;
    OpenWithShell(opener, target);
    return ViewResult::Opened;
}

}  // namespace recovery
