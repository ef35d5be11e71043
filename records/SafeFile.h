// Writing a file so that the previous copy survives a failed write: the bytes
// go to a scratch file next to the target, which replaces the target only
// once everything has been written and closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace records {

class ReplacingFile {
public:
    ReplacingFile() = default;
    ~ReplacingFile();  // discards the scratch file unless committed
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the scratch file in the target's folder. False (with a reason)
    // when the folder does not exist or cannot be written.
    bool Open(const std::string& path, std::string* reason);
    // Buffered; errors are kept and reported by Commit.
    void Write(const void* data, std::size_t size);
    void Write(const std::string& text) { Write(text.data(), text.size()); }
    void WriteU8(std::uint8_t v) { Write(&v, 1); }
    void WriteU16(std::uint16_t v);
    void WriteU32(std::uint32_t v);
    void WriteU64(std::uint64_t v);
    // Flushes, closes and moves the scratch file onto the target.
    bool Commit(std::string* reason);

private:
    bool Flush();
    std::string target_;
    std::string scratch_;
    int fd_ = -1;
    int error_ = 0;
    std::vector<std::uint8_t> buffer_;
};

// Runs a program found on PATH (or named by a path) with these arguments,
// without a shell, and waits for it. Returns its exit status, or -1 when it
// could not be started or did not exit normally.
int RunProgram(const std::vector<std::string>& argv);

// The absolute path of an executable `name` on PATH; empty when none.
std::string FindOnPath(const std::string& name);

}  // namespace records
