#include "disk/PartitionTable.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <set>

#include "base/Bytes.h"
#include "disk/Disk.h"
#include "disk/SectorReader.h"

namespace disk {
namespace {

constexpr std::uint8_t kProtectiveType = 0xEE;

bool IsExtendedType(std::uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }

struct MbrEntry {
    std::uint8_t type = 0;
    std::uint32_t first = 0;
    std::uint32_t count = 0;
};

std::array<MbrEntry, 4> EntriesOf(const std::uint8_t* sector) {
    std::array<MbrEntry, 4> entries;
    for (unsigned i = 0; i < 4; ++i) {
        const std::uint8_t* e = sector + 0x1BE + 16 * i;
        entries[i] = {e[4], base::LoadLe32(e + 8), base::LoadLe32(e + 12)};
    }
    return entries;
}

bool HasBootSignature(const std::uint8_t* sector) { return sector[510] == 0x55 && sector[511] == 0xAA; }

// Reads sectors through the policy and notes those that could not be read.
bool ReadNoting(const SectorReader& reader, unsigned disk, std::uint64_t start, std::uint32_t count, void* buffer,
                PartitionTable& table) {
    const ReadStatus status = reader.Read(disk, start, count, buffer);
    for (const UnreadRun& run : status.Runs()) table.unread.push_back({start + run.offset, run.count, run.reason});
    return status.Ok();
}

std::string Num(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(value));
    return text;
}

// The logical partitions behind the extended partition at `extStart`: each
// extended boot record holds the logical partition (relative to itself) and
// the link to the next record (relative to the extended partition).
void ReadLogical(const SectorReader& reader, unsigned disk, std::uint64_t extStart, std::uint64_t extSectors,
                 PartitionTable& table) {
    std::vector<std::uint8_t> sector(kSectorSize);
    std::set<std::uint64_t> visited;
    std::uint64_t ebr = extStart;
    unsigned number = 5;
    while (number < 5 + kMaxLogicalPartitions) {
        if (!visited.insert(ebr).second) {
            table.problems.push_back("the extended partition chain loops back to sector " + Num(ebr));
            return;
        }
        if (!ReadNoting(reader, disk, ebr, 1, sector.data(), table)) {
            table.problems.push_back("the extended boot record at sector " + Num(ebr) + " could not be read");
            return;
        }
        if (!HasBootSignature(sector.data())) {
            table.problems.push_back("sector " + Num(ebr) + " is no extended boot record");
            return;
        }
        const std::array<MbrEntry, 4> e = EntriesOf(sector.data());
        if (e[0].type != 0 && e[0].count != 0) {
            Partition p;
            p.number = number++;
            p.start = ebr + e[0].first;
            p.sectors = e[0].count;
            p.mbrType = e[0].type;
            table.partitions.push_back(p);
        }
        if (!IsExtendedType(e[1].type) || e[1].count == 0) return;
        const std::uint64_t next = extStart + e[1].first;
        if (e[1].first == 0 || next >= extStart + extSectors) {
            table.problems.push_back("the extended boot record at sector " + Num(ebr) +
                                     " links outside the extended partition");
            return;
        }
        ebr = next;
    }
    table.problems.push_back("more than " + std::to_string(kMaxLogicalPartitions) +
                             " logical partitions: the rest are not listed");
}

std::string GuidText(const std::uint8_t* g) {
    char text[40];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", base::LoadLe32(g),
                  base::LoadLe16(g + 4), base::LoadLe16(g + 6), g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
    return text;
}

std::string Utf8OfUtf16(const std::uint8_t* p, std::size_t units) {
    std::string out;
    for (std::size_t i = 0; i < units; ++i) {
        std::uint32_t c = base::LoadLe16(p + 2 * i);
        if (c == 0) break;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units) {
            const std::uint32_t low = base::LoadLe16(p + 2 * (i + 1));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// The GPT whose header is at `headerSector`; false when that sector holds
// no header ("EFI PART").
bool ReadGpt(const SectorReader& reader, unsigned disk, std::uint64_t headerSector, std::uint64_t diskSectors,
             PartitionTable& table) {
    std::vector<std::uint8_t> header(kSectorSize);
    if (!ReadNoting(reader, disk, headerSector, 1, header.data(), table)) return false;
    if (std::memcmp(header.data(), "EFI PART", 8) != 0) return false;
    const std::uint32_t headerSize = base::LoadLe32(header.data() + 12);
    if (headerSize >= 92 && headerSize <= kSectorSize) {
        std::vector<std::uint8_t> copy(header.begin(), header.begin() + headerSize);
        const std::uint32_t stored = base::LoadLe32(copy.data() + 16);
        std::memset(copy.data() + 16, 0, 4);
        if (Crc32(copy.data(), copy.size()) != stored)
            table.problems.push_back("the GPT header at sector " + Num(headerSector) + " has a wrong checksum");
    } else {
        table.problems.push_back("the GPT header at sector " + Num(headerSector) + " has a wrong size");
    }
    const std::uint64_t entriesAt = base::LoadLe64(header.data() + 72);
    std::uint32_t count = base::LoadLe32(header.data() + 80);
    const std::uint32_t entrySize = base::LoadLe32(header.data() + 84);
    if (entrySize < 128 || entrySize > 4096 || entrySize % 8 != 0) {
        table.problems.push_back("the GPT entries have a size of " + std::to_string(entrySize) + " bytes");
        table.scheme = PartitionScheme::Gpt;
        return true;
    }
    if (count > kMaxGptEntries) {
        table.problems.push_back("the GPT claims " + std::to_string(count) + " entries: the first " +
                                 std::to_string(kMaxGptEntries) + " are read");
        count = kMaxGptEntries;
    }
    const std::uint64_t bytes = static_cast<std::uint64_t>(count) * entrySize;
    const std::uint32_t sectors = static_cast<std::uint32_t>((bytes + kSectorSize - 1) / kSectorSize);
    if (entriesAt == 0 || (diskSectors && entriesAt >= diskSectors)) {
        table.problems.push_back("the GPT entries lie outside the disk");
        table.scheme = PartitionScheme::Gpt;
        return true;
    }
    std::vector<std::uint8_t> entries(static_cast<std::size_t>(sectors) * kSectorSize);
    ReadNoting(reader, disk, entriesAt, sectors, entries.data(), table);
    if (Crc32(entries.data(), static_cast<std::size_t>(bytes)) != base::LoadLe32(header.data() + 88))
        table.problems.push_back("the GPT entries have a wrong checksum");
    table.scheme = PartitionScheme::Gpt;
    static const std::uint8_t kZero[16] = {};
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* e = entries.data() + static_cast<std::size_t>(i) * entrySize;
        if (std::memcmp(e, kZero, 16) == 0) continue;
        const std::uint64_t first = base::LoadLe64(e + 32), last = base::LoadLe64(e + 40);
        if (last < first) {
            table.problems.push_back("GPT entry " + std::to_string(i + 1) + " ends before it starts");
            continue;
        }
        Partition p;
        p.number = i + 1;
        p.start = first;
        p.sectors = last - first + 1;
        p.typeGuid = GuidText(e);
        p.gptName = Utf8OfUtf16(e + 56, 36);
        table.partitions.push_back(p);
    }
    return true;
}

}  // namespace

std::string Partition::TypeText() const {
    if (!typeGuid.empty()) {
        const std::string name = GptTypeName(typeGuid);
        return name.empty() ? typeGuid : name;
    }
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", mbrType);
    return text;
}

std::string GptTypeName(const std::string& typeGuid) {
    static const struct {
        const char* guid;
        const char* name;
    } kTypes[] = {
        {"C12A7328-F81F-11D2-BA4B-00A0C93EC93B", "EFI system"},
        {"21686148-6449-6E6F-744E-656564454649", "BIOS boot"},
        {"E3C9E316-0B5C-4DB8-817D-F92DF00215AE", "Microsoft reserved"},
        {"EBD0A0A2-B9E5-4433-87C0-68B6B72699C7", "Microsoft basic data"},
        {"DE94BBA4-06D1-4D40-A16A-BFD50179D6AC", "Windows recovery"},
        {"0FC63DAF-8483-4772-8E79-3D69D8477DE4", "Linux filesystem"},
        {"0657FD6D-A4AB-43C4-84E5-0933C84B4F4F", "Linux swap"},
        {"E6D6D379-F507-44C2-A23C-238F2A3DF928", "Linux LVM"},
        {"A19D880F-05FC-4D3B-A006-743F0F84911E", "Linux RAID"},
        {"4F68BCE3-E8CD-4DB1-96E7-FBCAF984B709", "Linux root (x86-64)"},
        {"933AC7E1-2EB4-4F13-B844-0E14E2AEF915", "Linux home"},
        {"48465300-0000-11AA-AA11-00306543ECAC", "Apple HFS+"},
        {"7C3457EF-0000-11AA-AA11-00306543ECAC", "Apple APFS"},
    };
    for (const auto& t : kTypes)
        if (typeGuid == t.guid) return t.name;
    return "";
}

std::uint32_t Crc32(const void* data, std::size_t size) {
    static const std::array<std::uint32_t, 256> kTable = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    const auto* p = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i) crc = kTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

PartitionTable ReadPartitionTable(const SectorReader& reader, unsigned disk) {
    PartitionTable table;
    std::vector<std::uint8_t> mbr(kSectorSize);
    if (!ReadNoting(reader, disk, 0, 1, mbr.data(), table)) {
        table.problems.push_back("sector 0 could not be read");
        return table;
    }
    if (!HasBootSignature(mbr.data())) return table;
    const std::array<MbrEntry, 4> entries = EntriesOf(mbr.data());
    const std::uint64_t diskSectors = reader.SectorCount(disk);
    for (const MbrEntry& e : entries) {
        if (e.type != kProtectiveType) continue;
        if (ReadGpt(reader, disk, 1, diskSectors, table)) return table;
        if (diskSectors > 1 && ReadGpt(reader, disk, diskSectors - 1, diskSectors, table)) {
            table.problems.push_back("the primary GPT header is missing: the backup copy was read");
            return table;
        }
        break;
    }
    table.scheme = PartitionScheme::Mbr;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> extended;
    for (unsigned i = 0; i < 4; ++i) {
        const MbrEntry& e = entries[i];
        if (e.type == 0 || e.count == 0) continue;
        Partition p;
        p.number = i + 1;
        p.start = e.first;
        p.sectors = e.count;
        p.mbrType = e.type;
        p.extended = IsExtendedType(e.type);
        table.partitions.push_back(p);
        if (p.extended) extended.emplace_back(p.start, p.sectors);
    }
    // Linux follows the first extended partition only; so do we.
    if (!extended.empty()) ReadLogical(reader, disk, extended[0].first, extended[0].second, table);
    return table;
}

}  // namespace disk
