#include "records/SafeFile.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

extern char** environ;

namespace records {

namespace {
constexpr std::size_t kBufferSize = 1 << 16;
}

ReplacingFile::~ReplacingFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!scratch_.empty()) ::unlink(scratch_.c_str());
}

bool ReplacingFile::Open(const std::string& path, std::string* reason) {
    target_ = path;
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty()) folder = ".";
    std::string name = std::filesystem::path(path).filename().string();
    if (name.empty()) {
        if (reason) *reason = "no file name";
        return false;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        if (reason) *reason = "it is a folder";
        return false;
    }
    std::string pattern = folder + "/." + name + ".XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    fd_ = ::mkstemp(buf.data());
    if (fd_ < 0) {
        if (reason) *reason = std::strerror(errno);
        return false;
    }
    ::fchmod(fd_, 0666 & ~[] {
        mode_t m = ::umask(0);
        ::umask(m);
        return m;
    }());
    scratch_ = buf.data();
    buffer_.reserve(kBufferSize);
    error_ = 0;
    return true;
}

void ReplacingFile::Write(const void* data, std::size_t size) {
    if (fd_ < 0 || error_) return;
    const auto* p = static_cast<const std::uint8_t*>(data);
    buffer_.insert(buffer_.end(), p, p + size);
    if (buffer_.size() >= kBufferSize) Flush();
}

void ReplacingFile::WriteU16(std::uint16_t v) {
    std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
    Write(b, 2);
}

void ReplacingFile::WriteU32(std::uint32_t v) {
    std::uint8_t b[4];
    for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(v >> (8 * i));
    Write(b, 4);
}

void ReplacingFile::WriteU64(std::uint64_t v) {
    std::uint8_t b[8];
    for (int i = 0; i < 8; ++i) b[i] = static_cast<std::uint8_t>(v >> (8 * i));
    Write(b, 8);
}

bool ReplacingFile::Flush() {
    std::size_t done = 0;
    while (!error_ && done < buffer_.size()) {
        ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error_ = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    buffer_.clear();
    return error_ == 0;
}

bool ReplacingFile::Commit(std::string* reason) {
    if (fd_ < 0) {
        if (reason) *reason = "the file is not open";
        return false;
    }
    Flush();
    if (::close(fd_) != 0 && !error_) error_ = errno;
    fd_ = -1;
    if (!error_ && ::rename(scratch_.c_str(), target_.c_str()) != 0) error_ = errno;
    if (error_) {
        if (reason) *reason = std::strerror(error_);
        return false;
    }
    scratch_.clear();
    return true;
}

std::string FindOnPath(const std::string& name) {
    if (name.empty()) return {};
    auto executable = [](const std::string& p) {
        struct stat st {};
        return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(p.c_str(), X_OK) == 0;
    };
    if (name.find('/') != std::string::npos) return executable(name) ? name : std::string();
    const char* path = std::getenv("PATH");
    if (!path) return {};
    std::string list = path;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        std::string dir = list.substr(start, end - start);
        // Only absolute folders: an empty or relative PATH element would
        // pick a program out of whatever the current folder is.
        if (!dir.empty() && dir[0] == '/') {
            std::string candidate = dir + "/" + name;
            if (executable(candidate)) return candidate;
        }
        start = end + 1;
    }
    return {};
}

int RunProgram(const std::vector<std::string>& argv) {
    if (argv.empty()) return -1;
    std::string program = FindOnPath(argv[0]);
    if (program.empty()) return -1;
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, args.data(), environ) != 0) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace records
