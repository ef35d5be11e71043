#include "disk/PartitionContents.h"

#include <algorithm>
#include <cstring>

#include "disk/Disk.h"
#include "disk/FileSystemProbe.h"
#include "disk/SectorReader.h"

namespace disk {
namespace {

constexpr std::size_t kNssSignatureAt = 4096;

constexpr std::uint32_t kPieceSectors = 8;

// The sectors as they read without asking anyone: what is only looked at to
// name a file system is not worth a bad-sector question. A run that fails is
// read again in pieces, so one bad sector costs its piece, not the MiB.
std::vector<std::uint8_t> ReadRun(const SectorReader& reader, unsigned disk, std::uint64_t start,
                                  std::uint32_t count, std::uint64_t& unread) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count) * kSectorSize);
    if (count == 0 || reader.TryRead(disk, start, count, bytes.data()).Ok()) return bytes;
    for (std::uint32_t at = 0; at < count; at += kPieceSectors) {
        const std::uint32_t n = std::min(kPieceSectors, count - at);
        unread += reader.TryRead(disk, start + at, n, bytes.data() + static_cast<std::size_t>(at) * kSectorSize)
                      .Unreadable();
    }
    return bytes;
}

}  // namespace

bool HasNssSignature(const std::vector<std::uint8_t>& head) {
    return head.size() >= kNssSignatureAt + 4 && std::memcmp(head.data() + kNssSignatureAt, "SPB5", 4) == 0;
}

DiskContents ReadDiskContents(const SectorReader& reader, unsigned disk) {
    DiskContents contents;
    contents.table = ReadPartitionTable(reader, disk);
    for (const Partition& p : contents.table.partitions) {
        PartitionContents row;
        row.partition = p;
        if (p.extended) {
            contents.partitions.push_back(row);
            continue;
        }
        const std::uint32_t headCount = static_cast<std::uint32_t>(std::min<std::uint64_t>(p.sectors, kProbeSectors));
        const std::uint64_t tailFirst = std::max<std::uint64_t>(p.start + headCount, p.start + p.sectors - std::min<std::uint64_t>(p.sectors, kProbeSectors));
        const std::uint32_t tailCount = static_cast<std::uint32_t>(p.start + p.sectors - tailFirst);
        const std::vector<std::uint8_t> head = ReadRun(reader, disk, p.start, headCount, row.unreadSectors);
        const std::vector<std::uint8_t> tail = ReadRun(reader, disk, tailFirst, tailCount, row.unreadSectors);
        if (p.mbrType == kNetWare386Type) {
            row.fileSystem = kNetWare386FileSystem;
        } else if (p.mbrType == kNssType || HasNssSignature(head)) {
            row.fileSystem = kNssFileSystem;
        } else {
            std::string error;
            const FileSystemFound found = ProbeFileSystem(head, tail, p.sectors * kSectorSize, &error);
            if (!error.empty() && contents.probeFailure.empty()) contents.probeFailure = error;
            row.fileSystem = found.type;
            row.version = found.version;
            row.label = found.label;
        }
        contents.partitions.push_back(row);
    }
    return contents;
}

}  // namespace disk
