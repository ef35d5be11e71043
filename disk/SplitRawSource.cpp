#include "disk/SplitRawSource.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <list>
#include <mutex>

#include "disk/PosixFile.h"

namespace disk {

namespace {

constexpr std::size_t kMaxPieces = 100000;
// Pieces kept open at once: a set of hundreds of pieces must not use up
// the process's descriptors (ten disks may be open).
constexpr std::size_t kOpenPieces = 16;
constexpr std::size_t kMinDigits = 3;  // NAME.001
constexpr std::size_t kMinLetters = 2; // NAME.aa

bool AllOf(const std::string& s, int (*test)(int)) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [test](unsigned char c) { return test(c) != 0; });
}

bool IsFirstSuffix(const std::string& suffix) {
    if (suffix.size() >= kMinDigits && AllOf(suffix, ::isdigit))
        return std::all_of(suffix.begin(), suffix.end() - 1, [](char c) { return c == '0'; }) && suffix.back() == '1';
    if (suffix.size() >= kMinLetters && AllOf(suffix, ::isalpha))
        return std::all_of(suffix.begin(), suffix.end(), [](char c) { return c == 'a'; }) ||
               std::all_of(suffix.begin(), suffix.end(), [](char c) { return c == 'A'; });
    return false;
}

// The suffix after `suffix`: digits count up (keeping at least their
// width), letters count like an odometer in their case; "" past the last.
std::string NextSuffix(std::string suffix) {
    const bool digits = AllOf(suffix, ::isdigit);
    for (std::size_t i = suffix.size(); i-- > 0;) {
        char& c = suffix[i];
        if (digits) {
            if (c != '9') {
                ++c;
                return suffix;
            }
            c = '0';
        } else {
            if (c != 'z' && c != 'Z') {
                ++c;
                return suffix;
            }
            c = c == 'z' ? 'a' : 'A';
        }
    }
    return digits ? "1" + suffix : std::string();
}

// The place of a suffix in its sequence (the first suffix is 1); 0 when
// `suffix` is not of the first one's kind: digits written at least as wide
// (without a leading zero beyond that width), or letters as wide in the
// same case.
std::uint64_t Ordinal(const std::string& first, const std::string& suffix) {
    if (AllOf(first, ::isdigit)) {
        if (!AllOf(suffix, ::isdigit) || suffix.size() < first.size() || suffix.size() > 18) return 0;
        if (suffix.size() > first.size() && suffix[0] == '0') return 0;
        return std::stoull(suffix);
    }
    if (suffix.size() != first.size() || !AllOf(suffix, ::isalpha)) return 0;
    const char base = first[0] == 'a' ? 'a' : 'A';
    std::uint64_t n = 0;
    for (char c : suffix) {
        if (c < base || c > base + 25) return 0;
        n = n * 26 + static_cast<std::uint64_t>(c - base);
        if (n > kMaxPieces) return 0;
    }
    return n + 1;
}

struct Piece {
    std::string path;
    std::uint64_t begin = 0;  // offset of its first byte in the disk
    std::uint64_t size = 0;
    bool missing = false;     // not there: its size is that of the pieces before the last
};

class SplitRawSource : public Source {
public:
    SplitRawSource(std::vector<Piece> pieces, std::uint64_t size) : pieces_(std::move(pieces)), size_(size) {}

    std::uint64_t SizeBytes() const override { return size_; }
    std::string Name() const override { return "split raw image (" + std::to_string(pieces_.size()) + " pieces)"; }
    FactRows Facts() const override {
        FactRows rows{{"Format", "Split raw (" + std::to_string(pieces_.size()) + " pieces)"}};
        if (const std::string names = MissingNames(); !names.empty()) rows.emplace_back("Missing pieces", names);
        return rows;
    }
    std::vector<std::pair<std::uint64_t, std::uint64_t>> MissingRanges() const override {
        std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
        for (const Piece& p : pieces_)
            if (p.missing) ranges.emplace_back(p.begin, p.size);
        return ranges;
    }
    std::string Remark() const override {
        std::uint64_t bytes = 0;
        std::size_t count = 0;
        for (const Piece& p : pieces_)
            if (p.missing) bytes += p.size, ++count;
        if (count == 0) return {};
        return "split raw image " + pieces_.front().path + ": " + (count == 1 ? "piece " : "pieces ") +
               MissingNames() + (count == 1 ? " is" : " are") + " missing; " + std::to_string(bytes) +
               " bytes of the disk read as unreadable there";
    }

    bool ReadAt(std::uint64_t offset, std::uint64_t length, void* buffer) override {
        auto* out = static_cast<std::uint8_t*>(buffer);
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = std::upper_bound(pieces_.begin(), pieces_.end(), offset,
                                   [](std::uint64_t v, const Piece& p) { return v < p.begin; });
        if (it == pieces_.begin()) return false;
        for (--it; length > 0; ++it) {
            if (it == pieces_.end() || it->missing) return false;
            const std::uint64_t within = offset - it->begin;
            const std::uint64_t take = std::min(length, it->size - within);
            const int fd = OpenPiece(static_cast<std::size_t>(it - pieces_.begin()));
            if (fd < 0 || !PreadAll(fd, out, take, within)) return false;
            out += take;
            offset += take;
            length -= take;
        }
        return true;
    }

private:
    std::string MissingNames() const {
        std::string names;
        for (const Piece& p : pieces_)
            if (p.missing) names += (names.empty() ? "" : ", ") + p.path;
        return names;
    }

    // The descriptor of piece i, opening it (and closing the least recently
    // used one) when needed; -1 when it cannot be opened or has changed size.
    int OpenPiece(std::size_t i) {
        for (auto it = open_.begin(); it != open_.end(); ++it) {
            if (it->first != i) continue;
            open_.splice(open_.begin(), open_, it);
            return open_.front().second.get();
        }
        UniqueFd fd = OpenForReading(pieces_[i].path, FileKinds::kRegularOnly, nullptr);
        if (!fd.ok() || SizeOfOpenFile(fd.get()) != pieces_[i].size) return -1;
        if (open_.size() >= kOpenPieces) open_.pop_back();
        open_.emplace_front(i, std::move(fd));
        return open_.front().second.get();
    }

    std::vector<Piece> pieces_;
    std::uint64_t size_;
    std::mutex mutex_;  // the open pieces
    std::list<std::pair<std::size_t, UniqueFd>> open_;  // most recently used first
};

}  // namespace

std::vector<std::string> SplitRawPieces(const std::string& first) {
    std::vector<std::string> pieces{first};
    const std::size_t dot = first.rfind('.');
    const std::size_t slash = first.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return pieces;
    const std::string stem = first.substr(0, dot + 1);
    const std::string firstSuffix = first.substr(dot + 1);
    if (!IsFirstSuffix(firstSuffix)) return pieces;
    // The last piece is the one named furthest on in the sequence: pieces
    // missing before it are gaps in the disk, not its end.
    const std::string folder = slash == std::string::npos ? "." : first.substr(0, slash + 1);
    const std::string base = stem.substr(slash == std::string::npos ? 0 : slash + 1);
    std::uint64_t last = 1;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() <= base.size() || name.compare(0, base.size(), base) != 0) continue;
            const std::uint64_t n = Ordinal(firstSuffix, name.substr(base.size()));
            if (n > last && n <= kMaxPieces) last = n;
        }
        ::closedir(d);
    }
    std::string suffix = firstSuffix;
    for (std::uint64_t n = 2; n <= last; ++n) {
        suffix = NextSuffix(suffix);
        if (suffix.empty()) break;
        pieces.push_back(stem + suffix);
    }
    return pieces;
}

std::unique_ptr<Source> OpenSplitRaw(const std::vector<std::string>& paths, std::string* reason) {
    auto fail = [reason](const std::string& why) {
        if (reason) *reason = why;
        return nullptr;
    };
    std::vector<Piece> pieces;
    std::uint64_t total = 0;
    std::uint64_t whole = 0;  // the size of every piece but the last: the first piece's
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::string& path = paths[i];
        const bool last = i + 1 == paths.size();
        struct stat st {};
        if (i > 0 && !last && ::lstat(path.c_str(), &st) != 0 && errno == ENOENT) {
            // A gap: the piece is gone, its bytes are not.
            pieces.push_back(Piece{path, total, whole, true});
            total += whole;
            continue;
        }
        std::string why;
        const UniqueFd fd = OpenForReading(path, FileKinds::kRegularOnly, &why);
        if (!fd.ok()) return fail(why);
        const std::uint64_t size = SizeOfOpenFile(fd.get());
        if (size == 0) return fail(path + ": empty piece of a split raw image");
        if (i == 0) whole = size;
        if (!pieces.empty() && !pieces.back().missing && pieces.back().size != whole)
            return fail(pieces.back().path + ": holds " + std::to_string(pieces.back().size) +
                        " bytes, the pieces before it " + std::to_string(whole) +
                        " each: the split raw image is damaged");
        if (size > whole)
            return fail(path + ": larger than the pieces before it: the split raw image is damaged");
        pieces.push_back(Piece{path, total, size, false});
        total += size;
    }
    if (pieces.empty()) return fail("no pieces");
    return std::make_unique<SplitRawSource>(std::move(pieces), total);
}

}  // namespace disk
