// VMDK images through libvmdk: a descriptor file with its extent files, or
// a sparse or stream-optimized file holding its own descriptor; a delta
// disk reads through its parent.
#include <libvmdk.h>

#include "disk/ContainerSupport.h"
#include "disk/Containers.h"
#include "disk/HandleChain.h"
#include "disk/PosixFile.h"

namespace disk {

namespace {

using Chain = HandleChain<libvmdk_handle_t>;

std::string Take(libvmdk_error_t*& error) {
    return TakeLibraryError(error, libvmdk_error_backtrace_sprint, libvmdk_error_free);
}

bool Read(libvmdk_handle_t* handle, std::uint8_t* out, std::uint64_t length, std::uint64_t offset) {
    return ReadWhole(
        [handle](std::uint8_t* p, std::uint64_t n, std::uint64_t at) {
            libvmdk_error_t* error = nullptr;
            const ssize_t r = libvmdk_handle_read_buffer_at_offset(handle, p, n, static_cast<off64_t>(at), &error);
            if (error) libvmdk_error_free(&error);
            return r;
        },
        out, length, offset);
}

void Free(libvmdk_handle_t* handle) {
    libvmdk_error_t* error = nullptr;
    libvmdk_handle_close(handle, &error);
    if (error) libvmdk_error_free(&error);
    libvmdk_handle_free(&handle, nullptr);
}

// Why an extent file the descriptor names cannot be opened ("" when all
// can): the library looks for each by its last name part beside the
// descriptor, and must never open a pipe or a device.
std::string ExtentProblem(libvmdk_handle_t* handle, const std::string& path) {
    libvmdk_error_t* error = nullptr;
    int count = 0;
    if (libvmdk_handle_get_number_of_extents(handle, &count, &error) != 1) return path + ": " + Take(error);
    for (int i = 0; i < count; ++i) {
        libvmdk_extent_descriptor_t* extent = nullptr;
        if (libvmdk_handle_get_extent_descriptor(handle, i, &extent, &error) != 1) return path + ": " + Take(error);
        std::uint8_t name[1024] = {};
        const int r = libvmdk_extent_descriptor_get_utf8_filename(extent, name, sizeof name, &error);
        libvmdk_extent_descriptor_free(&extent, nullptr);
        if (r == -1) return path + ": " + Take(error);
        if (r != 1) continue;  // a zero extent: no file
        std::string file(reinterpret_cast<const char*>(name));
        const std::size_t cut = file.find_last_of("/\\");
        if (cut != std::string::npos) file.erase(0, cut + 1);
        const std::string problem = FileKindProblem(Beside(path, file), FileKinds::kRegularOrBlockDevice);
        if (!problem.empty()) return path + ": extent file " + problem;
    }
    return {};
}

std::string ParentName(libvmdk_handle_t* handle) {
    std::uint8_t name[1024] = {};
    libvmdk_error_t* error = nullptr;
    const int r = libvmdk_handle_get_utf8_parent_filename(handle, name, sizeof name, &error);
    if (error) libvmdk_error_free(&error);
    return r == 1 ? std::string(reinterpret_cast<const char*>(name)) : std::string();
}

libvmdk_handle_t* OpenInto(Chain& chain, const std::string& path, std::string* reason) {
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
    chain.Add(handle);
    *reason = ExtentProblem(handle, path);
    if (!reason->empty()) return nullptr;
    if (libvmdk_handle_open_extent_data_files(handle, &error) != 1) {
        *reason = path + ": " + Take(error);
        return nullptr;
    }
    const std::string stored = ParentName(handle);
    if (stored.empty()) return handle;
    const std::string parentPath = FindParent(path, stored);
    if (parentPath.empty()) {
        *reason = MissingParentReason(path, stored);
        return nullptr;
    }
    if (chain.Length() > kMaxParentChain) {
        *reason = path + ": more than " + std::to_string(kMaxParentChain) + " parent images";
        return nullptr;
    }
    libvmdk_handle_t* parent = OpenInto(chain, parentPath, reason);
    if (!parent) return nullptr;
    if (libvmdk_handle_set_parent_handle(handle, parent, &error) != 1) {
        *reason = path + ": " + Take(error);
        return nullptr;
    }
    return handle;
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

}  // namespace

std::unique_ptr<Source> OpenVmdk(const std::string& path, std::string* reason) {
    auto chain = std::make_unique<Chain>(Read, Free);
    libvmdk_handle_t* handle = OpenInto(*chain, path, reason);
    if (!handle) return nullptr;
    libvmdk_error_t* error = nullptr;
    size64_t size = 0;
    int diskType = 0;
    if (libvmdk_handle_get_media_size(handle, &size, &error) != 1 ||
        libvmdk_handle_get_disk_type(handle, &diskType, &error) != 1) {
        *reason = path + ": " + Take(error);
        return nullptr;
    }
    const std::string kind = TypeName(diskType);
    chain->Describe(size, "VMDK image (" + kind + ")", {{"Format", "VMDK (" + kind + ")"}});
    return chain;
}

}  // namespace disk
