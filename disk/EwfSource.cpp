// EWF sets through libewf. The acquisition's error list (sectors the
// acquiring tool could not read and stored as zeros) and every chunk whose
// checksum fails when it is read are unreadable sectors of the disk: their
// reads fail and go to the bad-sector policy like a failing drive's.
#include <libewf.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "disk/ContainerSupport.h"
#include "disk/Containers.h"
#include "disk/PosixFile.h"

namespace disk {

namespace {

std::string Take(libewf_error_t*& error) {
    return TakeLibraryError(error, libewf_error_backtrace_sprint, libewf_error_free);
}

// Byte ranges [begin, end), kept sorted and merged.
class Ranges {
public:
    void Add(std::uint64_t begin, std::uint64_t end) {
        if (begin >= end) return;
        auto it = std::lower_bound(list_.begin(), list_.end(), std::make_pair(begin, end));
        it = list_.insert(it, {begin, end});
        // merge with the neighbours
        if (it != list_.begin() && std::prev(it)->second >= it->first) {
            --it;
            it->second = std::max(it->second, std::next(it)->second);
            list_.erase(std::next(it));
        }
        while (std::next(it) != list_.end() && std::next(it)->first <= it->second) {
            it->second = std::max(it->second, std::next(it)->second);
            list_.erase(std::next(it));
        }
    }
    bool Overlaps(std::uint64_t begin, std::uint64_t end) const {
        auto it = std::upper_bound(list_.begin(), list_.end(), begin,
                                   [](std::uint64_t v, const std::pair<std::uint64_t, std::uint64_t>& r) {
                                       return v < r.second;
                                   });
        return it != list_.end() && it->first < end;
    }

private:
    std::vector<std::pair<std::uint64_t, std::uint64_t>> list_;
};

// The digest the set stores in its hash section, in lower-case hex; empty when none.
template <std::size_t N, typename Get>
std::string StoredDigest(libewf_handle_t* handle, Get get) {
    std::uint8_t digest[N] = {};
    libewf_error_t* error = nullptr;
    const int r = get(handle, digest, N, &error);
    if (error) libewf_error_free(&error);
    if (r != 1) return {};
    static const char* const kHex = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : digest) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    return out;
}

std::string HashValue(libewf_handle_t* handle, const char* name) {
    std::uint8_t value[256] = {};
    libewf_error_t* error = nullptr;
    const int r = libewf_handle_get_utf8_hash_value(handle, reinterpret_cast<const std::uint8_t*>(name),
                                                    std::strlen(name), value, sizeof value, &error);
    if (error) libewf_error_free(&error);
    return r == 1 ? std::string(reinterpret_cast<const char*>(value)) : std::string();
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

class EwfSource : public Source {
public:
    ~EwfSource() override {
        if (!handle_) return;
        libewf_error_t* error = nullptr;
        libewf_handle_close(handle_, &error);
        if (error) libewf_error_free(&error);
        libewf_handle_free(&handle_, nullptr);
    }

    bool Open(const std::vector<std::string>& files, std::string* reason) {
        libewf_error_t* error = nullptr;
        std::vector<char*> names;
        for (const std::string& f : files) names.push_back(const_cast<char*>(f.c_str()));
        if (libewf_handle_initialize(&handle_, &error) != 1 ||
            libewf_handle_open(handle_, names.data(), static_cast<int>(names.size()), LIBEWF_OPEN_READ, &error) != 1) {
            *reason = Take(error);
            if (handle_) libewf_handle_free(&handle_, nullptr);
            return false;
        }
        size64_t size = 0;
        std::uint32_t bytesPerSector = 0;
        std::uint8_t format = 0;
        if (libewf_handle_get_media_size(handle_, &size, &error) != 1 ||
            libewf_handle_get_bytes_per_sector(handle_, &bytesPerSector, &error) != 1 ||
            libewf_handle_get_format(handle_, &format, &error) != 1) {
            *reason = Take(error);
            return false;
        }
        size_ = size;
        bytesPerSector_ = bytesPerSector;
        smart_ = format == LIBEWF_FORMAT_SMART;
        segments_ = files.size();
        std::uint32_t count = 0;
        if (libewf_handle_get_number_of_acquiry_errors(handle_, &count, &error) != 1) {
            *reason = Take(error);
            return false;
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint64_t first = 0, sectors = 0;
            if (libewf_handle_get_acquiry_error(handle_, i, &first, &sectors, &error) != 1) {
                *reason = Take(error);
                return false;
            }
            AddSectors(acquiryErrors_, first, sectors);
        }
        // A set with a segment missing or cut short still opens: the chunks
        // it lacks read as unreadable sectors, and the facts say so.
        damaged_ = libewf_handle_segment_files_corrupted(handle_, &error) == 1;
        if (error) libewf_error_free(&error);
        md5_ = HashValue(handle_, "MD5");
        sha1_ = HashValue(handle_, "SHA1");
        stored_.evidenceSet = true;
        stored_.md5 = StoredDigest<16>(handle_, libewf_handle_get_md5_hash);
        stored_.sha1 = StoredDigest<20>(handle_, libewf_handle_get_sha1_hash);
        // A set with the digests only among its hash values (xhash).
        if (stored_.md5.empty() && md5_.size() == 32) stored_.md5 = Lower(md5_);
        if (stored_.sha1.empty() && sha1_.size() == 40) stored_.sha1 = Lower(sha1_);
        std::uint32_t perChunk = 0;
        if (libewf_handle_get_sectors_per_chunk(handle_, &perChunk, &error) == 1)
            stored_.sectorsPerChunk = perChunk * static_cast<std::uint32_t>(bytesPerSector_ / 512);
        if (error) libewf_error_free(&error);
        return true;
    }

    std::uint64_t SizeBytes() const override { return size_; }
    std::string Name() const override { return std::string("EWF (") + (smart_ ? "S01" : "E01") + ") image set"; }
    FactRows Facts() const override {
        FactRows rows{{"Format", std::string("EWF (") + (smart_ ? "S01" : "E01") + ")"},
                      {"Segment files", std::to_string(segments_) + (damaged_ ? " (damaged or incomplete set)" : "")}};
        if (!md5_.empty()) rows.emplace_back("MD5", md5_);
        if (!sha1_.empty()) rows.emplace_back("SHA1", sha1_);
        return rows;
    }

    StoredHashes Stored() const override { return stored_; }

    bool IsUnreadable(std::uint64_t offset, std::uint64_t length) override {
        std::lock_guard<std::mutex> lock(mutex_);
        return acquiryErrors_.Overlaps(offset, offset + length) || checksumErrors_.Overlaps(offset, offset + length);
    }

    bool ReadAt(std::uint64_t offset, std::uint64_t length, void* buffer) override {
        auto* out = static_cast<std::uint8_t*>(buffer);
        const std::uint64_t begin = offset, end = offset + length;
        std::lock_guard<std::mutex> lock(mutex_);
        while (length > 0) {
            libewf_error_t* error = nullptr;
            const ssize_t n = libewf_handle_read_random(handle_, out, length, static_cast<off64_t>(offset), &error);
            if (error) libewf_error_free(&error);
            if (n <= 0) return false;
            out += n;
            offset += static_cast<std::uint64_t>(n);
            length -= static_cast<std::uint64_t>(n);
        }
        NoteChecksumErrors();
        return !acquiryErrors_.Overlaps(begin, end) && !checksumErrors_.Overlaps(begin, end);
    }

private:
    void AddSectors(Ranges& to, std::uint64_t first, std::uint64_t count) const {
        to.Add(first * bytesPerSector_, (first + count) * bytesPerSector_);
    }
    // Chunks found damaged (or missing) by the reads so far become
    // unreadable. The library joins neighbouring ranges, so a range it
    // already listed may have grown: the list is taken anew.
    void NoteChecksumErrors() {
        libewf_error_t* error = nullptr;
        std::uint32_t count = 0;
        if (libewf_handle_get_number_of_checksum_errors(handle_, &count, &error) != 1) {
            if (error) libewf_error_free(&error);
            return;
        }
        if (count == 0) return;
        Ranges now;
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint64_t first = 0, sectors = 0;
            if (libewf_handle_get_checksum_error(handle_, i, &first, &sectors, &error) == 1)
                AddSectors(now, first, sectors);
            if (error) libewf_error_free(&error);
        }
        checksumErrors_ = std::move(now);
    }

    libewf_handle_t* handle_ = nullptr;
    std::mutex mutex_;  // the handle and the checksum errors
    std::uint64_t size_ = 0;
    std::uint64_t bytesPerSector_ = 512;
    bool smart_ = false;
    std::size_t segments_ = 0;
    bool damaged_ = false;
    std::string md5_, sha1_;
    StoredHashes stored_;
    Ranges acquiryErrors_;   // the acquisition's error list
    Ranges checksumErrors_;  // found by the reads
};

// The segment files of the set, from the first; just the file itself when
// its name does not follow the set's naming.
std::vector<std::string> SegmentFiles(const std::string& path) {
    char** names = nullptr;
    int count = 0;
    libewf_error_t* error = nullptr;
    std::vector<std::string> files;
    if (libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &names, &count, &error) == 1) {
        for (int i = 0; i < count; ++i) files.emplace_back(names[i]);
        libewf_glob_free(names, count, &error);
    }
    if (error) libewf_error_free(&error);
    if (files.empty()) files.push_back(path);
    return files;
}

}  // namespace

std::unique_ptr<Source> OpenEwf(const std::string& path, std::string* reason) {
    const std::vector<std::string> files = SegmentFiles(path);
    for (const std::string& f : files) {
        const std::string problem = FileKindProblem(f, FileKinds::kRegularOrBlockDevice);
        if (!problem.empty()) {
            *reason = problem;
            return nullptr;
        }
    }
    auto source = std::make_unique<EwfSource>();
    std::string why;
    if (!source->Open(files, &why)) {
        *reason = path + ": " + why;
        return nullptr;
    }
    return source;
}

}  // namespace disk
