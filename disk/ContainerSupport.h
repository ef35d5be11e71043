// What the readers of container images share: the text of their libraries'
// errors, finding the parent of a differencing image, and reading a whole
// length through a library's read call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace disk {

// Parents followed from one differencing image at most (a loop of images
// naming each other ends here).
constexpr std::size_t kMaxParentChain = 16;
constexpr std::size_t kErrorTextBytes = 4096;  // room for a library's error chain

// The most telling line of a library's error text: the libraries write a
// chain of "function: message" lines, the first the deepest cause.
std::string LibraryMessage(const char* text);

// Reads the text of a library error and frees the error. `Backtrace` and
// `Free` are the library's error_backtrace_sprint and error_free.
template <class Error, class Backtrace, class Free>
std::string TakeLibraryError(Error*& error, Backtrace backtrace, Free release) {
    if (!error) return "unknown error";
    std::vector<char> text(kErrorTextBytes, '\0');
    const bool printed = backtrace(error, text.data(), text.size() - 1) > 0;
    release(&error);
    error = nullptr;
    return printed ? LibraryMessage(text.data()) : std::string("unknown error");
}

// `name` in the folder of `path` (just `name` when `path` has no folder).
std::string Beside(const std::string& path, const std::string& name);

// The file a differencing image names as its parent: the name's last part
// beside the child, else the name itself (relative to the child's folder).
// "" when neither is there.
std::string FindParent(const std::string& childPath, const std::string& storedName);

// Calls `read(buffer, length, offset)` (returning the bytes read, or -1)
// until the whole length is read; false at an error or the end of data.
template <class Read>
bool ReadWhole(Read read, std::uint8_t* out, std::uint64_t length, std::uint64_t offset) {
    while (length > 0) {
        const auto n = read(out, length, offset);
        if (n <= 0) return false;
        out += n;
        offset += static_cast<std::uint64_t>(n);
        length -= static_cast<std::uint64_t>(n);
    }
    return true;
}

// The parent to open for a differencing image at `childPath` naming
// `storedName`, when `levels` images of its chain are open already: its path
// (see FindParent), or "" with *reason when it is not found beside the child
// ("child: parent image NAME not found beside it") or the chain has grown
// past kMaxParentChain.
std::string ParentToOpen(const std::string& childPath, const std::string& storedName, std::size_t levels,
                         std::string* reason);

}  // namespace disk
