#include "records/RecoveryLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <new>

#include <openssl/evp.h>

#include "netware/FolderTree.h"
#include "netware/MountedVolume.h"
#include "records/SafeFile.h"

namespace records {

namespace {

// The largest block a volume has: 64 KiB.
constexpr std::uint32_t kMaxLogSectorsPerBlock = 128;

// Bytes of the fixed numbers after a descriptor's name.
constexpr std::size_t kDescriptorNumbersBytes = 4 * 4 + 8 + 8 + 4 + 4;

// ---- writing -------------------------------------------------------------------

class ByteWriter {
public:
    virtual ~ByteWriter() = default;
    virtual void Write(const void* data, std::size_t size) = 0;
    void U8(std::uint8_t v) { Write(&v, 1); }
    void U16(std::uint16_t v) {
        std::uint8_t b[2];
        nw::StoreLe16(b, v);
        Write(b, 2);
    }
    void U32(std::uint32_t v) {
        std::uint8_t b[4];
        nw::StoreLe32(b, v);
        Write(b, 4);
    }
    void U64(std::uint64_t v) {
        std::uint8_t b[8];
        nw::StoreLe64(b, v);
        Write(b, 8);
    }
    void Text(const std::string& s, std::size_t n) { Write(s.data(), n); }
};

class VectorWriter : public ByteWriter {
public:
    void Write(const void* data, std::size_t size) override {
        const auto* p = static_cast<const std::uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + size);
    }
    std::vector<std::uint8_t> bytes;
};

// SHA-256 over bytes given in pieces.
class Sha256 {
public:
    Sha256() : ctx_(EVP_MD_CTX_new()) { ok_ = ctx_ && EVP_DigestInit_ex(ctx_, EVP_sha256(), nullptr) == 1; }
    ~Sha256() { EVP_MD_CTX_free(ctx_); }
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    void Update(const void* data, std::size_t size) {
        if (ok_ && size) ok_ = EVP_DigestUpdate(ctx_, data, size) == 1;
    }
    // Lower-case hex, empty when the digest could not be made.
    std::string Hex() {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (!ok_ || EVP_DigestFinal_ex(ctx_, digest, &length) != 1) return {};
        ok_ = false;
        static const char kDigits[] = "0123456789abcdef";
        std::string hex;
        for (unsigned int i = 0; i < length; ++i) {
            hex += kDigits[digest[i] >> 4];
            hex += kDigits[digest[i] & 15];
        }
        return hex;
    }

private:
    EVP_MD_CTX* ctx_;
    bool ok_ = false;
};

class FileWriter : public ByteWriter {
public:
    explicit FileWriter(ReplacingFile& file) : file_(file) {}
    void Write(const void* data, std::size_t size) override {
        file_.Write(data, size);
        sum.Update(data, size);
    }
    Sha256 sum;

private:
    ReplacingFile& file_;
};

void WriteNumbers(ByteWriter& w, const nw::VolumeDescriptor& v) {
    w.U32(v.fat1FirstBlock);
    w.U32(v.fat2FirstBlock);
    w.U32(v.det1FirstBlock);
    w.U32(v.det2FirstBlock);
    w.U64(v.sizeInSectors);
    w.U64(v.startSector);
    w.U32(v.blockCount);
    w.U32(v.sectorsPerBlock);
}

// A name length field of one byte cannot describe more than 255 bytes; a
// longer name is cut rather than letting the length disagree with the bytes.
std::size_t VolumeNameBytes(const std::string& name) { return std::min(name.size(), kMaxVolumeNameBytes); }

void WriteEntry(ByteWriter& w, const nw::EntryRecord& r) {
    const std::size_t n = std::min(r.name.size(), nw::kMaxEntryNameLength);
    w.U32(static_cast<std::uint32_t>(n + kEntryRecordFixedBytes));
    w.U8(r.attributes);
    w.U8(r.attributesHigh);
    w.Text(r.name, n);
    w.U32(r.parentNumber);
    w.U32(r.ownNumber);
    w.U32(r.size);
    w.U32(r.firstBlock);
    w.U32(r.timestamp);
    w.U32(r.deletedMarker);
}

template <typename Entries>
void WriteEntries(ByteWriter& w, const Entries& entries) {
    std::uint32_t count = 0;
    for (const nw::EntryRecord& r : entries) {
        (void)r;
        ++count;
    }
    w.U32(count);
    for (const nw::EntryRecord& r : entries) WriteEntry(w, r);
}

// Everything but the entry lists comes from `head`; the lists from the given
// containers (the job's lists when saving, parsed vectors otherwise).
template <typename Folders, typename Files>
void Encode(ByteWriter& w, const RecoveryLogContents& head, const Folders& folders, const Files& files) {
    w.Write(kRecoveryLogHeader, kRecoveryLogHeaderSize);
    w.U32(static_cast<std::uint32_t>(head.diskModel.size()));
    w.Text(head.diskModel, head.diskModel.size());
    w.U8(head.mode);
    w.U8(head.diskNumber);
    const std::size_t n = VolumeNameBytes(head.volume.name);
    w.U8(static_cast<std::uint8_t>(n));
    w.Text(head.volume.name, n);
    WriteNumbers(w, head.volume);
    w.U16(head.mountedMark);
    // The callers refuse a list longer than the count byte holds.
    w.U8(static_cast<std::uint8_t>(head.volumes.size()));
    for (const nw::VolumeDescriptor& d : head.volumes) {
        const std::size_t m = VolumeNameBytes(d.name);
        w.U8(static_cast<std::uint8_t>(m));
        w.Text(d.name, m);
        WriteNumbers(w, d);
    }
    WriteEntries(w, folders);
    WriteEntries(w, files);
    for (std::uint32_t value : head.suballocationTable) w.U32(value);
    w.U32(static_cast<std::uint32_t>(head.fatBlocks.size()));
    for (std::uint32_t block : head.fatBlocks) w.U32(block);
}

// The state without its entry lists.
RecoveryLogContents CaptureHead(const std::string& diskModel, int mode, unsigned diskNumber,
                                const nw::FoundVolumes& found, const nw::MountedVolume& mounted) {
    RecoveryLogContents log;
    log.diskModel = diskModel;
    log.mode = static_cast<std::uint8_t>(mode);
    log.diskNumber = static_cast<std::uint8_t>(diskNumber);
    log.volume = mounted.currentVolume;
    log.mountedMark = mounted.mountedMark;
    log.volumes = found.Snapshot();
    log.suballocationTable = mounted.SuballocationTable;
    log.fatBlocks.reserve(mounted.FatBlockList.size());
    for (const nw::BlockNode& node : mounted.FatBlockList) log.fatBlocks.push_back(node.block);
    return log;
}

// ---- reading -------------------------------------------------------------------

// A source of bytes whose total length is known in advance, so that every
// count can be checked against what is left before anything is allocated.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    std::uint64_t Remaining() const { return remaining_; }
    bool Take(void* out, std::size_t n) {
        if (n > remaining_) return false;
        if (!Fill(out, n)) return false;
        remaining_ -= n;
        return true;
    }

protected:
    explicit ByteSource(std::uint64_t total) : remaining_(total) {}
    virtual bool Fill(void* out, std::size_t n) = 0;

private:
    std::uint64_t remaining_;
};

class MemorySource : public ByteSource {
public:
    MemorySource(const std::uint8_t* data, std::size_t size) : ByteSource(size), p_(data) {}

protected:
    bool Fill(void* out, std::size_t n) override {
        if (n) std::memcpy(out, p_, n);
        p_ += n;
        return true;
    }

private:
    const std::uint8_t* p_;
};

class FileSource : public ByteSource {
public:
    FileSource(int fd, std::uint64_t size) : ByteSource(size), fd_(fd) {}
    int error = 0;

protected:
    bool Fill(void* out, std::size_t n) override {
        auto* dst = static_cast<std::uint8_t*>(out);
        while (n > 0) {
            if (pos_ == end_) {
                ssize_t got = ::read(fd_, buffer_, sizeof buffer_);
                if (got < 0 && errno == EINTR) continue;
                if (got <= 0) {
                    error = got < 0 ? errno : 0;
                    return false;
                }
                pos_ = 0;
                end_ = static_cast<std::size_t>(got);
            }
            const std::size_t k = std::min(n, end_ - pos_);
            std::memcpy(dst, buffer_ + pos_, k);
            pos_ += k;
            dst += k;
            n -= k;
        }
        return true;
    }

private:
    int fd_;
    std::uint8_t buffer_[1 << 16];
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
};

class Parser {
public:
    explicit Parser(ByteSource& in) : in_(in) {}

    bool Parse(RecoveryLogContents* log, bool keepEntries) {
        char header[kRecoveryLogHeaderSize];
        if (!in_.Take(header, sizeof header) ||
            std::memcmp(header, kRecoveryLogHeader, kRecoveryLogHeaderSize) != 0)
            return Fail("not a recovery log (the header does not match)");
        std::uint32_t modelLength = 0;
        if (!U32(modelLength)) return false;
        if (!Text(modelLength, log->diskModel, "the disk model")) return false;
        if (!U8(log->mode) || !U8(log->diskNumber)) return false;
        if (log->mode != 1 && log->mode != 2)
            return Fail("unknown recovery mode " + std::to_string(log->mode));
        if (!Descriptor(log->volume, "the volume name")) return false;
        if (!U16(log->mountedMark)) return false;

        std::uint8_t volumeCount = 0;
        if (!U8(volumeCount)) return false;
        if (static_cast<std::uint64_t>(volumeCount) * kVolumeRecordFixedBytes > in_.Remaining())
            return Fail("the volume count is larger than the file can hold");
        log->volumes.assign(volumeCount, nw::VolumeDescriptor{});
        for (nw::VolumeDescriptor& d : log->volumes)
            if (!Descriptor(d, "a volume record")) return false;

        if (!Entries(log->folders, keepEntries, "folder")) return false;
        if (!Entries(log->files, keepEntries, "file")) return false;

        for (std::uint32_t& value : log->suballocationTable)
            if (!U32(value)) return false;
        std::uint32_t fatCount = 0;
        if (!U32(fatCount)) return false;
        if (static_cast<std::uint64_t>(fatCount) * 4 > in_.Remaining())
            return Fail("the FAT block count is larger than the file can hold");
        log->fatBlocks.assign(fatCount, 0);
        for (std::uint32_t& block : log->fatBlocks)
            if (!U32(block)) return false;
        if (in_.Remaining() != 0)
            return Fail(std::to_string(in_.Remaining()) + " bytes follow the end of the log");
        return true;
    }

    std::string reason;

private:
    bool Fail(const std::string& why) {
        if (reason.empty()) reason = why;
        return false;
    }
    bool Bytes(void* out, std::size_t n) { return in_.Take(out, n) || Fail("the file ends early"); }
    bool U8(std::uint8_t& v) { return Bytes(&v, 1); }
    bool U16(std::uint16_t& v) {
        std::uint8_t b[2];
        if (!Bytes(b, 2)) return false;
        v = nw::LoadLe16(b);
        return true;
    }
    bool U32(std::uint32_t& v) {
        std::uint8_t b[4];
        if (!Bytes(b, 4)) return false;
        v = nw::LoadLe32(b);
        return true;
    }
    bool U64(std::uint64_t& v) {
        std::uint8_t b[8];
        if (!Bytes(b, 8)) return false;
        v = nw::LoadLe64(b);
        return true;
    }
    bool Text(std::uint64_t n, std::string& out, const char* what) {
        if (n > in_.Remaining()) return Fail(std::string(what) + " is longer than the file can hold");
        out.resize(static_cast<std::size_t>(n));
        return Bytes(out.data(), out.size());
    }
    bool Descriptor(nw::VolumeDescriptor& d, const char* what) {
        std::uint8_t n = 0;
        if (!U8(n) || !Text(n, d.name, what)) return false;
        if (in_.Remaining() < kDescriptorNumbersBytes) return Fail("the file ends early");
        if (!(U32(d.fat1FirstBlock) && U32(d.fat2FirstBlock) && U32(d.det1FirstBlock) && U32(d.det2FirstBlock) &&
              U64(d.sizeInSectors) && U64(d.startSector) && U32(d.blockCount) && U32(d.sectorsPerBlock)))
            return false;
        // Reads go a block at a time: a block larger than any volume has
        // would make one read of a file gigabytes long.
        if (d.sectorsPerBlock > kMaxLogSectorsPerBlock)
            return Fail("a volume's blocks of " + std::to_string(d.sectorsPerBlock) + " sectors are larger than " +
                        std::to_string(kMaxLogSectorsPerBlock));
        return true;
    }
    bool Entries(std::vector<nw::EntryRecord>& out, bool keep, const char* kind) {
        std::uint32_t count = 0;
        if (!U32(count)) return false;
        // The smallest record is its length field plus 26 bytes.
        if (static_cast<std::uint64_t>(count) * (4 + kEntryRecordFixedBytes) > in_.Remaining())
            return Fail(std::string("the ") + kind + " count is larger than the file can hold");
        out.clear();
        if (keep) out.reserve(count);
        nw::EntryRecord r;
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint32_t length = 0;
            if (!U32(length)) return false;
            if (length < kEntryRecordFixedBytes) return Fail(std::string("a ") + kind + " record is too short");
            if (length - kEntryRecordFixedBytes > nw::kMaxEntryNameLength)
                return Fail(std::string("a ") + kind + " name is longer than 254 bytes");
            if (length > in_.Remaining()) return Fail("the file ends early");
            if (!U8(r.attributes) || !U8(r.attributesHigh) ||
                !Text(length - kEntryRecordFixedBytes, r.name, "a name") || !U32(r.parentNumber) ||
                !U32(r.ownNumber) || !U32(r.size) || !U32(r.firstBlock) || !U32(r.timestamp) ||
                !U32(r.deletedMarker))
                return false;
            if (keep) out.push_back(r);
        }
        return true;
    }

    ByteSource& in_;
};

bool ParseFrom(ByteSource& in, RecoveryLogContents* log, std::string* reason, bool keepEntries) {
    Parser p(in);
    bool ok = false;
    try {
        ok = p.Parse(log, keepEntries);
    } catch (const std::bad_alloc&) {
        p.reason = "not enough memory to read it";
        ok = false;
    }
    if (!ok && reason) *reason = p.reason.empty() ? "the file cannot be read" : p.reason;
    return ok;
}

// ---- taking a loaded log ----------------------------------------------------------

void TakeVolumeList(RecoveryLogContents& log, nw::FoundVolumes& found) {
    found.Clear();
    for (nw::VolumeDescriptor& d : log.volumes) {
        d.disk = log.diskNumber;
        found.Add(d);
    }
}

void TakeMountedVolume(RecoveryLogContents& log, nw::MountedVolume& mounted) {
    mounted.ClearContents();
    mounted.currentVolume = std::move(log.volume);
    mounted.currentVolume.disk = log.diskNumber;
    mounted.mountedMark = log.mountedMark;
    // Ordinals count from 0 here (a mount counts from 1); the log holds no
    // directory sectors.
    auto append = [](nw::EntryList& list, std::vector<nw::EntryRecord>& records) {
        std::uint32_t ordinal = 0;
        for (nw::EntryRecord& r : records) {
            r.ordinal = ordinal++;
            r.treeNode = nw::kNoNode;
            r.det1Sector = 0;
            r.det2Sector = 0;
            r.slot = 0;
            list.Append(std::move(r));
        }
        records.clear();
        records.shrink_to_fit();
    };
    append(mounted.FolderList, log.folders);
    append(mounted.FileList, log.files);

    mounted.SuballocationTable = log.suballocationTable;
    mounted.FatBlockList.reserve(log.fatBlocks.size());
    for (std::size_t i = 0; i < log.fatBlocks.size(); ++i)
        mounted.FatBlockList.push_back({static_cast<std::uint32_t>(i), log.fatBlocks[i]});
    mounted.folderCount = static_cast<std::uint32_t>(mounted.FolderList.Size());
    mounted.fileCount = static_cast<std::uint32_t>(mounted.FileList.Size());
    nw::PopulateFolderTree(mounted);
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

std::string LogFileNameFor(const std::string& chosenPath) {
    const std::size_t slash = chosenPath.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::string path = chosenPath.substr(0, nameStart) + Upper(chosenPath.substr(nameStart));
    if (path.size() < 3 || path.compare(path.size() - 3, 3, "SAV") != 0) path += ".SAV";
    return path;
}

RecoveryLogContents CaptureRecoveryLog(const std::string& diskModel, int mode, unsigned diskNumber,
                                       const nw::FoundVolumes& found, const nw::MountedVolume& mounted) {
    RecoveryLogContents log = CaptureHead(diskModel, mode, diskNumber, found, mounted);
    log.folders.assign(mounted.FolderList.begin(), mounted.FolderList.end());
    log.files.assign(mounted.FileList.begin(), mounted.FileList.end());
    return log;
}

std::string TooManyLogVolumesText(std::size_t volumeCount) {
    return "The log can list at most " + std::to_string(kMaxLogVolumes) + " volumes, " +
           std::to_string(volumeCount) + " were found: the log was not saved";
}

std::vector<std::uint8_t> EncodeRecoveryLog(const RecoveryLogContents& log) {
    if (log.volumes.size() > kMaxLogVolumes) return {};
    VectorWriter out;
    Encode(out, log, log.folders, log.files);
    return std::move(out.bytes);
}

namespace {

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The log, then its checksum beside it. An earlier checksum goes first, so
// that no moment pairs the new log with the old sum; a log whose sum could
// not be written is still a log (it loads as an older log does), but the
// caller hears why.
enum class Written { CannotOpen, Nothing, LogOnly, Both };
template <typename Folders, typename Files>
Written WriteLogFile(const std::string& path, const RecoveryLogContents& head, const Folders& folders,
                     const Files& files, std::string* reason) {
    if (head.volumes.size() > kMaxLogVolumes) {
        if (reason) *reason = TooManyLogVolumesText(head.volumes.size());
        return Written::Nothing;
    }
    ReplacingFile file;
    if (!file.Open(path, reason)) return Written::CannotOpen;
    FileWriter out(file);
    Encode(out, head, folders, files);
    const std::string sumPath = LogChecksumPathFor(path);
    if (::unlink(sumPath.c_str()) != 0 && errno != ENOENT) {
        if (reason) *reason = sumPath + ": " + std::strerror(errno);
        return Written::Nothing;
    }
    if (!file.Commit(reason)) return Written::Nothing;
    const std::string hex = out.sum.Hex();
    ReplacingFile sum;
    if (hex.empty()) {
        if (reason) *reason = sumPath + ": the checksum could not be computed";
        return Written::LogOnly;
    }
    if (!sum.Open(sumPath, reason)) return Written::LogOnly;
    sum.Write(hex + "  " + BaseName(path) + "\n");
    return sum.Commit(reason) ? Written::Both : Written::LogOnly;
}

}  // namespace

bool WriteRecoveryLogFile(const std::string& path, const RecoveryLogContents& log, std::string* reason) {
    return WriteLogFile(path, log, log.folders, log.files, reason) == Written::Both;
}

std::string LogChecksumPathFor(const std::string& logPath) { return logPath + ".sha256"; }

LogChecksum CheckLogChecksum(const std::string& logPath) {
    // The sum file is a line of 64 hex digits, a space, a space or '*', and
    // a name; only the digits are compared (a renamed pair still agrees).
    const int sumFd = ::open(LogChecksumPathFor(logPath).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (sumFd < 0) return errno == ENOENT ? LogChecksum::Absent : LogChecksum::Wrong;
    char line[128];
    ssize_t got;
    do got = ::read(sumFd, line, sizeof line);
    while (got < 0 && errno == EINTR);
    ::close(sumFd);
    if (got < 66) return LogChecksum::Wrong;
    std::string expected(line, 64);
    for (char& c : expected) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (!std::isxdigit(static_cast<unsigned char>(c))) return LogChecksum::Wrong;
    }
    if (line[64] != ' ' || (line[65] != ' ' && line[65] != '*')) return LogChecksum::Wrong;

    const int fd = ::open(logPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return LogChecksum::Wrong;
    Sha256 sum;
    std::vector<std::uint8_t> buffer(1 << 16);
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return LogChecksum::Wrong;
        }
        if (n == 0) break;
        sum.Update(buffer.data(), static_cast<std::size_t>(n));
    }
    ::close(fd);
    return sum.Hex() == expected ? LogChecksum::Matches : LogChecksum::Wrong;
}

bool DecodeRecoveryLog(const std::uint8_t* data, std::size_t size, RecoveryLogContents* log, std::string* reason,
                       bool keepEntries) {
    MemorySource in(data, size);
    return ParseFrom(in, log, reason, keepEntries);
}

bool ReadRecoveryLogFile(const std::string& path, RecoveryLogContents* log, std::string* reason, bool keepEntries) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (reason) *reason = std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (reason) *reason = "not a regular file";
        ::close(fd);
        return false;
    }
    FileSource in(fd, static_cast<std::uint64_t>(st.st_size));
    const bool ok = ParseFrom(in, log, reason, keepEntries);
    if (!ok && in.error && reason) *reason = std::strerror(in.error);
    ::close(fd);
    return ok;
}

SaveLogResult SaveLog(const std::string& chosenPath, const std::string& diskModel, int mode, unsigned diskNumber,
                      const nw::FoundVolumes& found, const nw::MountedVolume& mounted) {
    SaveLogResult result;
    result.path = LogFileNameFor(chosenPath);
    const RecoveryLogContents head = CaptureHead(diskModel, mode, diskNumber, found, mounted);
    if (head.volumes.size() > kMaxLogVolumes) {
        result.message = TooManyLogVolumesText(head.volumes.size());
        return result;
    }
    std::string reason;
    const Written written = WriteLogFile(result.path, head, mounted.FolderList, mounted.FileList, &reason);
    if (written == Written::CannotOpen) {
        result.message = kUnableToOpenFile;
        return result;
    }
    if (written != Written::Both) {
        // Nothing: the old file (if any) is still in place. The log only:
        // it is there, without its checksum.
        result.message = std::string(kUnableToOpenFile) + ": " + reason;
        return result;
    }
    result.written = true;
    return result;
}

namespace {

// Reads the whole log; on refusal `result` carries the message.
bool ReadForLoad(const std::string& path, bool keepEntries, RecoveryLogContents* log, LoadLogResult* result) {
    // The message names the file and why (the system's reason when it
    // cannot be opened or read).
    if (CheckLogChecksum(path) == LogChecksum::Wrong) {
        result->message = kLogDoesNotMatchText;
        return false;
    }
    std::string reason;
    if (!ReadRecoveryLogFile(path, log, &reason, keepEntries)) {
        result->message = std::string(kUnableToOpenFile) + ": " + path + ": " + reason;
        return false;
    }
    result->taken = true;
    result->mode = log->mode;
    result->diskNumber = log->diskNumber;
    result->diskModel = log->diskModel;
    return true;
}

}  // namespace

LoadLogResult CheckLog(const std::string& path) {
    LoadLogResult result;
    RecoveryLogContents log;
    ReadForLoad(path, false, &log, &result);
    return result;
}

LoadLogResult LoadVolumeList(const std::string& path, nw::FoundVolumes& found) {
    LoadLogResult result;
    // The entry records are checked without being kept.
    RecoveryLogContents log;
    if (ReadForLoad(path, false, &log, &result)) TakeVolumeList(log, found);
    return result;
}

LoadLogResult LoadMounted(const std::string& path, nw::MountedVolume& mounted,
                          const std::function<std::string(const RecoveryLogContents&)>& check) {
    LoadLogResult result;
    RecoveryLogContents log;
    if (!ReadForLoad(path, true, &log, &result)) return result;
    if (check) {
        result.message = check(log);
        if (!result.message.empty()) {
            result.taken = false;
            return result;
        }
    }
    try {
        TakeMountedVolume(log, mounted);
    } catch (const std::bad_alloc&) {
        mounted.ClearContents();
        result.taken = false;
        result.outOfMemory = true;
        result.message = kOutOfMemoryText;
    }
    return result;
}

}  // namespace records
