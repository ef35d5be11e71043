// QCOW images (versions 1, 2 and 3) through libqcow.
#include <libqcow.h>

#include "disk/ContainerSupport.h"
#include "disk/Containers.h"
#include "disk/HandleChain.h"
#include "disk/PosixFile.h"

namespace disk {

namespace {

using Chain = HandleChain<libqcow_file_t>;

std::string Take(libqcow_error_t*& error) {
    return TakeLibraryError(error, libqcow_error_backtrace_sprint, libqcow_error_free);
}

bool Read(libqcow_file_t* file, std::uint8_t* out, std::uint64_t length, std::uint64_t offset) {
    return ReadWhole(
        [file](std::uint8_t* p, std::uint64_t n, std::uint64_t at) {
            libqcow_error_t* error = nullptr;
            const ssize_t r = libqcow_file_read_buffer_at_offset(file, p, n, static_cast<off64_t>(at), &error);
            if (error) libqcow_error_free(&error);
            return r;
        },
        out, length, offset);
}

void Free(libqcow_file_t* file) {
    libqcow_error_t* error = nullptr;
    libqcow_file_close(file, &error);
    if (error) libqcow_error_free(&error);
    libqcow_file_free(&file, nullptr);
}

std::string BackingName(libqcow_file_t* file) {
    std::uint8_t name[1024] = {};
    libqcow_error_t* error = nullptr;
    const int r = libqcow_file_get_utf8_backing_filename(file, name, sizeof name, &error);
    if (error) libqcow_error_free(&error);
    return r == 1 ? std::string(reinterpret_cast<const char*>(name)) : std::string();
}

// Opens `path` into the chain with its backing files; its handle, or
// nullptr with *reason.
libqcow_file_t* OpenInto(Chain& chain, const std::string& path, std::string* reason) {
    const std::string problem = FileKindProblem(path, FileKinds::kRegularOrBlockDevice);
    if (!problem.empty()) {
        *reason = problem;
        return nullptr;
    }
    libqcow_file_t* file = nullptr;
    libqcow_error_t* error = nullptr;
    if (libqcow_file_initialize(&file, &error) != 1) {
        *reason = path + ": " + Take(error);
        return nullptr;
    }
    if (libqcow_file_open(file, path.c_str(), LIBQCOW_OPEN_READ, &error) != 1) {
        *reason = path + ": " + Take(error);
        libqcow_file_free(&file, nullptr);
        return nullptr;
    }
    chain.Add(file);
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
    const std::string parentPath = FindParent(path, stored);
    if (parentPath.empty()) {
        *reason = MissingParentReason(path, stored);
        return nullptr;
    }
    if (chain.Length() > kMaxParentChain) {
        *reason = path + ": more than " + std::to_string(kMaxParentChain) + " parent images";
        return nullptr;
    }
    libqcow_file_t* parent = OpenInto(chain, parentPath, reason);
    if (!parent) return nullptr;
    if (libqcow_file_set_parent_file(file, parent, &error) != 1) {
        *reason = path + ": " + Take(error);
        return nullptr;
    }
    return file;
}

}  // namespace

std::unique_ptr<Source> OpenQcow(const std::string& path, std::string* reason) {
    auto chain = std::make_unique<Chain>(Read, Free);
    libqcow_file_t* file = OpenInto(*chain, path, reason);
    if (!file) return nullptr;
    libqcow_error_t* error = nullptr;
    size64_t size = 0;
    std::uint32_t version = 0;
    if (libqcow_file_get_media_size(file, &size, &error) != 1 ||
        libqcow_file_get_format_version(file, &version, &error) != 1) {
        *reason = path + ": " + Take(error);
        return nullptr;
    }
    const std::string format = version == 1 ? "QCOW" : "QCOW2";
    chain->Describe(size, format + " image", {{"Format", format + " (version " + std::to_string(version) + ")"}});
    return chain;
}

}  // namespace disk
