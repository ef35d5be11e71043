#include "recovery/FileViewer.h"

#include <fcntl.h>
#include <limits.h>

#include <cerrno>
#include <filesystem>

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

std::string ViewFolder(const std::string& tempFolder) {
    if (!tempFolder.empty()) return tempFolder;
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::temp_directory_path(ec);
    return ec ? std::string("/tmp") : p.string();
}

ViewResult ViewFile(const nw::MountedVolume& volume, const disk::SectorReader& reader, const nw::EntryRecord& file,
                    const std::string& folder, FileOpener& opener, std::string* copyPath) {
    if (file.attributesHigh & kCompressedBit) return ViewResult::Compressed;
    const std::string dir = (!folder.empty() && folder.back() == '/') ? folder : folder + "/";
    const std::string fileName = SafeName(file.name);
    const std::string target = dir + fileName;
    if (copyPath) *copyPath = target;
    if (target.size() >= PATH_MAX || fileName.size() > NAME_MAX) return ViewResult::PathTooLong;
    CreateFoldersAlong(dir);

    TargetFile copy;
    FolderFd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dirFd.ok() || !copy.Create(dirFd.get(), fileName))
        return errno == ENAMETOOLONG ? ViewResult::PathTooLong : ViewResult::CannotCreate;
    const std::uint64_t blockBytes =
        static_cast<std::uint64_t>(volume.currentVolume.sectorsPerBlock) * disk::kSectorSize;
    if (nw::IsSuballocatedPiece(file.firstBlock) && file.size > blockBytes) {
        copy.Close();
        return ViewResult::TooLargeForPiece;
    }
    CopyConsumer consumer(copy);
    nw::FileReader(volume, reader).ReadFileData(file.firstBlock, file.size, consumer);
    if (!copy.Close()) return ViewResult::WriteFailed;
    OpenWithShell(opener, target);
    return ViewResult::Opened;
}

}  // namespace recovery
