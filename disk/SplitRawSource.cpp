#include "disk/SplitRawSource.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
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

struct Piece {
    std::string path;
    std::uint64_t begin = 0;  // offset of its first byte in the disk
    std::uint64_t size = 0;
};

class SplitRawSource : public Source {
public:
    SplitRawSource(std::vector<Piece> pieces, std::uint64_t size) : pieces_(std::move(pieces)), size_(size) {}

    std::uint64_t SizeBytes() const override { return size_; }
    std::string Name() const override { return "split raw image (" + std::to_string(pieces_.size()) + " pieces)"; }
    FactRows Facts() const override {
        return {{"Format", "Split raw (" + std::to_string(pieces_.size()) + " pieces)"}};
    }

    bool ReadAt(std::uint64_t offset, std::uint64_t length, void* buffer) override {
        auto* out = static_cast<std::uint8_t*>(buffer);
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = std::upper_bound(pieces_.begin(), pieces_.end(), offset,
                                   [](std::uint64_t v, const Piece& p) { return v < p.begin; });
        if (it == pieces_.begin()) return false;
        for (--it; length > 0; ++it) {
            if (it == pieces_.end()) return false;
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
    std::string suffix = first.substr(dot + 1);
    if (!IsFirstSuffix(suffix)) return pieces;
    while (pieces.size() < kMaxPieces) {
        suffix = NextSuffix(suffix);
        struct stat st {};
        if (suffix.empty() || ::stat((stem + suffix).c_str(), &st) != 0) break;
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
    for (const std::string& path : paths) {
        std::string why;
        const UniqueFd fd = OpenForReading(path, FileKinds::kRegularOnly, &why);
        if (!fd.ok()) return fail(why);
        const std::uint64_t size = SizeOfOpenFile(fd.get());
        if (size == 0) return fail(path + ": empty piece of a split raw image");
        if (!pieces.empty() && pieces.front().size != pieces.back().size)
            return fail(pieces.back().path + ": holds " + std::to_string(pieces.back().size) +
                        " bytes, the pieces before it " + std::to_string(pieces.front().size) +
                        " each: the split raw image is damaged");
        if (!pieces.empty() && size > pieces.front().size)
            return fail(path + ": larger than the pieces before it: the split raw image is damaged");
        pieces.push_back(Piece{path, total, size});
        total += size;
    }
    if (pieces.empty()) return fail("no pieces");
    return std::make_unique<SplitRawSource>(std::move(pieces), total);
}

}  // namespace disk
