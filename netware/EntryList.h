// The folder and file records of a mounted (or reloaded) volume. Records sit
// in append order ("list order") and every lookup answers with the first
// record in that order that matches, as a plain list scanned from the head
// would; the lists keep indexes by own number, parent number and ordinal so
// that appends and lookups stay cheap on very large volumes.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>


namespace nw {

// One folder or file of the rebuilt tree.
struct EntryRecord {
    // (Fields are ordered to keep the record small: a volume may hold
    // millions of them.)
    std::string name;                 // long name where the volume has one, else the short name (<= 254 chars)
    std::uint32_t parentNumber = 0;   // 0 = root, 0xFFFFFFFF = "LOST"
    std::uint32_t ownNumber = 0;      // folders: the number their children carry
    std::uint32_t size = 0;
    std::uint32_t firstBlock = 0;     // start of the data chain (top bit: suballocated piece)
    std::uint32_t timestamp = 0;      // packed date and time (creation: what lists and filters show)
    std::uint32_t modified = 0;       // packed last update; 0 = not kept
    std::uint32_t deletedMarker = 0;  // nonzero = deleted (salvageable) entry
    std::uint32_t ordinal = 0;        // 1-based position in its own list at creation
    std::uint32_t treeNode = 0xFFFFFFFFu;  // folders: the folder-tree node that shows it (none: all ones)
    // Disk sectors of the directory entry in both directory copies. Kept in
    // full 64 bits here; the recovery log stores the low 32 bits. 0 in
    // det2Sector = no second copy is known; when only copy 2's position is
    // known (copy 1's chain could not be followed), it is det1Sector.
    std::uint64_t det1Sector = 0;
    std::uint64_t det2Sector = 0;
    std::uint16_t slot = 0;           // entry position 0..3 within the sector
    std::uint16_t accessDate = 0;     // files: packed date of the last access (the high half of a date and time)
    // The disks that hold those sectors (a volume of several segments may
    // keep its two directory copies on different disks).
    std::uint8_t det1Disk = 0;
    std::uint8_t det2Disk = 0;
    std::uint8_t attributes = 0;      // low byte of the attribute word; 0x10 = folder
    std::uint8_t attributesHigh = 0;  // bits 24-31 of the attribute word; 0x04 = stored compressed

    bool IsFolder() const { return (attributes & 0x10) != 0; }
    bool IsDeleted() const { return deletedMarker != 0; }
    bool IsCompressed() const { return (attributesHigh & 0x04) != 0; }
};

constexpr std::size_t kMaxEntryNameLength = 254;
constexpr std::size_t kNoEntry = static_cast<std::size_t>(-1);

// An append-only list of entry records (the folder list or the file list).
// Records never move once appended, so pointers stay valid until Clear().
//
// ownNumber and ordinal are fixed when a record is appended; parentNumber is
// indexed: change it only through SetParentNumber. Every other field
// (treeNode in particular) may be written directly. The indexes are rebuilt
// on the first lookup after a change, from compact copies of the keys kept
// beside the records, so filling a list costs no more than appending.
// Lookups may run on several threads at once.
class EntryList {
public:
    EntryList() = default;
    EntryList(const EntryList&) = delete;
    EntryList& operator=(const EntryList&) = delete;

    void Clear();
    // Appends at the tail (the name is cut to 254 characters) and returns
    // the stored record.
    EntryRecord& Append(EntryRecord record);

    std::size_t Size() const { return records_.size(); }
    bool Empty() const { return records_.empty(); }
    EntryRecord& operator[](std::size_t index) { return records_[index]; }
    const EntryRecord& operator[](std::size_t index) const { return records_[index]; }
    using Records = std::deque<EntryRecord>;
    Records::iterator begin() { return records_.begin(); }
    Records::iterator end() { return records_.end(); }
    Records::const_iterator begin() const { return records_.begin(); }
    Records::const_iterator end() const { return records_.end(); }

    // First record (in list order) with that field value; nullptr when none.
    EntryRecord* FindByOwnNumber(std::uint32_t ownNumber);
    EntryRecord* FindByOrdinal(std::uint32_t ordinal);
    const EntryRecord* FindByOwnNumber(std::uint32_t ownNumber) const;
    const EntryRecord* FindByOrdinal(std::uint32_t ordinal) const;
    std::size_t IndexOfOrdinal(std::uint32_t ordinal) const;      // kNoEntry when none
    std::size_t IndexOfOwnNumber(std::uint32_t ownNumber) const;  // kNoEntry when none
    bool HasOwnNumber(std::uint32_t ownNumber) const { return IndexOfOwnNumber(ownNumber) != kNoEntry; }

    // Indexes of the records whose parentNumber is `parentNumber`, in list order.
    std::vector<std::size_t> ChildrenOf(std::uint32_t parentNumber) const;
    // The same as a range into the index (valid until the list changes).
    struct IndexRange {
        const std::uint32_t* first = nullptr;
        const std::uint32_t* last = nullptr;
        const std::uint32_t* begin() const { return first; }
        const std::uint32_t* end() const { return last; }
        std::size_t size() const { return static_cast<std::size_t>(last - first); }
    };
    IndexRange ChildRange(std::uint32_t parentNumber) const;
    // Calls fn(record) for each such record, in list order.
    template <typename Fn>
    void ForEachChild(std::uint32_t parentNumber, Fn&& fn) {
        for (std::uint32_t i : ChildRange(parentNumber)) fn(records_[i]);
    }
    template <typename Fn>
    void ForEachChild(std::uint32_t parentNumber, Fn&& fn) const {
        for (std::uint32_t i : ChildRange(parentNumber)) fn(records_[i]);
    }

    void SetParentNumber(std::size_t index, std::uint32_t parentNumber);

private:
    // Record indexes ordered by a key, list order among equal keys.
    struct SortedIndex {
        std::vector<std::uint32_t> keys;   // ascending
        std::vector<std::uint32_t> order;  // the record index of each key
        IndexRange Find(std::uint32_t key) const;
        void Build(const std::vector<std::uint32_t>& keysByRecord);
        void Release();
    };
    void RefreshKeys() const;
    void RefreshChildren() const;

    Records records_;
    // The indexed keys of each record, by record index.
    std::vector<std::uint32_t> ownKeys_;
    std::vector<std::uint32_t> ordinalKeys_;
    std::vector<std::uint32_t> parentKeys_;

    // Rebuilt on the first lookup after a change.
    mutable std::mutex indexMutex_;
    mutable std::atomic<bool> keysStale_{false};      // own numbers and ordinals (appends)
    mutable std::atomic<bool> childrenStale_{false};  // parent numbers
    mutable SortedIndex byOwn_;
    mutable SortedIndex byOrdinal_;
    mutable SortedIndex byParent_;
};

}  // namespace nw
