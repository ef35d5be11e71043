#include "records/ActivityLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "base/Identity.h"

namespace records {

namespace {

const char* const kDayNames[7] = {"Sunday, ", "Monday, ", "Tuesday, ", "Wednesday, ",
                                  "Thursday, ", "Friday, ", "Saturday, "};
const char* const kMonthNames[12] = {"January ", "February ", "March ",     "April ",   "May ",      "June ",
                                     "July ",    "August ",   "September ", "October ", "November ", "December "};

// Opens for reading and writing, creating it, held exclusively (an append
// that finds the file held by another append fails).
int OpenUnshared(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

bool AppendActivityLogAt(const std::string& path, const std::string& text) {
    if (path.empty()) return false;
    int fd = OpenUnshared(path);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return false;
    }
    if (static_cast<std::uint64_t>(st.st_size) > kActivityLogLimit) {
        ::close(fd);
        ::chmod(path.c_str(), 0644);  // a read-only report is replaced all the same
        if (::unlink(path.c_str()) != 0) return false;
        fd = OpenUnshared(path);
        if (fd < 0) return false;
    }
    bool ok = ::lseek(fd, 0, SEEK_END) >= 0;
    const char* p = text.data();
    std::size_t left = text.size();
    while (ok && left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) ok = false;
    return ok;
}

std::string FormatDateLine(const std::tm& t) {
    char minute[8];
    std::snprintf(minute, sizeof minute, "%02d", t.tm_min % 100);
    char day[8];
    std::snprintf(day, sizeof day, "%02d", t.tm_mday % 100);
    std::string line = std::to_string(t.tm_hour) + ":" + minute + " - ";
    line += kDayNames[((t.tm_wday % 7) + 7) % 7];
    line += kMonthNames[((t.tm_mon % 12) + 12) % 12];
    line += day;
    line += ", ";
    line += std::to_string(t.tm_year + 1900);
    return line;
}

void ActivityLog::WriteStartHeader(std::time_t now) const {
    std::tm local{};
    localtime_r(&now, &local);
    Append("\r\n");
    Append("-----------------------Start--------------------------");
    Append("\r\n");
    Append(base::kProductTitle);
    Append("\r\n");
    Append(base::kVersionText);
    Append("\r\n");
    Append(FormatDateLine(local));
}

std::string UserDataFolder() {
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        base = std::filesystem::path(home) / ".local" / "share";
    } else {
        return {};
    }
    std::filesystem::path folder = base / "tarvine";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!std::filesystem::is_directory(folder, ec)) return {};
    return folder.string();
}

}  // namespace records
