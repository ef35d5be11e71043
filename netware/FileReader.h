// Reading a file's bytes through its block chain on a mounted volume,
// suballocated pieces included, trimmed to the byte count. A FileReader
// belongs to one reading thread; several may read one volume at once.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "netware/EntryList.h"
#include "netware/Volume.h"

namespace disk {
class SectorReader;
}

namespace nw {

struct MountedVolume;

// Where a suballocated piece lies.
struct PieceLocation {
    bool found = false;                // false: the chain does not reach the piece
    bool placed = false;               // false: its block has no place (a missing segment, none)
    std::uint64_t firstSector = 0;     // disk sector of the piece's start (when placed)
    std::uint32_t block = 0;           // the block that holds the piece's start
    std::uint32_t sectorIndex = 0;     // and the sector in it
    std::uint32_t sectorsLeft = 0;     // sectors from there to the end of that block
    bool hasFollowingBlock = false;
    std::uint32_t followingBlock = 0;  // the next block of the suballocation chain
};

// Where a stretch of a file's bytes lies: `length` bytes from `fileOffset`
// of the file, on disk `disk` from its byte `diskOffset` (when placed), and
// whether they could be read.
struct FileByteRun {
    std::uint64_t fileOffset = 0;
    std::uint64_t length = 0;
    bool placed = false;  // false: no attached disk holds them (a missing segment, no segment, a lost FAT part)
    unsigned disk = 0;
    std::uint64_t diskOffset = 0;
    bool unreadable = false;
    bool operator==(const FileByteRun&) const = default;
};

// Appends `run` to `runs`, joining it to the last run when it goes on from
// it in the file and on the disk and was read alike.
void AddByteRun(std::vector<FileByteRun>& runs, const FileByteRun& run);

// Receives the file's bytes.
class FileDataConsumer {
public:
    virtual ~FileDataConsumer() = default;
    // Asked before each chain element; true ends the read.
    virtual bool ShouldStop() { return false; }
    // Where the bytes of the next Deliver calls lie, before they are
    // delivered: every delivered byte is in exactly one run.
    virtual void RunPlaced(const FileByteRun& run) { (void)run; }
    // One call per sector: `bytes` is 512 or fewer for the last one.
    virtual void Deliver(const std::uint8_t* data, std::uint32_t bytes) = 0;
    // A whole block of the block path has been delivered.
    virtual void BlockFinished() {}
};

class FileReader {
public:
    FileReader(const MountedVolume& volume, const disk::SectorReader& reader) : volume_(&volume), reader_(&reader) {}

    // The chain of the file being read: its first value, then every next
    // value read from the FAT, ending with the terminal value (0, 0xFFFFFFFF
    // or a piece). Reading a piece replaces it with the piece's
    // suballocation chain.
    std::vector<std::uint32_t> BlockChain;

    // Builds BlockChain from `firstValue`. Stops at a terminal value, and
    // also (treating the chain as ended) at a repeated block, a block beyond
    // the volume, a FAT block the mount did not load, and after as many
    // elements as the volume has blocks.
    void BuildBlockChain(std::uint32_t firstValue);
    // Builds the piece's suballocation chain as BlockChain.
    PieceLocation LocatePiece(std::uint32_t pieceValue);
    // Disk sector where the file's data starts (none for 0xFFFFFFFF, a
    // piece whose chain is too short, or a block without a place: in a
    // segment whose disk is not attached or in no segment).
    std::optional<std::uint64_t> FirstDataSector(std::uint32_t firstBlock);
    // Reads that sector into `out` (512 bytes); false when there is none or
    // it lies in a segment whose disk is not attached.
    bool ReadFirstDataSector(std::uint32_t firstBlock, std::uint8_t* out);

    // Delivers up to byteCount bytes of the file starting at firstBlock and
    // returns how many were delivered (fewer when the chain ends early).
    std::uint64_t ReadFileData(std::uint32_t firstBlock, std::uint32_t byteCount, FileDataConsumer& consumer);
    // Bytes of the last ReadFileData that came from sectors that could not
    // be read (delivered as zeros).
    // Bytes a missing segment holds count here too, and so does the rest of
    // a file whose chain runs through a FAT part in a missing segment.
    std::uint64_t UnreadableBytes() const { return unreadableBytes_; }
    // The first segment of the volume, missing because its disk is not
    // attached, that the last ReadFileData needed (nullopt when none).
    const std::optional<VolumeSegment>& MissingSegment() const { return missingSegment_; }

    // Convenience for small files and tests: the bytes of a file record.
    std::vector<std::uint8_t> ReadFileBytes(const EntryRecord& file);

private:
    const MountedVolume* volume_;
    const disk::SectorReader* reader_;
    std::uint64_t unreadableBytes_ = 0;
    std::optional<VolumeSegment> missingSegment_;
    // Set by BuildBlockChain when the chain stopped at a FAT entry that lies
    // in a missing segment.
    const VolumeSegment* chainCutByMissingSegment_ = nullptr;
    const VolumeSegment* MissingFatSegment(std::uint32_t block) const;
};

}  // namespace nw
