#include "disk/VhdSectorMap.h"

#include <algorithm>
#include <cstring>

namespace disk {

namespace {

constexpr std::uint32_t kSector = 512;
constexpr std::uint32_t kFooterBytes = 512;
constexpr std::uint32_t kHeaderBytes = 1024;
constexpr char kFooterCookie[] = "conectix";
constexpr char kHeaderCookie[] = "cxsparse";
constexpr std::size_t kCookieBytes = 8;
constexpr std::size_t kFooterDataOffset = 16;  // where the dynamic disk header lies
constexpr std::size_t kHeaderTableOffset = 16;
constexpr std::size_t kHeaderTableEntries = 28;
constexpr std::size_t kHeaderBlockSize = 32;
constexpr std::uint32_t kUnused = 0xFFFFFFFFu;
constexpr std::uint32_t kMaxBlockBytes = 1u << 28;
constexpr std::uint32_t kMaxTableEntries = 1u << 26;  // more than the format's largest disk needs

std::uint32_t Be32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}
std::uint64_t Be64(const std::uint8_t* p) { return (std::uint64_t(Be32(p)) << 32) | Be32(p + 4); }

}  // namespace

bool VhdSectorMap::Load(const std::string& path, std::string* reason) {
    auto fail = [&](const std::string& why) {
        *reason = path + ": " + why;
        return false;
    };
    fd_ = OpenForReading(path, FileKinds::kRegularOrBlockDevice, reason);
    if (!fd_.ok()) return false;
    fileSize_ = SizeOfOpenFile(fd_.get());
    std::uint8_t footer[kFooterBytes];
    const bool atEnd = fileSize_ >= kFooterBytes && PreadAll(fd_.get(), footer, kFooterBytes, fileSize_ - kFooterBytes) &&
                       std::memcmp(footer, kFooterCookie, kCookieBytes) == 0;
    if (!atEnd && !(PreadAll(fd_.get(), footer, kFooterBytes, 0) && std::memcmp(footer, kFooterCookie, kCookieBytes) == 0))
        return fail("no VHD footer");
    std::uint8_t header[kHeaderBytes];
    const std::uint64_t headerAt = Be64(footer + kFooterDataOffset);
    if (headerAt > fileSize_ || !PreadAll(fd_.get(), header, kHeaderBytes, headerAt) ||
        std::memcmp(header, kHeaderCookie, kCookieBytes) != 0)
        return fail("no dynamic disk header");
    const std::uint64_t tableAt = Be64(header + kHeaderTableOffset);
    const std::uint32_t entries = Be32(header + kHeaderTableEntries);
    const std::uint32_t blockBytes = Be32(header + kHeaderBlockSize);
    if (blockBytes < kSector || blockBytes > kMaxBlockBytes || (blockBytes & (blockBytes - 1)) != 0)
        return fail("block size " + std::to_string(blockBytes) + " is not usable");
    if (entries > kMaxTableEntries || std::uint64_t(entries) * 4 > fileSize_) return fail("block table too large");
    blockSectors_ = blockBytes / kSector;
    bitmapBytes_ = (blockSectors_ / 8 + kSector - 1) / kSector * kSector;
    std::vector<std::uint8_t> raw(std::size_t(entries) * 4);
    if (tableAt > fileSize_ || !PreadAll(fd_.get(), raw.data(), raw.size(), tableAt)) return fail("block table unreadable");
    table_.resize(entries);
    for (std::uint32_t i = 0; i < entries; ++i) table_[i] = Be32(raw.data() + std::size_t(i) * 4);
    bitmap_.resize(bitmapBytes_);
    return true;
}

bool VhdSectorMap::Bitmap(std::uint32_t block) {
    if (cached_ && cachedBlock_ == block) return true;
    cached_ = false;
    if (!PreadAll(fd_.get(), bitmap_.data(), bitmapBytes_, std::uint64_t(table_[block]) * kSector)) return false;
    cachedBlock_ = block;
    cached_ = true;
    return true;
}

bool VhdSectorMap::ReadFile(std::uint64_t fileByte, std::uint64_t length, std::uint8_t* out) const {
    return fileByte <= fileSize_ && length <= fileSize_ - fileByte && PreadAll(fd_.get(), out, length, fileByte);
}

bool VhdSectorMap::Run(std::uint64_t sector, std::uint64_t count, std::uint64_t* run, bool* inImage,
                       std::uint64_t* fileByte) {
    const std::uint64_t block = sector / blockSectors_;
    std::uint32_t within = static_cast<std::uint32_t>(sector % blockSectors_);
    const std::uint64_t limit = std::min<std::uint64_t>(count, blockSectors_ - within);
    if (block >= table_.size() || table_[block] == kUnused) {
        *inImage = false;
        *run = limit;
        return true;
    }
    if (!Bitmap(static_cast<std::uint32_t>(block))) return false;
    auto bit = [this](std::uint32_t s) { return (bitmap_[s / 8] & (0x80u >> (s % 8))) != 0; };
    *inImage = bit(within);
    *fileByte = std::uint64_t(table_[block]) * kSector + bitmapBytes_ + std::uint64_t(within) * kSector;
    std::uint64_t n = 1;
    while (n < limit && bit(within + static_cast<std::uint32_t>(n)) == *inImage) ++n;
    *run = n;
    return true;
}

}  // namespace disk
