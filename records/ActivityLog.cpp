#include "records/ActivityLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "base/Escape.h"
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

std::string PreviousReportPath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1)
        return path + ".1";
    return path.substr(0, dot) + ".1" + path.substr(dot);
}

bool AppendActivityLogAt(const std::string& path, const std::string& text, std::string* reason) {
    auto fail = [&](const std::string& why) {
        if (reason) *reason = why;
        return false;
    };
    auto failErrno = [&](const std::string& what) { return fail(what + ": " + std::strerror(errno)); };
    if (path.empty()) return fail("no report file");
    int fd = OpenUnshared(path);
    if (fd < 0) return failErrno(path);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int e = errno;
        ::close(fd);
        errno = e;
        return failErrno(path);
    }
    if (static_cast<std::uint64_t>(st.st_size) > kActivityLogLimit) {
        // Moved aside while still held, so that no other append writes to
        // it in between; the new file is begun under the name.
        const std::string previous = PreviousReportPath(path);
        if (::rename(path.c_str(), previous.c_str()) != 0) {
            const int e = errno;
            ::close(fd);
            errno = e;
            return failErrno(previous);
        }
        ::close(fd);
        fd = OpenUnshared(path);
        if (fd < 0) return failErrno(path);
    }
    if (::lseek(fd, 0, SEEK_END) < 0) {
        const int e = errno;
        ::close(fd);
        errno = e;
        return failErrno(path);
    }
    const char* p = text.data();
    std::size_t left = text.size();
    int error = 0;
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error != 0) {
        errno = error;
        return failErrno(path);
    }
    return true;
}

std::string ReportSection::Text() const {
    std::string text;
    for (const std::string& line : lines_) text += "\r\n" + line;
    return text;
}

ReportSection RawScanSection(const RawScanRecord& r) {
    ReportSection s;
    s.Field("Raw Range", std::to_string(r.startSector) + " - " + std::to_string(r.endSector));
    std::uint64_t total = 0;
    for (const RawScanRecord::Kind& k : r.kinds) total += k.found;
    s.Field("Documents Found", std::to_string(total));
    for (const RawScanRecord::Kind& k : r.kinds) s.Field(k.name + " Found", std::to_string(k.found));
    s.Field("Incomplete Documents", std::to_string(r.incomplete));
    s.Field("Failed Documents", std::to_string(r.failed));
    s.Field("Skipped Sectors", std::to_string(r.skippedSectors));
    s.Field("Raw Scan", r.stopped ? "Stopped" : "Completed");
    // A path as typed may hold control characters: escaped, as every name in the report.
    if (!r.dfxmlReport.empty()) s.Field("DFXML Report", base::EscapeControls(r.dfxmlReport, false));
    else if (!r.dfxmlFailure.empty())
        s.Field("DFXML Report", "not written: " + base::EscapeControls(r.dfxmlFailure, false));
    return s;
}

bool ActivityLog::Write(const ReportSection& section, std::string* reason) const {
    if (path.empty() || section.Empty()) return true;
    return AppendActivityLogAt(path, section.Text(), reason);
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

bool ActivityLog::WriteStartHeader(std::time_t now, std::string* reason) const {
    std::tm local{};
    localtime_r(&now, &local);
    ReportSection header;
    header.Line("-----------------------Start--------------------------")
        .Line(base::kProductTitle)
        .Line(base::kVersionText)
        .Line(FormatDateLine(local));
    return Write(header, reason);
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
