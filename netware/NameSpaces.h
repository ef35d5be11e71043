// The name-space records of a directory: on a volume with name spaces
// loaded beyond DOS, every folder and file has one 128-byte record per name
// space, linked from its DOS (primary) record through the name list at 0x7C
// and pointing back to it through the primary entry at 0x78. The directory
// walk hands every record to a NameSpaceGatherer; once the walk has ended it
// follows each primary's name list, keeps every name and the MAC and NFS
// fields of the entry, and picks the name the entry is shown and saved under.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "netware/EntryList.h"

namespace nw {

constexpr std::uint8_t kNameSpaceMac = 1;
constexpr std::uint8_t kNameSpaceNfs = 2;
constexpr std::uint8_t kNameSpaceNt = 5;
constexpr unsigned kNameSpaceSlots = 6;   // name-space numbers 0..5 (3 is not used)
constexpr std::uint8_t kDefaultNameSpace = 0xFF;  // the preference LONG, NT, MAC, NFS, DOS

namespace det {
constexpr std::size_t kPrimaryEntry = 0x78;  // the entry number of the file's DOS record
constexpr std::size_t kNameList = 0x7C;      // the entry number of its next name-space record; 0 ends
// MAC records
constexpr std::size_t kMacForkBlock = 0x2C;
constexpr std::size_t kMacForkSize = 0x30;
constexpr std::size_t kMacFinderInfo = 0x34;
// NFS records
constexpr std::size_t kNfsMode = 0x3A;
constexpr std::size_t kNfsGid = 0x42;
constexpr std::size_t kNfsLinkCount = 0x4A;
constexpr std::size_t kNfsLinkFlag = 0x4E;
constexpr std::size_t kNfsUid = 0x5C;
constexpr std::size_t kNfsLinkNext = 0x50;      // the next, last and previous entries linked to the same file
constexpr std::size_t kNfsLinkEnd = 0x54;
constexpr std::size_t kNfsLinkPrevious = 0x58;
constexpr std::size_t kNfsTotalNameLength = 0x34;  // the whole name, of which the record holds 40 bytes
constexpr std::size_t kNfsExtendedCount = 0x35;    // extended directory records holding the rest
constexpr std::size_t kNfsExtendedStart = 0x36;    // the first of them
// LONG and NT records
constexpr std::size_t kLongExtendedStart = 0x5C;  // the first extended directory record of the name's rest
constexpr std::size_t kLongExtendedCount = 0x60;  // how many records it spans
// The volume's root record (the directory's header entry)
constexpr std::size_t kRootExtendedChain1 = 0x68;  // first block of the extended directory
constexpr std::size_t kRootExtendedChain2 = 0x6C;  // first block of its mirror
}  // namespace det

// Extended directory records: 128 bytes; a stamp at 0x00, the byte count of
// the name's rest at 0x04 (LONG, NT), the entry number of the name-space
// record it belongs to at 0x08, the name space at 0x0C; the rest of the name
// from 0x10 (NFS: its length at 0x10, the bytes from 0x11), running on into
// the following records of the extent.
namespace ext {
constexpr std::uint32_t kLongStamp = 0xABA12190u;
constexpr std::uint32_t kNfsStamp = 0x554E4958u;
constexpr std::uint32_t kNtStamp = 0x5346544Eu;
constexpr std::size_t kStamp = 0x00;
constexpr std::size_t kLength = 0x04;
constexpr std::size_t kEntryNumber = 0x08;
constexpr std::size_t kNameSpace = 0x0C;
constexpr std::size_t kName = 0x10;
constexpr std::size_t kNfsNameLength = 0x10;
constexpr std::size_t kNfsName = 0x11;
constexpr std::size_t kRecordSize = 128;
}  // namespace ext
constexpr std::size_t kMaxFullNameLength = 255;

constexpr std::uint8_t kMaxMacNameLength = 31;
constexpr std::uint8_t kMaxNfsNameLength = 40;
constexpr std::uint8_t kNfsSymbolicLink = 0x02;
constexpr std::uint8_t kNfsHardLink = 0x04;
constexpr std::uint8_t kNfsStreamHardLink = 0x01;
constexpr std::size_t kFinderInfoSize = 32;

// A name-space number from its name ("dos", "mac", "nfs", "long", "nt"),
// kDefaultNameSpace when it is none of them.
std::uint8_t NameSpaceFromText(const std::string& text);
// "DOS", "MAC", "NFS", "LONG", "NT"; empty for other numbers.
std::string NameSpaceText(std::uint8_t nameSpace);

// Everything the name-space records tell of one folder or file.
struct EntryNameSpaces {
    std::array<std::string, kNameSpaceSlots> names;  // by name-space number; empty where none
    std::uint8_t present = 0;                        // bit n: a record of name space n
    // MAC record
    std::uint32_t forkFirstBlock = 0;
    std::uint32_t forkSize = 0;
    std::array<std::uint8_t, kFinderInfoSize> finderInfo{};
    // NFS record
    std::uint32_t mode = 0;
    std::uint32_t uid = 0;
    std::uint32_t gid = 0;
    std::uint32_t linkCount = 0;
    std::uint8_t linkFlag = 0;
    // Files whose NFS records link them as hard links of one another share
    // this number (the lowest DOS entry number among them); 0: no such link.
    std::uint32_t linkGroup = 0;

    bool Has(std::uint8_t nameSpace) const { return nameSpace < 8 && (present >> nameSpace) & 1u; }
    bool HasFork() const { return Has(kNameSpaceMac) && forkSize != 0; }
    bool HasFinderInfo() const;
    // The name shown and saved: `preferred` where the entry has it, else the
    // first of LONG, NT, MAC, NFS, DOS it has.
    const std::string& ShownName(std::uint8_t preferred = kDefaultNameSpace) const;
};

// The name-space facts of a mounted volume's entries (only of those that
// have any record beyond their DOS one).
class NameSpaceTable {
public:
    void Clear() { entries_.clear(); }
    bool Empty() const { return entries_.empty(); }
    std::size_t Size() const { return entries_.size(); }
    const EntryNameSpaces* Find(const EntryRecord& record) const;
    EntryNameSpaces& At(bool folder, std::uint32_t ordinal) { return entries_[Key(folder, ordinal)]; }

private:
    static std::uint64_t Key(bool folder, std::uint32_t ordinal) {
        return (static_cast<std::uint64_t>(folder) << 32) | ordinal;
    }
    std::unordered_map<std::uint64_t, EntryNameSpaces> entries_;
};

// Reads record `number` (128 bytes) of the volume's extended directory into
// `out`; false when it cannot be read.
using ExtendedRecordReader = std::function<bool(std::uint32_t number, std::uint8_t* out)>;

// Collects the records of a directory walk and resolves the name lists.
class NameSpaceGatherer {
public:
    // The directory's header record: where the extended directory begins.
    void AddRoot(const std::uint8_t* entry128);
    // The first block of the extended directory (0 copy 1, 1 its mirror);
    // 0 when the volume has none.
    std::uint32_t ExtendedDirectory(int copy) const { return extendedChain_[copy & 1]; }
    // Whether a record's name continues in the extended directory.
    bool NeedsExtendedNames() const { return extendedNames_ != 0; }
    // Completes the names that continue in the extended directory: an
    // extent is taken only when its stamp fits the record's name space and
    // it names the record (or its file) as its own; otherwise the record
    // keeps the part it holds.
    void ReadExtendedNames(const ExtendedRecordReader& read);
    // A record that is no DOS record (name space 1..5), at its entry number.
    void AddRecord(std::uint32_t entryNumber, const std::uint8_t* entry128);
    // A primary record appended as `record`; `adjacentLong` is the long name
    // the record after it in its sector gave (empty when none).
    void AddPrimary(std::uint32_t entryNumber, const std::uint8_t* entry128, const EntryRecord& record,
                    const std::string& adjacentLong);
    // Follows every primary's name list (at most one record per name space,
    // never a record twice), fills `table` and gives each entry of the lists
    // its name: the adjacent long name where there is one and `preferred` is
    // the default, else the entry's ShownName(preferred).
    void Resolve(EntryList& folders, EntryList& files, NameSpaceTable& table, std::uint8_t preferred) const;

private:
    struct Record {
        std::uint32_t primary = 0;
        std::uint32_t next = 0;
        std::uint8_t nameSpace = 0;
        std::string name;
        // MAC: fork block, fork size; NFS: mode, uid, gid, link count
        std::array<std::uint32_t, 4> fields{};
        std::array<std::uint8_t, kFinderInfoSize> finderInfo{};
        std::uint8_t linkFlag = 0;
        std::array<std::uint32_t, 3> links{};  // NFS: next, end, previous linked entry
        // The rest of the name in the extended directory: its first record,
        // how many records, how many bytes in all (0: none).
        std::uint32_t extendedStart = 0;
        std::uint8_t extendedCount = 0;
        std::uint16_t fullLength = 0;
    };
    struct Primary {
        bool folder = false;
        std::uint32_t ordinal = 0;
        std::uint32_t entryNumber = 0;
        std::uint32_t primaryField = 0;
        std::uint32_t nameList = 0;
        std::string dosName;
        std::string adjacentLong;
        mutable std::uint32_t nfsRecord = 0;  // the entry number of its NFS record, found by Resolve
    };
    void LinkHardLinks(std::vector<std::pair<const Primary*, EntryNameSpaces*>>& linked) const;

    std::unordered_map<std::uint32_t, Record> records_;
    std::vector<Primary> primaries_;
    std::array<std::uint32_t, 2> extendedChain_{};
    std::size_t extendedNames_ = 0;  // records whose name continues there
};

}  // namespace nw
