#include "disk/SourceFormat.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstring>

#include "disk/PosixFile.h"

namespace disk {

namespace {

constexpr std::size_t kHeadBytes = 512;  // read from the start of the file
constexpr std::size_t kVhdFooterBytes = 512;
constexpr std::size_t kOldVhdFooterBytes = 511;  // written by some early tools

constexpr char kQcowMagic[] = "QFI\xfb";
constexpr char kVhdxMagic[] = "vhdxfile";
constexpr char kVhdFooterCookie[] = "conectix";
constexpr char kVmdkSparseMagic[] = "KDMV";
constexpr char kVmdkEsxSparseMagic[] = "COWD";
constexpr char kVmdkDescriptorHeader[] = "# Disk DescriptorFile";
constexpr char kEwfMagic[] = "EVF\x09\x0d\x0a\xff\x00";
constexpr char kEwf2Magic[] = "EVF2\x0d\x0a\x81\x00";

template <std::size_t N>
bool StartsWith(const std::uint8_t* data, std::size_t size, const char (&magic)[N]) {
    return size >= N - 1 && std::memcmp(data, magic, N - 1) == 0;
}

// A VMDK descriptor is text that starts with its header line (after a
// byte order mark or blank space).
bool IsVmdkDescriptor(const std::uint8_t* data, std::size_t size) {
    std::size_t i = 0;
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) i = 3;
    while (i < size && (data[i] == ' ' || data[i] == '\t' || data[i] == '\r' || data[i] == '\n')) ++i;
    return StartsWith(data + i, size - i, kVmdkDescriptorHeader);
}

bool HasVhdFooter(int fd, std::uint64_t size) {
    for (std::size_t footer : {kVhdFooterBytes, kOldVhdFooterBytes}) {
        std::uint8_t cookie[sizeof kVhdFooterCookie - 1] = {};
        if (size >= footer + kHeadBytes && PreadAll(fd, cookie, sizeof cookie, size - footer) &&
            StartsWith(cookie, sizeof cookie, kVhdFooterCookie))
            return true;
    }
    return false;
}

}  // namespace

SourceFormat DetectFormat(int fd) {
    const std::uint64_t size = SizeOfOpenFile(fd);
    std::uint8_t head[kHeadBytes] = {};
    const std::size_t got = size < kHeadBytes ? static_cast<std::size_t>(size) : kHeadBytes;
    if (got == 0 || !PreadAll(fd, head, got, 0)) return SourceFormat::kRaw;
    if (StartsWith(head, got, kQcowMagic)) return SourceFormat::kQcow;
    if (StartsWith(head, got, kVhdxMagic)) return SourceFormat::kVhdx;
    if (StartsWith(head, got, kVhdFooterCookie)) return SourceFormat::kVhd;
    if (StartsWith(head, got, kVmdkSparseMagic) || StartsWith(head, got, kVmdkEsxSparseMagic) ||
        IsVmdkDescriptor(head, got))
        return SourceFormat::kVmdk;
    if (StartsWith(head, got, kEwfMagic) || StartsWith(head, got, kEwf2Magic)) return SourceFormat::kEwf;
    // A device's last sector is not read for this: on a failing drive the
    // read may take long, and a fixed VHD copied onto a device is no device.
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && HasVhdFooter(fd, size)) return SourceFormat::kVhd;
    return SourceFormat::kRaw;
}

const char* FormatName(SourceFormat format) {
    switch (format) {
        case SourceFormat::kRaw: return "raw";
        case SourceFormat::kSplitRaw: return "split raw";
        case SourceFormat::kEwf: return "EWF";
        case SourceFormat::kVmdk: return "VMDK";
        case SourceFormat::kVhd: return "VHD";
        case SourceFormat::kVhdx: return "VHDX";
        case SourceFormat::kQcow: return "QCOW";
    }
    return "raw";
}

}  // namespace disk
