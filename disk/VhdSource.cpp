// VHD and VHDX images through libvhdi. The blocks of a dynamic or
// differencing VHD are read from the file as its block table and sector
// bitmaps say (see VhdSectorMap.h): a differencing image's sectors from the
// image of the chain that holds them. The images of a chain are read behind
// one lock.
#include <libvhdi.h>

#include <algorithm>
#include <mutex>

#include "disk/ContainerSupport.h"
#include "disk/Containers.h"
#include "disk/PosixFile.h"
#include "disk/VhdSectorMap.h"

namespace disk {

namespace {

constexpr std::uint64_t kSector = 512;

std::string Take(libvhdi_error_t*& error) {
    return TakeLibraryError(error, libvhdi_error_backtrace_sprint, libvhdi_error_free);
}

bool Read(libvhdi_file_t* file, std::uint8_t* out, std::uint64_t length, std::uint64_t offset) {
    return ReadWhole(
        [file](std::uint8_t* p, std::uint64_t n, std::uint64_t at) {
            libvhdi_error_t* error = nullptr;
            const ssize_t r = libvhdi_file_read_buffer_at_offset(file, p, n, static_cast<off64_t>(at), &error);
            if (error) libvhdi_error_free(&error);
            return r;
        },
        out, length, offset);
}

std::string ParentName(libvhdi_file_t* file) {
    std::uint8_t name[1024] = {};
    libvhdi_error_t* error = nullptr;
    const int r = libvhdi_file_get_utf8_parent_filename(file, name, sizeof name, &error);
    if (error) libvhdi_error_free(&error);
    return r == 1 ? std::string(reinterpret_cast<const char*>(name)) : std::string();
}

const char* TypeName(std::uint32_t diskType) {
    switch (diskType) {
        case LIBVHDI_DISK_TYPE_FIXED: return "fixed";
        case LIBVHDI_DISK_TYPE_DYNAMIC: return "dynamic";
        case LIBVHDI_DISK_TYPE_DIFFERENTIAL: return "differencing";
        default: return "unknown kind";
    }
}

class VhdSource : public Source {
public:
    ~VhdSource() override {
        for (Level& level : levels_) {  // the child first, then its parents
            libvhdi_error_t* error = nullptr;
            libvhdi_file_close(level.file, &error);
            if (error) libvhdi_error_free(&error);
            libvhdi_file_free(&level.file, nullptr);
        }
    }

    // Opens `path` and, for a differencing image, its parents.
    bool Open(const std::string& path, std::string* reason) {
        libvhdi_file_t* file = OpenLevel(path, reason);
        if (!file) return false;
        libvhdi_error_t* error = nullptr;
        size64_t size = 0;
        if (libvhdi_file_get_media_size(file, &size, &error) != 1) {
            *reason = path + ": " + Take(error);
            return false;
        }
        size_ = size;
        return true;
    }

    std::uint64_t SizeBytes() const override { return size_; }
    std::string Name() const override { return format_ + " image (" + kind_ + ")"; }
    FactRows Facts() const override { return {{"Format", format_ + " (" + kind_ + ")"}}; }
    bool ReadAt(std::uint64_t offset, std::uint64_t length, void* buffer) override {
        std::lock_guard<std::mutex> lock(mutex_);
        return ReadLevel(0, offset, length, static_cast<std::uint8_t*>(buffer));
    }

private:
    struct Level {
        libvhdi_file_t* file = nullptr;
        std::unique_ptr<VhdSectorMap> map;  // the blocks of a dynamic or differencing VHD
    };

    libvhdi_file_t* OpenLevel(const std::string& path, std::string* reason) {
        const std::string problem = FileKindProblem(path, FileKinds::kRegularOrBlockDevice);
        if (!problem.empty()) {
            *reason = problem;
            return nullptr;
        }
        libvhdi_file_t* file = nullptr;
        libvhdi_error_t* error = nullptr;
        if (libvhdi_file_initialize(&file, &error) != 1) {
            *reason = path + ": " + Take(error);
            return nullptr;
        }
        if (libvhdi_file_open(file, path.c_str(), LIBVHDI_OPEN_READ, &error) != 1) {
            *reason = path + ": " + Take(error);
            libvhdi_file_free(&file, nullptr);
            return nullptr;
        }
        levels_.push_back(Level{file, nullptr});
        std::uint32_t diskType = 0;
        int fileType = 0;
        if (libvhdi_file_get_disk_type(file, &diskType, &error) != 1 ||
            libvhdi_file_get_file_type(file, &fileType, &error) != 1) {
            *reason = path + ": " + Take(error);
            return nullptr;
        }
        if (levels_.size() == 1) {
            format_ = fileType == LIBVHDI_FILE_TYPE_VHDX ? "VHDX" : "VHD";
            kind_ = TypeName(diskType);
        }
        if (fileType == LIBVHDI_FILE_TYPE_VHD && diskType != LIBVHDI_DISK_TYPE_FIXED) {
            auto map = std::make_unique<VhdSectorMap>();
            if (!map->Load(path, reason)) return nullptr;
            levels_.back().map = std::move(map);
        }
        if (diskType != LIBVHDI_DISK_TYPE_DIFFERENTIAL) return file;
        const std::string stored = ParentName(file);
        const std::string parentPath = ParentToOpen(path, stored, levels_.size(), reason);
        if (parentPath.empty()) return nullptr;
        libvhdi_file_t* parent = OpenLevel(parentPath, reason);
        if (!parent) return nullptr;
        if (libvhdi_file_set_parent_file(file, parent, &error) != 1) {
            *reason = path + ": " + Take(error);
            return nullptr;
        }
        return file;
    }

    // Reads through image `i` of the chain: the sectors a VHD's blocks hold
    // from its file, the others from its parent (zeros without one).
    bool ReadLevel(std::size_t i, std::uint64_t offset, std::uint64_t length, std::uint8_t* out) {
        Level& level = levels_[i];
        if (!level.map) return Read(level.file, out, length, offset);
        while (length > 0) {
            const std::uint64_t within = offset % kSector;
            std::uint64_t run = 0, fileByte = 0;
            bool inImage = false;
            if (!level.map->Run(offset / kSector, (within + length + kSector - 1) / kSector, &run, &inImage, &fileByte))
                return false;
            const std::uint64_t take = std::min(length, run * kSector - within);
            if (inImage) {
                if (!level.map->ReadFile(fileByte + within, take, out)) return false;
            } else if (i + 1 < levels_.size()) {
                if (!ReadLevel(i + 1, offset, take, out)) return false;
            } else {
                std::fill(out, out + take, std::uint8_t{0});
            }
            out += take;
            offset += take;
            length -= take;
        }
        return true;
    }

    std::mutex mutex_;  // the whole chain: no handle may be read by two threads
    std::vector<Level> levels_;
    std::uint64_t size_ = 0;
    std::string format_, kind_;
};

}  // namespace

std::unique_ptr<Source> OpenVhd(const std::string& path, std::string* reason) {
    auto source = std::make_unique<VhdSource>();
    if (!source->Open(path, reason)) return nullptr;
    return source;
}

}  // namespace disk
