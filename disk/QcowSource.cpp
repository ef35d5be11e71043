// QCOW images (versions 1, 2 and 3) through libqcow, with their backing
// files beside them. Each file reaches the library through a CutShortFile:
// the library reads a cluster that a truncated file cuts short as if its
// missing bytes were zeros, and such a read fails here instead.
// The library is built with its basic file IO; its header declares the
// functions that take a file IO handle only when told so.
#define HAVE_LIBBFIO 1
#include <libqcow.h>

#include <mutex>

#include "disk/ContainerSupport.h"
#include "disk/Containers.h"
#include "disk/CutShortFile.h"
#include "disk/PosixFile.h"

namespace disk {

namespace {

std::string Take(libqcow_error_t*& error) {
    return TakeLibraryError(error, libqcow_error_backtrace_sprint, libqcow_error_free);
}

std::string BackingName(libqcow_file_t* file) {
    std::uint8_t name[1024] = {};
    libqcow_error_t* error = nullptr;
    const int r = libqcow_file_get_utf8_backing_filename(file, name, sizeof name, &error);
    if (error) libqcow_error_free(&error);
    return r == 1 ? std::string(reinterpret_cast<const char*>(name)) : std::string();
}

class QcowSource : public Source {
public:
    ~QcowSource() override {
        for (Level& level : levels_) {  // the image first, then its backing files
            libqcow_error_t* error = nullptr;
            libqcow_file_close(level.file, &error);
            if (error) libqcow_error_free(&error);
        }
        for (Level& level : levels_) libqcow_file_free(&level.file, nullptr);
    }

    bool Open(const std::string& path, std::string* reason) {
        libqcow_file_t* file = OpenLevel(path, reason);
        if (!file) return false;
        libqcow_error_t* error = nullptr;
        size64_t size = 0;
        std::uint32_t version = 0;
        if (libqcow_file_get_media_size(file, &size, &error) != 1 ||
            libqcow_file_get_format_version(file, &version, &error) != 1) {
            *reason = path + ": " + Take(error);
            return false;
        }
        size_ = size;
        format_ = version == 1 ? "QCOW" : "QCOW2";
        version_ = version;
        return true;
    }

    std::uint64_t SizeBytes() const override { return size_; }
    std::string Name() const override { return format_ + " image"; }
    FactRows Facts() const override { return {{"Format", format_ + " (version " + std::to_string(version_) + ")"}}; }
    bool ReadAt(std::uint64_t offset, std::uint64_t length, void* buffer) override {
        std::lock_guard<std::mutex> lock(mutex_);
        libqcow_file_t* file = levels_.front().file;
        const bool read = ReadWhole(
            [file](std::uint8_t* p, std::uint64_t n, std::uint64_t at) {
                libqcow_error_t* error = nullptr;
                const ssize_t r = libqcow_file_read_buffer_at_offset(file, p, n, static_cast<off64_t>(at), &error);
                if (error) libqcow_error_free(&error);
                return r;
            },
            static_cast<std::uint8_t*>(buffer), length, offset);
        bool cutShort = false;
        for (Level& level : levels_) cutShort = level.io->TakeCutShort() || cutShort;
        return read && !cutShort;
    }

private:
    struct Level {
        std::unique_ptr<CutShortFile> io;
        libqcow_file_t* file = nullptr;
    };

    // Opens `path` and its backing files into the chain; its handle, or
    // nullptr with *reason.
    libqcow_file_t* OpenLevel(const std::string& path, std::string* reason) {
        std::unique_ptr<CutShortFile> io = CutShortFile::Open(path, reason);
        if (!io) return nullptr;
        libqcow_file_t* file = nullptr;
        libqcow_error_t* error = nullptr;
        if (libqcow_file_initialize(&file, &error) != 1) {
            *reason = path + ": " + Take(error);
            return nullptr;
        }
        if (libqcow_file_open_file_io_handle(file, io->Handle(), LIBQCOW_OPEN_READ, &error) != 1) {
            *reason = path + ": " + Take(error);
            libqcow_file_free(&file, nullptr);
            return nullptr;
        }
        levels_.push_back(Level{std::move(io), file});
        std::uint32_t encryption = 0;
        if (libqcow_file_get_encryption_method(file, &encryption, &error) != 1) {
            *reason = path + ": " + Take(error);
            return nullptr;
        }
        if (encryption != LIBQCOW_ENCRYPTION_METHOD_NONE) {
            *reason = path + ": the image is encrypted";
            return nullptr;
        }
        const std::string stored = BackingName(file);
        if (stored.empty()) return file;
        const std::string parentPath = ParentToOpen(path, stored, levels_.size(), reason);
        if (parentPath.empty()) return nullptr;
        libqcow_file_t* parent = OpenLevel(parentPath, reason);
        if (!parent) return nullptr;
        if (libqcow_file_set_parent_file(file, parent, &error) != 1) {
            *reason = path + ": " + Take(error);
            return nullptr;
        }
        return file;
    }

    std::mutex mutex_;  // the whole chain: no handle may be read by two threads
    std::vector<Level> levels_;
    std::uint64_t size_ = 0;
    std::string format_;
    std::uint32_t version_ = 0;
};

}  // namespace

std::unique_ptr<Source> OpenQcow(const std::string& path, std::string* reason) {
    auto source = std::make_unique<QcowSource>();
    if (!source->Open(path, reason)) return nullptr;
    return source;
}

}  // namespace disk
