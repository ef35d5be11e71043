// VMDK images through libvmdk: a descriptor file with its extent files, or
// a sparse or stream-optimized file holding its own descriptor; a delta
// disk reads through its parent. The extent files reach the library as
// CutShortFiles, found by their names' last part beside the descriptor; a
// sparse file that holds its own descriptor is its own single extent
// whatever name that descriptor still gives it (the file was renamed).
#define HAVE_LIBBFIO 1  // the library is built with its basic file IO
#include <libvmdk.h>

#include <mutex>

#include "disk/ContainerSupport.h"
#include "disk/Containers.h"
#include "disk/CutShortFile.h"
#include "disk/PosixFile.h"

namespace disk {

namespace {

constexpr int kOpenExtents = 16;  // extent files open at once, per image
constexpr char kSparseMagic[] = "KDMV";
constexpr char kEsxSparseMagic[] = "COWD";

std::string Take(libvmdk_error_t*& error) {
    return TakeLibraryError(error, libvmdk_error_backtrace_sprint, libvmdk_error_free);
}

std::string ParentName(libvmdk_handle_t* handle) {
    std::uint8_t name[1024] = {};
    libvmdk_error_t* error = nullptr;
    const int r = libvmdk_handle_get_utf8_parent_filename(handle, name, sizeof name, &error);
    if (error) libvmdk_error_free(&error);
    return r == 1 ? std::string(reinterpret_cast<const char*>(name)) : std::string();
}

// True when the file starts with a sparse extent's header (it then holds
// its own descriptor).
bool IsSparseFile(const std::string& path) {
    const UniqueFd fd = OpenForReading(path, FileKinds::kRegularOrBlockDevice, nullptr);
    char magic[4] = {};
    return fd.ok() && PreadAll(fd.get(), magic, sizeof magic, 0) &&
           (std::equal(magic, magic + 4, kSparseMagic) || std::equal(magic, magic + 4, kEsxSparseMagic));
}

const char* TypeName(int diskType) {
    switch (diskType) {
        case LIBVMDK_DISK_TYPE_MONOLITHIC_SPARSE: return "monolithic sparse";
        case LIBVMDK_DISK_TYPE_MONOLITHIC_FLAT: return "monolithic flat";
        case LIBVMDK_DISK_TYPE_STREAM_OPTIMIZED: return "stream-optimized";
        case LIBVMDK_DISK_TYPE_2GB_EXTENT_SPARSE: return "split sparse";
        case LIBVMDK_DISK_TYPE_2GB_EXTENT_FLAT: return "split flat";
        case LIBVMDK_DISK_TYPE_VMFS_FLAT:
        case LIBVMDK_DISK_TYPE_VMFS_FLAT_PRE_ALLOCATED:
        case LIBVMDK_DISK_TYPE_VMFS_FLAT_ZEROED: return "VMFS flat";
        case LIBVMDK_DISK_TYPE_VMFS_SPARSE:
        case LIBVMDK_DISK_TYPE_VMFS_SPARSE_THIN: return "VMFS sparse";
        default: return "other";
    }
}

class VmdkSource : public Source {
public:
    ~VmdkSource() override {
        for (Level& level : levels_) {  // the image first, then its parents
            libvmdk_error_t* error = nullptr;
            libvmdk_handle_close(level.handle, &error);
            if (error) libvmdk_error_free(&error);
        }
        for (Level& level : levels_) {
            libvmdk_handle_free(&level.handle, nullptr);
            if (level.pool) {
                libbfio_pool_close_all(level.pool, nullptr);
                libbfio_pool_free(&level.pool, nullptr);
            }
        }
    }

    bool Open(const std::string& path, std::string* reason) {
        libvmdk_handle_t* handle = OpenLevel(path, reason);
        if (!handle) return false;
        libvmdk_error_t* error = nullptr;
        size64_t size = 0;
        int diskType = 0;
        if (libvmdk_handle_get_media_size(handle, &size, &error) != 1 ||
            libvmdk_handle_get_disk_type(handle, &diskType, &error) != 1) {
            *reason = path + ": " + Take(error);
            return false;
        }
        size_ = size;
        kind_ = TypeName(diskType);
        return true;
    }

    std::uint64_t SizeBytes() const override { return size_; }
    std::string Name() const override { return "VMDK image (" + kind_ + ")"; }
    FactRows Facts() const override { return {{"Format", "VMDK (" + kind_ + ")"}}; }
    bool ReadAt(std::uint64_t offset, std::uint64_t length, void* buffer) override {
        std::lock_guard<std::mutex> lock(mutex_);
        libvmdk_handle_t* handle = levels_.front().handle;
        const bool read = ReadWhole(
            [handle](std::uint8_t* p, std::uint64_t n, std::uint64_t at) {
                libvmdk_error_t* error = nullptr;
                const ssize_t r = libvmdk_handle_read_buffer_at_offset(handle, p, n, static_cast<off64_t>(at), &error);
                if (error) libvmdk_error_free(&error);
                return r;
            },
            static_cast<std::uint8_t*>(buffer), length, offset);
        bool cutShort = false;
        for (auto& file : files_) cutShort = file->TakeCutShort() || cutShort;
        return read && !cutShort;
    }

private:
    struct Level {
        libvmdk_handle_t* handle = nullptr;
        libbfio_pool_t* pool = nullptr;  // its extent files
    };

    // The extent files of the image at `path` in a pool, one per extent of
    // its descriptor; nullptr with *reason.
    libbfio_pool_t* ExtentPool(libvmdk_handle_t* handle, const std::string& path, std::string* reason) {
        libvmdk_error_t* error = nullptr;
        int count = 0;
        if (libvmdk_handle_get_number_of_extents(handle, &count, &error) != 1) {
            *reason = path + ": " + Take(error);
            return nullptr;
        }
        libbfio_pool_t* pool = nullptr;
        if (libbfio_pool_initialize(&pool, 0, kOpenExtents, nullptr) != 1) {
            *reason = path + ": cannot set up reading";
            return nullptr;
        }
        for (int i = 0; i < count; ++i) {
            libvmdk_extent_descriptor_t* extent = nullptr;
            std::uint8_t name[1024] = {};
            int r = libvmdk_handle_get_extent_descriptor(handle, i, &extent, &error);
            if (r == 1) {
                r = libvmdk_extent_descriptor_get_utf8_filename(extent, name, sizeof name, &error);
                libvmdk_extent_descriptor_free(&extent, nullptr);
            }
            if (r == -1) {
                *reason = path + ": " + Take(error);
                break;
            }
            std::string file(reinterpret_cast<const char*>(name));
            const std::size_t cut = file.find_last_of("/\\");
            if (cut != std::string::npos) file.erase(0, cut + 1);
            // A zero extent has no file: any file fills its place in the pool.
            std::string extentPath = file.empty() ? path : Beside(path, file);
            if (count == 1 && !FileKindProblem(extentPath, FileKinds::kRegularOrBlockDevice).empty() &&
                IsSparseFile(path))
                extentPath = path;
            std::unique_ptr<CutShortFile> io = CutShortFile::Open(extentPath, reason);
            int entry = 0;
            if (!io) {
                *reason = path + ": extent file " + *reason;
                break;
            }
            if (libbfio_pool_append_handle(pool, &entry, io->Handle(), LIBBFIO_OPEN_READ, nullptr) != 1) {
                *reason = path + ": cannot set up reading";
                break;
            }
            io->ReleaseHandle();  // the pool frees it
            files_.push_back(std::move(io));
            if (i + 1 == count) return pool;
        }
        libbfio_pool_free(&pool, nullptr);
        return nullptr;
    }

    libvmdk_handle_t* OpenLevel(const std::string& path, std::string* reason) {
        const std::string problem = FileKindProblem(path, FileKinds::kRegularOrBlockDevice);
        if (!problem.empty()) {
            *reason = problem;
            return nullptr;
        }
        libvmdk_handle_t* handle = nullptr;
        libvmdk_error_t* error = nullptr;
        if (libvmdk_handle_initialize(&handle, &error) != 1) {
            *reason = path + ": " + Take(error);
            return nullptr;
        }
        if (libvmdk_handle_open(handle, path.c_str(), LIBVMDK_OPEN_READ, &error) != 1) {
            *reason = path + ": " + Take(error);
            libvmdk_handle_free(&handle, nullptr);
            return nullptr;
        }
        levels_.push_back(Level{handle, nullptr});
        levels_.back().pool = ExtentPool(handle, path, reason);
        if (!levels_.back().pool) return nullptr;
        if (libvmdk_handle_open_extent_data_files_file_io_pool(handle, levels_.back().pool, &error) != 1) {
            *reason = path + ": " + Take(error);
            return nullptr;
        }
        const std::string stored = ParentName(handle);
        if (stored.empty()) return handle;
        const std::string parentPath = ParentToOpen(path, stored, levels_.size(), reason);
        if (parentPath.empty()) return nullptr;
        libvmdk_handle_t* parent = OpenLevel(parentPath, reason);
        if (!parent) return nullptr;
        if (libvmdk_handle_set_parent_handle(handle, parent, &error) != 1) {
            *reason = path + ": " + Take(error);
            return nullptr;
        }
        return handle;
    }

    std::mutex mutex_;  // the whole chain: no handle may be read by two threads
    std::vector<Level> levels_;
    std::vector<std::unique_ptr<CutShortFile>> files_;  // outlive the pools
    std::uint64_t size_ = 0;
    std::string kind_;
};

}  // namespace

std::unique_ptr<Source> OpenVmdk(const std::string& path, std::string* reason) {
    auto source = std::make_unique<VmdkSource>();
    if (!source->Open(path, reason)) return nullptr;
    return source;
}

}  // namespace disk
