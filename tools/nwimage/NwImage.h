// Writer of NetWare traditional disk images for tests and the sample disk.
//
// A DiskSpec describes partitions, volumes, folders, files, damage and raw
// content; Build() lays it out into an in-memory sparse image, refusing
// impossible descriptions with BuildError, and works out the manifest: what a
// correct recovery of every described volume must show and deliver. The
// result is deterministic for a given description: file bytes come from seeds.
//
// A volume may be extended over several segments, in the same partition or
// on other disks: BuildDisks() lays out a set of disks whose volume tables
// share such volumes.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace nwimage {

constexpr std::uint32_t kSector = 512;

struct BuildError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Packs a calendar date and time into the 32-bit NetWare form (years 1980..2107;
// the year field is year - 1980, seconds are stored halved).
std::uint32_t PackDateTime(unsigned year, unsigned month, unsigned day, unsigned hour = 0, unsigned minute = 0,
                           unsigned second = 0);

enum class TableCopy { Good, Missing, BadText, CountZero, CountNine };

// How a file's data is placed.
enum class Placement {
    Blocks,  // whole blocks only (the last one partly used)
    Tail,    // whole blocks, the remainder in a suballocated piece
    Whole,   // the whole file in one suballocated piece
};

enum class Compression {
    None,
    Marked,    // entry carries attribute 0x04000000 and the expanded size
    Unmarked,  // data carries the header, the entry does not know (size = stored length)
};

enum class DocKind { Word, Excel, PowerPoint, Excel5, Zip };

struct EntrySpec {
    bool folder = false;
    std::string name;      // primary (DOS) name, 1..15 characters
    std::string longName;  // name-space-4 follower, 1..80 characters; empty = none
    std::uint32_t parent = 0;    // folder number of the parent, 0 = root
    std::uint32_t number = 0;    // folders: own number, 0 = next free number
    std::uint32_t dateTime = 0;  // packed form
    bool deleted = false;
    bool slot3 = false;  // put the primary in the last slot of a sector (its long name then starts the next sector)
    std::uint32_t extraAttributes = 0;
    std::optional<std::uint8_t> nameLengthOverride;  // written instead of the real length (malformed entries)

    // Files. The data is `data` when set, else `size` bytes from the seed, else
    // a generated document of `document` kind of about `size` bytes.
    std::optional<std::vector<std::uint8_t>> data;
    std::uint32_t size = 0;
    std::uint64_t seed = 0;  // 0: derived from the disk seed and the entry's position
    std::optional<DocKind> document;
    Placement placement = Placement::Blocks;
    std::vector<std::uint32_t> blocks;  // explicit data blocks in chain order; empty = allocate
    std::optional<std::uint32_t> directorySize;  // size written to the entry when it must lie
    Compression compression = Compression::None;
    std::uint32_t expandedSize = 0;  // marked compressed files: the entry's size (0 = 3 x stored length)

    // Volumes with name spaces (VolumeSpec::nameSpaces). Names of the MAC,
    // NFS and NT records; empty = the long name, else the DOS name.
    std::string macName, nfsName, ntName;
    std::optional<std::vector<std::uint8_t>> fork;  // the MAC record's resource fork (whole blocks)
    std::array<std::uint8_t, 32> finderInfo{};
    std::optional<std::uint32_t> mode;  // NFS mode; default 0100644 for files, 040755 for folders
    std::uint32_t uid = 0, gid = 0;
    std::uint8_t linkFlag = 0;          // NFS 0x4E: 0x02 symbolic link (the data is its target)
    std::uint32_t modified = 0;         // 0x28 last update, packed
    std::uint16_t accessDate = 0;       // 0x62 last access, packed date
};

struct FatPatch {
    int copy = 2;  // 1 or 2
    std::uint32_t block = 0;
    std::uint32_t sequence = 0;
    std::uint32_t next = 0;
};

// One volume table entry. A volume in one piece is one entry; a volume over
// several segments has one entry per segment, all with its name, each in the
// table where that segment's entry stands. The entry of segment 0 carries the
// volume (block size, chains, entries); the others give only their number,
// size and place.
struct VolumeSpec {
    std::string name;  // 1..27 characters (the system shows at most 19); 1..15 with several segments
    std::uint32_t sectorsPerBlock = 8;  // 8, 16, 32, 64 or 128 (segment 0's entry decides)
    std::uint32_t blocks = 0;           // of this segment
    std::optional<std::uint32_t> segmentSectors;  // default blocks x sectorsPerBlock
    std::uint32_t segment = 0;                    // this entry's segment number
    std::optional<std::uint64_t> startSector;     // default: right after the table's previous segment
    // Entries without the fields at 0x10 .. 0x18 and 0x24 (segment numbers,
    // block-size code, segment start, first block), as older tables have them.
    // Names over 15 characters run into those fields and always leave them out.
    bool legacyTable = false;

    std::vector<std::uint32_t> fat1Blocks;  // explicit FAT chains; empty = allocate (copy 1 from block 0)
    std::vector<std::uint32_t> fat2Blocks;
    std::vector<std::uint32_t> det1Blocks;  // explicit DET chains; empty = allocate
    std::vector<std::uint32_t> det2Blocks;
    std::uint32_t det1BlockCount = 0;  // minimum DET length when allocated
    std::optional<std::uint32_t> det2Length;  // copy 2 mirrors only this many blocks
    std::vector<FatPatch> fatPatches;

    // Damage: the chain loses its blocks from index k on (k >= 1; 0 = intact).
    std::uint32_t breakFat1At = 0;  // in copy 1's own chain
    std::uint32_t breakFat2At = 0;  // in copy 2's own chain
    std::uint32_t breakDetAt = 0;   // DET copy 1's chain, in both FAT copies

    bool allSuballocGroups = false;  // write records for groups 0..4 even when unused
    int mountFat = 1;  // FAT copy the manifest mounts with when the chain lengths differ

    // Name spaces loaded besides DOS (1 MAC, 2 NFS, 4 LONG, 5 NT), in load
    // order. Empty: every entry is its DOS record with its long name in the
    // next record (the older layout). Given: every entry has one record per
    // name space, one after another, linked by the primary entry (0x78) and
    // the name list (0x7C).
    std::vector<std::uint8_t> nameSpaces;

    std::vector<EntrySpec> entries;  // in directory order
};

struct PartitionSpec {
    int slot = -1;  // 0..3; -1 = the position in DiskSpec::partitions
    std::uint8_t type = 0x65;
    std::uint32_t firstSector = 0;
    std::uint32_t sectorCount = 0;
    std::optional<std::uint32_t> tableSectorCount;  // written to the table instead of sectorCount
    unsigned hotFixPosition = 0;         // 0..3: partition sector 32, 64, 96 or 128
    std::uint32_t volumeAreaDistance = 128;  // from partition sector 32 to the volume tables
    std::array<TableCopy, 4> tables{TableCopy::Good, TableCopy::Good, TableCopy::Good, TableCopy::Good};
    bool wipeTables = false;  // all four copies zeroed after the build
    std::vector<VolumeSpec> volumes;  // table entries in order; NetWare structures are written only when there are any
};

struct RawBlock {
    std::uint64_t sector = 0;
    std::vector<std::uint8_t> bytes;  // padded with zeros to whole sectors
};

struct DocumentSpec {
    DocKind kind = DocKind::Word;
    std::uint64_t sector = 0;
    std::uint32_t size = 8192;  // approximate, rounded to whole sectors
    std::uint64_t seed = 0;
};

struct BadArea {
    enum class Target { Absolute, FileData, Det1Block, Fat1Block };
    Target target = Target::Absolute;
    std::uint64_t sector = 0;  // Absolute: the first bad sector
    std::uint64_t count = 1;   // sectors
    std::size_t volume = 0;    // other targets: index into all volumes (segment 0 entries) of all disks, in description order
    std::size_t entry = 0;     // FileData: index into the volume's entries
    std::uint32_t block = 0;   // Det1Block, Fat1Block: index within the chain
    std::uint32_t offset = 0;  // sectors into the file's data, the block
};

struct DiskSpec {
    std::uint64_t totalSectors = 0;  // 0 = just past the last content
    std::uint64_t seed = 1;
    bool wipeSector0 = false;
    std::vector<PartitionSpec> partitions;
    std::vector<RawBlock> raw;
    std::vector<DocumentSpec> documents;
    std::vector<BadArea> bad;
};

// ---- results ---------------------------------------------------------------

struct BuiltEntry {
    std::uint64_t det1Sector = 0;  // absolute sector of the primary in DET copy 1
    std::uint64_t det2Sector = 0;  // 0 when copy 2 does not hold that block
    std::size_t det1Disk = 0, det2Disk = 0;  // the disks holding those sectors
    unsigned slot = 0;
    std::uint32_t number = 0;      // own number (folders)
    std::uint32_t firstBlock = 0;  // as written at 0x34
    std::uint32_t directorySize = 0;
    std::vector<std::uint32_t> blocks;  // whole data blocks in chain order
    std::uint32_t piece = 0;            // suballocated piece value, 0 = none
    std::vector<std::uint8_t> stored;   // the data bytes as placed on the volume
    std::uint32_t entryNumber = 0;      // of the primary record in the DET
    std::vector<std::uint32_t> forkBlocks;  // the resource fork's chain
    std::vector<std::uint8_t> fork;         // its bytes
};

// A segment holds blocks firstBlock .. firstBlock + blocks - 1 of its volume;
// block b lies at startSector + (b - firstBlock) x sectors per block.
struct BuiltSegment {
    std::size_t disk = 0;  // index of the disk holding it
    std::uint64_t startSector = 0;
    std::uint32_t firstBlock = 0;
    std::uint32_t blocks = 0;
    std::uint64_t volumeAreaSector = 0;  // of the partition whose table lists it
};

struct BuiltVolume {
    std::string name;
    std::uint64_t startSector = 0;  // of block 0 (segment 0)
    std::uint32_t sectorsPerBlock = 0;
    std::uint32_t blocks = 0;  // of the whole volume
    std::uint64_t volumeAreaSector = 0;  // of segment 0's partition
    std::vector<BuiltSegment> segments;  // in block order; empty is one segment from startSector
    std::vector<std::uint32_t> fat1, fat2, det1, det2;  // chains as laid out
    std::array<std::uint32_t, 140> suballoc{};           // first blocks of suballocation chains
    std::vector<std::uint32_t> suballocGroups;           // groups with a record, in DET order
    std::vector<BuiltEntry> entries;                     // parallel to VolumeSpec::entries
};

constexpr std::size_t kNoParent = static_cast<std::size_t>(-1);
constexpr std::uint64_t kManifestPathBudget = 64ull << 20;
// A tree listing more entries than this is refused (folders that share their
// number list the same contents again, which can multiply without end).
constexpr std::size_t kMaxManifestRecords = 10'000'000;

struct ManifestRecord {
    bool folder = false;
    bool deleted = false;
    bool compressed = false;
    std::uint32_t size = 0;  // the entry's size (0 for folders)
    std::uint32_t dateTime = 0;
    std::string sha256;      // of the delivered bytes; empty for folders
    std::uint64_t deliveredBytes = 0;
    std::string volume;
    // Below the volume root, joined with '\'. Left empty in every record when
    // the paths together would exceed kManifestPathBudget bytes (very deep
    // trees): ManifestPath() gives each one from the name and parent links.
    std::string path;
    std::string name;                 // the last part of the path
    std::size_t parent = kNoParent;  // index of the folder's record holding it; kNoParent at the volume root
};

struct BadRange {
    std::uint64_t sector = 0;
    std::uint64_t count = 0;
};

struct Image {
    std::uint64_t totalSectors = 0;
    std::map<std::uint64_t, std::array<std::uint8_t, kSector>> sectors;  // only sectors holding a nonzero byte
    std::vector<BuiltVolume> volumes;     // those whose segment 0 lies on this disk
    std::vector<ManifestRecord> manifest;  // of those volumes
    std::vector<BadRange> bad;  // sorted, merged

    // Copies sector `sector` into out (zeros where nothing was written).
    void Read(std::uint64_t sector, std::uint8_t* out) const;
    std::vector<std::uint8_t> ReadBytes(std::uint64_t sector, std::uint32_t count) const;
};

Image Build(const DiskSpec& desc);
// A set of disks; image k is disk k. BadArea::volume counts the volumes of
// all disks.
std::vector<Image> BuildDisks(const std::vector<DiskSpec>& disks);

// The path of manifest record i, whether or not the records carry their paths.
std::string ManifestPath(const std::vector<ManifestRecord>& manifest, std::size_t i);

// Outputs. Each throws BuildError when the file cannot be written, and the
// manifest ones when the text would exceed kMaxManifestText.
constexpr std::uint64_t kMaxManifestText = 1ull << 30;
void WriteImageFile(const Image& image, const std::string& path);
std::string ManifestText(const Image& image);
std::string ManifestText(const std::vector<Image>& disks);  // all disks' volumes, disk by disk
// The same text, written as it is made (a deep tree's text can be far larger
// than the image).
void WriteManifestFile(const Image& image, const std::string& path);
void WriteManifestFile(const std::vector<Image>& disks, const std::string& path);
std::string MapfileText(const Image& image);
// The file of disk k when disk 0 goes to `first`: ".k" before the extension
// of the file name ("set.img" -> "set.1.img"), or at its end when it has none.
std::string DiskFileName(const std::string& first, std::size_t disk);

// Generated carvable documents and file contents.
std::vector<std::uint8_t> MakeDocument(DocKind kind, std::uint32_t size, std::uint64_t seed);
std::vector<std::uint8_t> SeededBytes(std::uint32_t size, std::uint64_t seed);
std::string Sha256Hex(const std::uint8_t* data, std::size_t size);

}  // namespace nwimage
