#include "recovery/EntryExtras.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "netware/FileReader.h"
#include "netware/MountedVolume.h"
#include "netware/Timestamps.h"
#include "recovery/LinkedFiles.h"
#include "recovery/TargetFile.h"

namespace recovery {

namespace {

void PutBe32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) out[at + k] = static_cast<std::uint8_t>(v >> (24 - 8 * k));
}

constexpr std::uint32_t kAppleDoubleMagic = 0x00051607u;
constexpr std::uint32_t kAppleDoubleVersion = 0x00020000u;
constexpr std::uint32_t kEntryResourceFork = 2;
constexpr std::uint32_t kEntryFinderInfo = 9;
constexpr std::size_t kHeaderSize = 26;
constexpr std::size_t kDescriptorSize = 12;
constexpr std::size_t kSymlinkTargetLimit = 4096;

class CollectingConsumer : public nw::FileDataConsumer {
public:
    void Deliver(const std::uint8_t* data, std::uint32_t bytes) override { bytes_.insert(bytes_.end(), data, data + bytes); }
    void RunPlaced(const nw::FileByteRun& run) override { nw::AddByteRun(runs, run); }
    std::vector<std::uint8_t>& Bytes() { return bytes_; }
    std::vector<nw::FileByteRun> runs;

private:
    std::vector<std::uint8_t> bytes_;
};

void AddFailure(std::string& into, const std::string& what) { into += (into.empty() ? "" : "; ") + what; }

std::string Why(const std::string& what) { return what + ": " + std::strerror(errno); }

// Replaces the plain file `name` (its data the link's target) by a
// symbolic link holding that target; nothing is followed.
bool MakeSymbolicLink(int dirFd, const std::string& name, std::string& failure) {
    const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        AddFailure(failure, Why("symbolic link not made"));
        return false;
    }
    std::string target(kSymlinkTargetLimit, '\0');
    const ssize_t n = ::read(fd, target.data(), target.size());
    ::close(fd);
    if (n <= 0 || std::memchr(target.data(), '\0', static_cast<std::size_t>(n))) {
        AddFailure(failure, "symbolic link not made: its target is empty or not a path");
        return false;
    }
    target.resize(static_cast<std::size_t>(n));
    // Under a hidden name of its own first: nothing else in the folder is
    // removed on the way.
    if (!MakeUnderName(dirFd, name, [&](const char* hidden) { return ::symlinkat(target.c_str(), dirFd, hidden); })) {
        AddFailure(failure, Why("symbolic link not made"));
        return false;
    }
    return true;
}

// Mode, owners and times through a descriptor of the entry itself.
void ApplyToDescriptor(int fd, const nw::EntryRecord& entry, const nw::EntryNameSpaces* ns,
                       const ExtrasSettings& settings, std::string& failure) {
    if (ns && ns->Has(nw::kNameSpaceNfs)) {
        if (settings.owners && ::geteuid() == 0 && ::fchown(fd, ns->uid, ns->gid) != 0)
            AddFailure(failure, Why("owner not set"));
        if (::fchmod(fd, static_cast<mode_t>(ns->mode & 0777)) != 0) AddFailure(failure, Why("mode not set"));
    }
    if (const std::optional<SavedTimes> t = TimesOf(entry, settings.zone)) {
        const struct timespec times[2] = {t->accessed, t->modified};
        ::futimens(fd, times);  // a file system without times keeps its own
    }
}

}  // namespace

std::optional<struct timespec> PackedLocalTime(std::uint32_t packed, const nw::TimeZone& zone) {
    const std::optional<std::int64_t> seconds = nw::PackedUnixTime(packed, zone);
    if (!seconds) return std::nullopt;
    struct timespec out{};
    out.tv_sec = static_cast<std::time_t>(*seconds);
    return out;
}

std::optional<SavedTimes> TimesOf(const nw::EntryRecord& entry, const nw::TimeZone& zone) {
    std::optional<struct timespec> modified = entry.modified ? PackedLocalTime(entry.modified, zone) : std::nullopt;
    if (!modified) modified = PackedLocalTime(entry.timestamp, zone);
    if (!modified) return std::nullopt;
    std::optional<struct timespec> accessed =
        entry.accessDate ? PackedLocalTime(static_cast<std::uint32_t>(entry.accessDate) << 16, zone) : std::nullopt;
    SavedTimes t;
    t.modified = *modified;
    t.accessed = accessed ? *accessed : *modified;
    return t;
}

std::vector<std::uint8_t> AppleDoubleBytes(const std::array<std::uint8_t, 32>& finderInfo,
                                           const std::vector<std::uint8_t>& fork) {
    const bool withFork = !fork.empty();
    const std::size_t entries = withFork ? 2 : 1;
    const std::size_t dataStart = kHeaderSize + kDescriptorSize * entries;
    std::vector<std::uint8_t> out(dataStart + finderInfo.size() + fork.size(), 0);
    PutBe32(out, 0, kAppleDoubleMagic);
    PutBe32(out, 4, kAppleDoubleVersion);
    out[24] = 0;
    out[25] = static_cast<std::uint8_t>(entries);
    PutBe32(out, kHeaderSize, kEntryFinderInfo);
    PutBe32(out, kHeaderSize + 4, static_cast<std::uint32_t>(dataStart));
    PutBe32(out, kHeaderSize + 8, static_cast<std::uint32_t>(finderInfo.size()));
    std::copy(finderInfo.begin(), finderInfo.end(), out.begin() + static_cast<std::ptrdiff_t>(dataStart));
    if (withFork) {
        const std::size_t forkAt = dataStart + finderInfo.size();
        PutBe32(out, kHeaderSize + kDescriptorSize, kEntryResourceFork);
        PutBe32(out, kHeaderSize + kDescriptorSize + 4, static_cast<std::uint32_t>(forkAt));
        PutBe32(out, kHeaderSize + kDescriptorSize + 8, static_cast<std::uint32_t>(fork.size()));
        std::copy(fork.begin(), fork.end(), out.begin() + static_cast<std::ptrdiff_t>(forkAt));
    }
    return out;
}

namespace {
bool IsSymbolicLink(const nw::EntryNameSpaces* ns) {
    return ns && ns->Has(nw::kNameSpaceNfs) && (ns->linkFlag & nw::kNfsSymbolicLink) != 0;
}
}  // namespace

bool GetsCompanion(const nw::EntryRecord& file, const nw::MountedVolume& volume, const ExtrasSettings& settings) {
    const nw::EntryNameSpaces* ns = volume.nameSpaces.Find(file);
    if (!ns || settings.forks != ForkForm::AppleDouble || !(ns->HasFork() || ns->HasFinderInfo())) return false;
    return !(IsSymbolicLink(ns) && settings.links == LinkForm::Link);
}

ExtrasOutcome FinishSavedFile(int dirFd, const std::string& savedName, const nw::EntryRecord& file,
                              const nw::MountedVolume& volume, const disk::SectorReader& reader,
                              const ExtrasSettings& settings, unsigned digestKinds) {
    ExtrasOutcome out;
    const nw::EntryNameSpaces* ns = volume.nameSpaces.Find(file);
    const std::optional<SavedTimes> times = TimesOf(file, settings.zone);
    if (IsSymbolicLink(ns) && settings.links == LinkForm::Link) {
        // A link has no mode of its own to keep; its times are the entry's.
        out.link = true;
        if (MakeSymbolicLink(dirFd, savedName, out.failure) && times) {
            const struct timespec both[2] = {times->accessed, times->modified};
            ::utimensat(dirFd, savedName.c_str(), both, AT_SYMLINK_NOFOLLOW);
        }
        return out;
    }

    if (GetsCompanion(file, volume, settings)) {
        std::vector<std::uint8_t> fork;
        std::vector<nw::FileByteRun> forkRuns;
        if (ns->HasFork()) {
            nw::FileReader forkReader(volume, reader);
            CollectingConsumer consumer;
            forkReader.ReadFileData(ns->forkFirstBlock, ns->forkSize, consumer);
            fork = std::move(consumer.Bytes());
            forkRuns = std::move(consumer.runs);
            out.unreadable = forkReader.UnreadableBytes();
            if (out.unreadable)
                AddFailure(out.damage, "resource fork: " + std::to_string(out.unreadable) +
                                           " bytes could not be read (zeros in their place)");
            if (fork.size() < ns->forkSize)
                AddFailure(out.damage, "resource fork: its chain ends after " + std::to_string(fork.size()) + " of " +
                                           std::to_string(ns->forkSize) + " bytes");
            if (const std::optional<nw::VolumeSegment>& gone = forkReader.MissingSegment())
                AddFailure(out.damage, "resource fork: " + nw::MissingSegmentText(volume.currentVolume.name, gone->number));
        }
        const std::vector<std::uint8_t> bytes = AppleDoubleBytes(ns->finderInfo, fork);
        TargetFile companion;
        const std::string name = kCompanionPrefix + savedName;
        std::optional<base::Digester> digester;
        if (digestKinds) {
            digester.emplace(digestKinds);
            companion.DigestWith(&*digester);
        }
        if (!companion.CreateTemporary(dirFd, name) || !companion.Write(bytes.data(), bytes.size()) ||
            !companion.Commit(times ? &times->modified : nullptr)) {
            AddFailure(out.failure, "companion \"" + name + "\" not written: " + companion.ErrorText());
        } else {
            out.companionName = name;
            out.companionSize = bytes.size();
            if (digester) out.companionDigests = digester->Finish();
            // The fork is the companion's last part.
            const std::uint64_t forkAt = bytes.size() - fork.size();
            for (nw::FileByteRun run : forkRuns) {
                run.fileOffset += forkAt;
                out.companionRuns.push_back(run);
            }
        }
    }

    const int fd = ::openat(dirFd, savedName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        AddFailure(out.failure, Why("mode and times not set"));
        return out;
    }
    ApplyToDescriptor(fd, file, ns, settings, out.failure);
    ::close(fd);
    return out;
}

void FinishSavedFolder(int folderFd, const nw::EntryRecord& folder, const nw::MountedVolume& volume,
                       const ExtrasSettings& settings) {
    std::string failure;
    ApplyToDescriptor(folderFd, folder, volume.nameSpaces.Find(folder), settings, failure);
}

}  // namespace recovery
