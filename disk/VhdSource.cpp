// VHD and VHDX images through libvhdi.
#include <libvhdi.h>

#include "disk/ContainerSupport.h"
#include "disk/Containers.h"
#include "disk/HandleChain.h"
#include "disk/PosixFile.h"

namespace disk {

namespace {

using Chain = HandleChain<libvhdi_file_t>;

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

void Free(libvhdi_file_t* file) {
    libvhdi_error_t* error = nullptr;
    libvhdi_file_close(file, &error);
    if (error) libvhdi_error_free(&error);
    libvhdi_file_free(&file, nullptr);
}

std::string ParentName(libvhdi_file_t* file) {
    std::uint8_t name[1024] = {};
    libvhdi_error_t* error = nullptr;
    const int r = libvhdi_file_get_utf8_parent_filename(file, name, sizeof name, &error);
    if (error) libvhdi_error_free(&error);
    return r == 1 ? std::string(reinterpret_cast<const char*>(name)) : std::string();
}

// Opens `path` into the chain and, for a differencing image, its parents;
// returns its handle (nullptr with *reason).
libvhdi_file_t* OpenInto(Chain& chain, const std::string& path, std::uint32_t* diskType, std::string* reason) {
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
    chain.Add(file);
    if (libvhdi_file_get_disk_type(file, diskType, &error) != 1) {
        *reason = path + ": " + Take(error);
        return nullptr;
    }
    if (*diskType != LIBVHDI_DISK_TYPE_DIFFERENTIAL) return file;
    const std::string stored = ParentName(file);
    const std::string parentPath = FindParent(path, stored);
    if (parentPath.empty()) {
        *reason = MissingParentReason(path, stored);
        return nullptr;
    }
    if (chain.Length() > kMaxParentChain) {
        *reason = path + ": more than " + std::to_string(kMaxParentChain) + " parent images";
        return nullptr;
    }
    std::uint32_t parentType = 0;
    libvhdi_file_t* parent = OpenInto(chain, parentPath, &parentType, reason);
    if (!parent) return nullptr;
    if (libvhdi_file_set_parent_file(file, parent, &error) != 1) {
        *reason = path + ": " + Take(error);
        return nullptr;
    }
    return file;
}

const char* TypeName(std::uint32_t diskType) {
    switch (diskType) {
        case LIBVHDI_DISK_TYPE_FIXED: return "fixed";
        case LIBVHDI_DISK_TYPE_DYNAMIC: return "dynamic";
        case LIBVHDI_DISK_TYPE_DIFFERENTIAL: return "differencing";
        default: return "unknown kind";
    }
}

}  // namespace

std::unique_ptr<Source> OpenVhd(const std::string& path, std::string* reason) {
    auto chain = std::make_unique<Chain>(Read, Free);
    std::uint32_t diskType = 0;
    libvhdi_file_t* file = OpenInto(*chain, path, &diskType, reason);
    if (!file) return nullptr;
    libvhdi_error_t* error = nullptr;
    size64_t size = 0;
    int fileType = 0;
    if (libvhdi_file_get_media_size(file, &size, &error) != 1 ||
        libvhdi_file_get_file_type(file, &fileType, &error) != 1) {
        *reason = path + ": " + Take(error);
        return nullptr;
    }
    const std::string format = fileType == LIBVHDI_FILE_TYPE_VHDX ? "VHDX" : "VHD";
    const std::string kind = TypeName(diskType);
    chain->Describe(size, format + " image (" + kind + ")", {{"Format", format + " (" + kind + ")"}});
    return chain;
}

}  // namespace disk
