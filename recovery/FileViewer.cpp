#include "recovery/FileViewer.h"

#include <fcntl.h>
#include <limits.h>

#include <cerrno>
#include <filesystem>

#include "app/job/Controls.h"
#include "app/job/WizardState.h"
#include "disk/SectorReader.h"
#include "netware/FileReader.h"
#include "netware/Records.h"
#include "recovery/SafeFolders.h"
#include "recovery/SaveEngine.h"
#include "recovery/TargetFile.h"

namespace recovery {

namespace {

class CopyConsumer : public nw::FileDataConsumer {
public:
    explicit CopyConsumer(TargetFile& file) : file_(file) {}
    void Deliver(const std::uint8_t* data, std::uint32_t bytes) override { file_.Write(data, bytes); }

private:
    TargetFile& file_;
};

void Refuse(const char* text) { job::ShowMessage(text, job::MessageIcon::Error); }

}  // namespace

void OpenWithShell(FileOpener& opener, const std::string& path) {
    if (opener.Open(path) == OpenResult::NoAssociation) opener.OpenWith(path);
}

std::string ViewFolder() {
    const std::string& t = job::Wizard().tempFolder;
    if (!t.empty()) return t;
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::temp_directory_path(ec);
    return ec ? std::string("/tmp") : p.string();
}

ViewResult ViewFile(std::uint32_t size, std::uint32_t firstBlock, const std::string& folder, const std::string& name,
                    std::uint8_t attributesHigh, FileOpener& opener, std::string* copyPath) {
    if (attributesHigh & 0x04) {
        Refuse(kCannotViewCompressedText);
        return ViewResult::Compressed;
    }
    const std::string dir = (!folder.empty() && folder.back() == '/') ? folder : folder + "/";
    const std::string fileName = SafeName(name);
    const std::string target = dir + fileName;
    if (copyPath) *copyPath = target;
    if (target.size() >= PATH_MAX || fileName.size() > NAME_MAX) {
        Refuse(kViewPathTooLongText);
        return ViewResult::PathTooLong;
    }
    CreateFoldersAlong(dir);

    TargetFile file;
    FolderFd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dirFd.ok() || !file.Create(dirFd.get(), fileName)) {
        Refuse(errno == ENAMETOOLONG ? kViewPathTooLongText : kCannotCreateViewText);
        return errno == ENAMETOOLONG ? ViewResult::PathTooLong : ViewResult::CannotCreate;
    }
    const std::uint64_t blockBytes =
        static_cast<std::uint64_t>(job::Wizard().currentVolume.sectorsPerBlock) * disk::kSectorSize;
    if (nw::IsSuballocatedPiece(firstBlock) && size > blockBytes) {
        file.Close();
        return ViewResult::TooLargeForPiece;
    }
    CopyConsumer consumer(file);
    nw::ReadFileData(firstBlock, size, consumer);
    if (!file.Close()) {
        Refuse(kCannotCreateViewText);
        return ViewResult::WriteFailed;
    }
    OpenWithShell(opener, target);
    return ViewResult::Opened;
}

}  // namespace recovery
