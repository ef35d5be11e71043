#include "disk/RescueMap.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include "disk/PosixFile.h"

namespace disk {

namespace {

constexpr std::size_t kLoadBlock = 65536;  // bytes read from the mapfile at a time
// A mapfile lists areas as text lines; a file larger than this is no mapfile
// and is not read into memory.
constexpr std::uint64_t kMaxMapfileBytes = 64ull << 20;

bool ParseNumber(const std::string& token, std::uint64_t& value) {
    if (token.empty() || token[0] == '-' || token[0] == '+') return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(token.c_str(), &end, 0);  // 0x.. hex, 0.. octal, decimal
    if (errno != 0 || end == token.c_str() || *end != '\0') return false;
    value = v;
    return true;
}

bool IsStatusChar(const std::string& s, const char* allowed) {
    return s.size() == 1 && std::string(allowed).find(s[0]) != std::string::npos;
}

}  // namespace

bool RescueMap::Parse(const std::string& text, std::string* error) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> good;
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    bool sawStatusLine = false;
    std::uint64_t lastEnd = 0;
    auto fail = [&](const std::string& why) {
        if (error) *error = "mapfile line " + std::to_string(lineNo) + ": " + why;
        return false;
    };
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        auto hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::istringstream fields(line);
        std::vector<std::string> tok;
        for (std::string t; fields >> t;) tok.push_back(t);
        if (tok.empty()) continue;
        if (!sawStatusLine) {
            // current position, current status, optional pass number
            std::uint64_t pos = 0;
            if (tok.size() < 2 || tok.size() > 3 || !ParseNumber(tok[0], pos) || !IsStatusChar(tok[1], "?*/-FG+"))
                return fail("expected the status line \"<position> <status> [pass]\"");
            sawStatusLine = true;
            continue;
        }
        std::uint64_t pos = 0, size = 0;
        if (tok.size() != 3 || !ParseNumber(tok[0], pos) || !ParseNumber(tok[1], size) || !IsStatusChar(tok[2], "?*/-+"))
            return fail("expected \"<position> <size> <status>\" with status one of ? * / - +");
        if (pos < lastEnd) return fail("areas overlap or are out of order");
        if (size > UINT64_MAX - pos) return fail("area runs past the largest offset");
        lastEnd = pos + size;
        if (tok[2] == "+" && size > 0) {
            if (!good.empty() && good.back().second == pos)
                good.back().second = pos + size;
            else
                good.emplace_back(pos, pos + size);
        }
    }
    if (!sawStatusLine) {
        if (error) *error = "mapfile holds no status line";
        return false;
    }
    good_ = std::move(good);
    parsed_ = true;
    return true;
}

bool RescueMap::Load(const std::string& path, std::string* error) {
    // Every message names the mapfile and the reason.
    auto fail = [&](const std::string& why) {
        if (error) *error = "Unable to open file: " + why;
        return false;
    };
    std::string why;
    const UniqueFd fd = OpenForReading(path, FileKinds::kRegularOnly, &why);
    if (!fd.ok()) return fail(why);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return fail(SystemReason(path, errno));
    if (static_cast<std::uint64_t>(st.st_size) > kMaxMapfileBytes)
        return fail(path + ": larger than 64 MiB, too large for a ddrescue mapfile");
    std::string text;
    char block[kLoadBlock];
    for (;;) {
        const ssize_t n = ::read(fd.get(), block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(SystemReason(path, errno));
        if (n == 0) break;
        text.append(block, static_cast<std::size_t>(n));
        // A file that grows while it is read is held to the same bound.
        if (text.size() > kMaxMapfileBytes) return fail(path + ": larger than 64 MiB, too large for a ddrescue mapfile");
    }
    if (text.find('\0') != std::string::npos) {
        if (error) *error = path + " is not a mapfile (binary data)";
        return false;
    }
    why.clear();
    if (!Parse(text, &why)) {
        if (error) *error = path + ": " + why;
        return false;
    }
    return true;
}

bool RescueMap::IsGood(std::uint64_t offset, std::uint64_t length) const {
    if (length == 0) return true;
    // the last area that begins at or before offset
    auto it = std::upper_bound(good_.begin(), good_.end(), offset,
                               [](std::uint64_t v, const std::pair<std::uint64_t, std::uint64_t>& a) { return v < a.first; });
    if (it == good_.begin()) return false;
    --it;
    return offset >= it->first && length <= it->second - offset && offset < it->second;
}

}  // namespace disk
