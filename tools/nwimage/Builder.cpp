// Lays DiskSpecs out into in-memory sparse images, one per disk.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <unordered_map>

#include "netware/Records.h"
#include "tools/nwimage/Mount.h"
#include "tools/nwimage/NwImage.h"

namespace nwimage {
namespace {

using Sector = std::array<std::uint8_t, kSector>;

std::string Str(std::uint64_t v) { return std::to_string(v); }

[[noreturn]] void Fail(const std::string& what) { throw BuildError(what); }

struct Claim {
    std::uint64_t first = 0;
    std::uint64_t count = 0;
    std::string what;
    int volume = -1;  // index of the volume whose segment this is, else -1
    std::uint32_t segment = 0;
};

// A sector of one disk of the set.
struct Loc {
    std::size_t disk = 0;
    std::uint64_t sector = 0;
};

void PutSector(Image& img, std::uint64_t sector, const std::uint8_t* data) {
    bool zero = std::all_of(data, data + kSector, [](std::uint8_t b) { return b == 0; });
    if (zero) {
        img.sectors.erase(sector);
        return;
    }
    std::memcpy(img.sectors[sector].data(), data, kSector);
}

void PutBytes(Image& img, std::uint64_t sector, const std::uint8_t* data, std::size_t size) {
    for (std::size_t off = 0; off < size; off += kSector, ++sector) {
        Sector s{};
        std::memcpy(s.data(), data + off, std::min<std::size_t>(kSector, size - off));
        PutSector(img, sector, s.data());
    }
}

bool ValidNameChars(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= 0x20 && c <= 0x7E && c != '\\'; });
}

std::uint64_t Mix(std::uint64_t a, std::uint64_t b) {
    std::uint64_t z = a * 0x9E3779B97F4A7C15ull + b + 0x632BE59BD9B4E019ull;
    z = (z ^ (z >> 29)) * 0xBF58476D1CE4E5B9ull;
    return z ^ (z >> 32);
}

// One file's data as it will be placed.
struct FilePlan {
    std::vector<std::uint8_t> stored;
    std::uint32_t wholeBlocks = 0;  // blocks to allocate when none are given
    std::uint32_t pieceSectors = 0;  // P, 0 = no piece
    std::uint32_t pieceBytes = 0;
    std::uint32_t directorySize = 0;
};

class VolumeBuilder {
public:
    VolumeBuilder(const DiskSpec& disk, const VolumeSpec& desc, BuiltVolume& out, std::vector<Image>& imgs, std::size_t index)
        : disk_(disk), spec_(desc), out_(out), imgs_(imgs), index_(index) {}

    void Build() {
        spb_ = spec_.sectorsPerBlock;
        blocks_ = out_.blocks;
        PlanFiles();
        PlanDirectory();
        OwnExplicit();
        AllocateStructures();
        AllocateFiles();
        BuildFat();
        WriteFat();
        WriteDirectory();
        WriteFileData();
    }

private:
    std::string Who() const { return "volume " + spec_.name; }

    // Who holds a block: a chain (an index into ownerNames_) and the block's
    // place in it, so that large volumes do not keep a text per block.
    struct Holder {
        std::uint32_t owner;
        std::uint32_t k;
    };
    std::uint32_t Owner(std::string name) {
        ownerNames_.push_back(std::move(name));
        return static_cast<std::uint32_t>(ownerNames_.size() - 1);
    }
    std::string Text(Holder h) const { return ownerNames_[h.owner] + " block " + Str(h.k); }

    void Own(std::uint32_t b, Holder who) {
        if (b >= blocks_) Fail(Who() + ": " + Text(who) + " names block " + Str(b) + " but the volume has " + Str(blocks_) + " blocks");
        auto [it, fresh] = owner_.emplace(b, who);
        if (!fresh) Fail(Who() + ": block " + Str(b) + " is used by both " + Text(it->second) + " and " + Text(who));
    }
    std::uint32_t Alloc(Holder who) {
        while (cursor_ < blocks_ && owner_.count(cursor_)) ++cursor_;
        if (cursor_ >= blocks_) Fail(Who() + " is full: no free block for " + Text(who));
        Own(cursor_, who);
        return cursor_++;
    }

    std::string EntryWho(std::size_t i) const { return "entry " + Str(i) + " (" + spec_.entries[i].name + ")"; }

    void PlanFiles() {
        const std::uint32_t blockBytes = spb_ * kSector;
        plans_.resize(spec_.entries.size());
        for (std::size_t i = 0; i < spec_.entries.size(); ++i) {
            const EntrySpec& e = spec_.entries[i];
            FilePlan& p = plans_[i];
            if (e.folder) continue;
            std::uint64_t seed = e.seed ? e.seed : Mix(Mix(disk_.seed, index_ + 1), i + 1);
            if (e.data) p.stored = *e.data;
            else if (e.document) p.stored = MakeDocument(*e.document, e.size, seed);
            else p.stored = SeededBytes(e.size, seed);
            const std::uint32_t len = static_cast<std::uint32_t>(p.stored.size());
            p.directorySize = len;
            if (e.compression != Compression::None) {
                if (len < 12) Fail(Who() + ": compressed " + EntryWho(i) + " needs at least 12 bytes for its header");
                std::uint32_t expanded = e.expandedSize ? e.expandedSize : 3 * len;
                std::uint8_t* h = p.stored.data();
                h[0] = 1; h[1] = 1; h[2] = 0; h[3] = 0;
                nw::StoreLe32(h + 4, expanded);
                nw::StoreLe32(h + 8, len);
                if (e.compression == Compression::Marked) p.directorySize = expanded;
            }
            if (e.directorySize) p.directorySize = *e.directorySize;

            std::uint32_t rest = len;
            if (e.placement == Placement::Whole) {
                if (len == 0 || len > blockBytes)
                    Fail(Who() + ": " + EntryWho(i) + " of " + Str(len) + " bytes cannot be a whole-file piece (1.." +
                         Str(blockBytes) + " bytes)");
                if (!e.blocks.empty()) Fail(Who() + ": " + EntryWho(i) + " is a whole-file piece and cannot name blocks");
                rest = 0;
                p.pieceBytes = len;
            } else {
                std::uint64_t capacity = static_cast<std::uint64_t>(e.blocks.size()) * blockBytes;
                if (e.blocks.empty()) {
                    p.wholeBlocks = e.placement == Placement::Tail ? len / blockBytes : (len + blockBytes - 1) / blockBytes;
                    capacity = static_cast<std::uint64_t>(p.wholeBlocks) * blockBytes;
                }
                if (capacity >= len) rest = 0;
                else if (e.placement == Placement::Tail) rest = static_cast<std::uint32_t>(len - capacity);
                else
                    Fail(Who() + ": " + EntryWho(i) + " holds " + Str(len) + " bytes but its chain of " +
                         Str(e.blocks.size()) + " blocks holds " + Str(capacity));
                if (rest >= blockBytes)
                    Fail(Who() + ": " + EntryWho(i) + " holds " + Str(len) + " bytes, more than its " +
                         Str(e.blocks.size()) + " blocks and a tail piece can hold");
                p.pieceBytes = rest;
            }
            if (p.pieceBytes) {
                p.pieceSectors = (p.pieceBytes + kSector - 1) / kSector;
                if (p.pieceSectors > 127)
                    Fail(Who() + ": " + EntryWho(i) + " needs a suballocated piece of " + Str(p.pieceSectors) +
                         " sectors; pieces hold at most 127");
            }
        }
    }

    void CheckEntry(std::size_t i) {
        const EntrySpec& e = spec_.entries[i];
        if (!e.nameLengthOverride && (e.name.empty() || e.name.size() > nw::kMaxPrimaryNameLength))
            Fail(Who() + ": name \"" + e.name + "\" must have 1..15 characters");
        if (e.name.size() > 116) Fail(Who() + ": name \"" + e.name + "\" does not fit an entry");
        if (!ValidNameChars(e.name)) Fail(Who() + ": name \"" + e.name + "\" holds a character other than printable ASCII or a backslash");
        if (e.longName.size() > nw::kMaxLongNameLength)
            Fail(Who() + ": long name \"" + e.longName + "\" has more than 80 characters");
        if (!ValidNameChars(e.longName)) Fail(Who() + ": long name \"" + e.longName + "\" holds a character other than printable ASCII or a backslash");
        if (e.parent >= nw::kSuballocMarker)
            Fail(Who() + ": parent number " + Str(e.parent) + " of " + EntryWho(i) + " would mark a special entry");
        if (e.folder && e.number >= nw::kSuballocMarker)
            Fail(Who() + ": folder number " + Str(e.number) + " of " + EntryWho(i) + " would mark a special entry");
    }

    // Directory slots of copy 1: the DET's first entry, the suballocation
    // records, then the entries, each primary followed by its long name in
    // the same sector (or, for slot3 entries, in the next one).
    void PlanDirectory() {
        std::set<std::uint32_t> groups;
        if (spec_.allSuballocGroups)
            for (std::uint32_t g = 0; g < nw::kSuballocGroups; ++g) groups.insert(g);
        for (const FilePlan& p : plans_)
            if (p.pieceSectors) groups.insert(p.pieceSectors / nw::kSuballocChainsPerRecord);
        std::uint32_t slot = 1;
        for (std::uint32_t g : groups) {
            groupSlots_.emplace_back(g, slot++);
            out_.suballocGroups.push_back(g);
        }

        std::set<std::uint32_t> used;
        for (const EntrySpec& e : spec_.entries)
            if (e.folder && e.number) used.insert(e.number);
        std::uint32_t nextNumber = 1;
        entrySlots_.resize(spec_.entries.size());
        numbers_.resize(spec_.entries.size());
        for (std::size_t i = 0; i < spec_.entries.size(); ++i) {
            CheckEntry(i);
            const EntrySpec& e = spec_.entries[i];
            if (e.folder) {
                if (e.number) numbers_[i] = e.number;
                else {
                    while (used.count(nextNumber)) ++nextNumber;
                    numbers_[i] = nextNumber;
                    used.insert(nextNumber);
                }
            }
            if (e.slot3) {
                while (slot % 4 != 3) ++slot;
            } else if (spec_.nameSpaces.empty() && !e.longName.empty() && slot % 4 == 3) {
                ++slot;  // keep the long name in the primary's sector
            }
            entrySlots_[i] = slot;
            slot += !spec_.nameSpaces.empty() ? 1 + static_cast<std::uint32_t>(spec_.nameSpaces.size())
                    : e.longName.empty()      ? 1
                                              : 2;
        }
        const std::uint32_t perBlock = 4 * spb_;
        detNeeded_ = std::max<std::uint32_t>(1, (slot + perBlock - 1) / perBlock);
        detCount_ = std::max(detNeeded_, spec_.det1BlockCount);
        if (!spec_.det1Blocks.empty()) {
            if (spec_.det1Blocks.size() < detNeeded_)
                Fail(Who() + ": the directory needs " + Str(detNeeded_) + " blocks but DET copy 1 names " +
                     Str(spec_.det1Blocks.size()));
            detCount_ = static_cast<std::uint32_t>(spec_.det1Blocks.size());
        }
        det2Count_ = spec_.det2Length ? *spec_.det2Length : detCount_;
        if (!spec_.det2Blocks.empty()) {
            if (spec_.det2Length && *spec_.det2Length != spec_.det2Blocks.size())
                Fail(Who() + ": DET copy 2 names " + Str(spec_.det2Blocks.size()) + " blocks but its length is " +
                     Str(*spec_.det2Length));
            det2Count_ = static_cast<std::uint32_t>(spec_.det2Blocks.size());
        }
        if (det2Count_ == 0) Fail(Who() + ": DET copy 2 needs at least one block");
        if (det2Count_ > detCount_)
            Fail(Who() + ": DET copy 2 (" + Str(det2Count_) + " blocks) cannot be longer than copy 1 (" + Str(detCount_) + ")");
    }

    void OwnList(const std::vector<std::uint32_t>& list, const std::string& who) {
        if (list.empty()) return;
        const std::uint32_t owner = Owner(who);
        for (std::size_t k = 0; k < list.size(); ++k) Own(list[k], {owner, static_cast<std::uint32_t>(k)});
    }

    void OwnExplicit() {
        fatNeeded_ = static_cast<std::uint32_t>(((blocks_ + 63ull) / 64 + spb_ - 1) / spb_);
        if (!spec_.fat1Blocks.empty() && spec_.fat1Blocks.size() < fatNeeded_)
            Fail(Who() + ": its FAT needs " + Str(fatNeeded_) + " blocks but FAT copy 1 names " + Str(spec_.fat1Blocks.size()));
        // FAT copy 1 starts at block 0 unless told otherwise; explicit
        // chains that reach into it are refused rather than moving it.
        out_.fat1 = spec_.fat1Blocks.empty() ? AllocList(fatNeeded_, "FAT copy 1") : spec_.fat1Blocks;
        if (!spec_.fat1Blocks.empty()) OwnList(spec_.fat1Blocks, "FAT copy 1");
        OwnList(spec_.fat2Blocks, "FAT copy 2");
        OwnList(spec_.det1Blocks, "DET copy 1");
        OwnList(spec_.det2Blocks, "DET copy 2");
        for (std::size_t i = 0; i < spec_.entries.size(); ++i) OwnList(spec_.entries[i].blocks, EntryWho(i));
    }

    std::vector<std::uint32_t> AllocList(std::uint32_t n, const std::string& who) {
        std::vector<std::uint32_t> v;
        if (n == 0) return v;
        const std::uint32_t owner = Owner(who);
        for (std::uint32_t k = 0; k < n; ++k) v.push_back(Alloc({owner, k}));
        return v;
    }

    void AllocateStructures() {
        out_.det1 = spec_.det1Blocks.empty() ? AllocList(detCount_, "DET copy 1") : spec_.det1Blocks;
        out_.fat2 = spec_.fat2Blocks.empty() ? AllocList(fatNeeded_, "FAT copy 2") : spec_.fat2Blocks;
        out_.det2 = spec_.det2Blocks.empty() ? AllocList(det2Count_, "DET copy 2") : spec_.det2Blocks;
    }

    void AllocateFiles() {
        out_.entries.resize(spec_.entries.size());
        for (std::size_t i = 0; i < spec_.entries.size(); ++i) {
            const EntrySpec& e = spec_.entries[i];
            BuiltEntry& b = out_.entries[i];
            b.number = e.folder ? numbers_[i] : 0;
            if (e.folder) continue;
            const FilePlan& p = plans_[i];
            b.stored = std::move(plans_[i].stored);
            b.directorySize = p.directorySize;
            b.blocks = e.blocks.empty() ? AllocList(p.wholeBlocks, EntryWho(i)) : e.blocks;
            if (e.fork && !e.fork->empty()) {
                b.fork = *e.fork;
                const std::uint32_t blockBytes = spb_ * kSector;
                b.forkBlocks = AllocList(static_cast<std::uint32_t>((b.fork.size() + blockBytes - 1) / blockBytes),
                                         EntryWho(i) + " resource fork");
            }
        }
        // Pieces, packed one after another into the chain of their length.
        std::array<std::uint32_t, 128> pieceCount{};
        std::array<std::uint32_t, 128> chainOwner{};
        for (std::size_t i = 0; i < spec_.entries.size(); ++i) {
            const FilePlan& p = plans_[i];
            if (!p.pieceSectors) continue;
            const std::uint32_t P = p.pieceSectors;
            const std::uint32_t n = pieceCount[P]++;
            const std::uint64_t endSector = static_cast<std::uint64_t>(n + 1) * P;
            std::vector<std::uint32_t>& chain = subChains_[P];
            if (n == 0) chainOwner[P] = Owner("suballocation chain " + Str(P));
            while (chain.size() * spb_ < endSector)
                chain.push_back(Alloc({chainOwner[P], static_cast<std::uint32_t>(chain.size())}));
            out_.entries[i].piece = nw::MakeSuballocValue(P, n);
        }
        for (auto& [P, chain] : subChains_) out_.suballoc[P] = chain.front();
        for (std::size_t i = 0; i < spec_.entries.size(); ++i) {
            BuiltEntry& b = out_.entries[i];
            if (spec_.entries[i].folder) continue;
            b.firstBlock = !b.blocks.empty() ? b.blocks.front() : b.piece ? b.piece : nw::kChainEnd;
        }
    }

    void Chain(const std::vector<std::uint32_t>& list, std::uint32_t terminal) {
        for (std::size_t k = 0; k < list.size(); ++k)
            fat_[list[k]] = nw::FatEntry{static_cast<std::uint32_t>(k), k + 1 < list.size() ? list[k + 1] : terminal};
    }

    // Damages the sequence of the entry of list[k - 1] so that walks keep k blocks.
    void Break(std::map<std::uint32_t, nw::FatEntry>& patch, const std::vector<std::uint32_t>& list, std::uint32_t k,
               const std::string& what) {
        if (k == 0) return;
        if (k >= list.size())
            Fail(Who() + ": " + what + " has " + Str(list.size()) + " blocks and cannot break at block " + Str(k));
        nw::FatEntry e = fat_[list[k - 1]];
        e.sequence ^= 0x00A50000u;
        patch[list[k - 1]] = e;
    }

    void BuildFat() {
        Chain(out_.fat1, nw::kChainEnd);
        Chain(out_.fat2, nw::kChainEnd);
        Chain(out_.det1, nw::kChainEnd);
        Chain(out_.det2, nw::kChainEnd);
        for (auto& [P, chain] : subChains_) Chain(chain, nw::kChainEnd);
        for (const BuiltEntry& b : out_.entries)
            if (!b.blocks.empty()) Chain(b.blocks, b.piece ? b.piece : nw::kChainEnd);
        for (const BuiltEntry& b : out_.entries)
            if (!b.forkBlocks.empty()) Chain(b.forkBlocks, nw::kChainEnd);
        Break(patch1_, out_.det1, spec_.breakDetAt, "DET copy 1");
        patch2_ = patch1_;
        Break(patch1_, out_.fat1, spec_.breakFat1At, "FAT copy 1");
        Break(patch2_, out_.fat2, spec_.breakFat2At, "FAT copy 2");
        for (const FatPatch& f : spec_.fatPatches) {
            if (f.copy != 1 && f.copy != 2) Fail(Who() + ": a FAT patch names copy " + Str(f.copy));
            if (f.block >= blocks_) Fail(Who() + ": a FAT patch names block " + Str(f.block) + " beyond the volume");
            (f.copy == 1 ? patch1_ : patch2_)[f.block] = nw::FatEntry{f.sequence, f.next};
        }
    }

    void Put(Loc at, const std::uint8_t* data) { PutSector(imgs_[at.disk], at.sector, data); }
    void Put(Loc at, const std::uint8_t* data, std::size_t size) { PutBytes(imgs_[at.disk], at.sector, data, size); }

    void WriteFat() {
        for (int copy = 1; copy <= 2; ++copy) {
            std::map<std::uint32_t, nw::FatEntry> content = fat_;
            for (auto& [b, e] : copy == 1 ? patch1_ : patch2_) content[b] = e;
            const std::vector<std::uint32_t>& list = copy == 1 ? out_.fat1 : out_.fat2;
            std::map<std::uint32_t, Sector> sectors;
            for (auto& [b, e] : content) {
                nw::FatPosition pos = nw::LocateFatEntry(b, spb_);
                if (pos.fatBlock >= list.size()) continue;  // beyond a short copy: not stored
                Sector& s = sectors[pos.fatSector];
                nw::StoreLe32(s.data() + 8 * pos.entryIndex, e.sequence);
                nw::StoreLe32(s.data() + 8 * pos.entryIndex + 4, e.next);
            }
            for (auto& [fs, s] : sectors) Put(Place(list[fs / spb_], fs % spb_), s.data());
        }
    }

    void WriteDirectory() {
        const std::uint32_t perBlock = 4 * spb_;
        std::vector<std::uint8_t> det(static_cast<std::size_t>(detCount_) * perBlock * nw::kDetEntrySize, 0);
        auto at = [&](std::uint32_t slot) { return det.data() + static_cast<std::size_t>(slot) * nw::kDetEntrySize; };
        std::memcpy(at(0), nw::kDetSignature.data(), nw::kDetSignature.size());
        nw::StoreLe32(at(0) + nw::det::kParent, nw::kDetHeaderMarker);
        for (auto [g, slot] : groupSlots_) {
            std::uint8_t* e = at(slot);
            nw::StoreLe32(e + nw::det::kParent, nw::kSuballocMarker);
            e[nw::det::kGroup] = static_cast<std::uint8_t>(g);
            for (std::uint32_t k = 0; k < nw::kSuballocChainsPerRecord; ++k)
                nw::StoreLe32(e + nw::det::kSuballocBlocks + 4 * k, out_.suballoc[g * nw::kSuballocChainsPerRecord + k]);
        }
        for (std::size_t i = 0; i < spec_.entries.size(); ++i) {
            const EntrySpec& s = spec_.entries[i];
            BuiltEntry& b = out_.entries[i];
            std::uint8_t* e = at(entrySlots_[i]);
            std::uint32_t attributes = s.extraAttributes | (s.folder ? nw::kAttrFolder : 0);
            if (s.compression == Compression::Marked) attributes |= nw::kAttrCompressed;
            nw::StoreLe32(e + nw::det::kParent, s.parent);
            nw::StoreLe32(e + nw::det::kAttributes, attributes);
            e[nw::det::kNameSpace] = nw::kNameSpaceDos;
            e[nw::det::kNameLength] = s.nameLengthOverride ? *s.nameLengthOverride : static_cast<std::uint8_t>(s.name.size());
            std::memcpy(e + nw::det::kName, s.name.data(), s.name.size());
            nw::StoreLe32(e + nw::det::kDateTime, s.dateTime);
            if (!s.folder) {
                nw::StoreLe32(e + nw::det::kFileSize, b.directorySize);
                nw::StoreLe32(e + nw::det::kFirstBlock, b.firstBlock);
            }
            if (s.deleted) nw::StoreLe32(e + nw::det::kDeleted, s.dateTime ? s.dateTime : 1);
            nw::StoreLe32(e + nw::det::kFolderNumber, b.number);
            b.entryNumber = entrySlots_[i];
            if (!spec_.nameSpaces.empty()) {
                WriteNameSpaceRecords(s, b, attributes, at);
            } else if (!s.longName.empty()) {
                std::uint8_t* l = at(entrySlots_[i] + 1);
                nw::StoreLe32(l + nw::det::kParent, s.parent);
                nw::StoreLe32(l + nw::det::kAttributes, attributes);
                l[nw::det::kNameSpace] = nw::kNameSpaceLong;
                l[nw::det::kNameLength] = static_cast<std::uint8_t>(s.longName.size());
                std::memcpy(l + nw::det::kName, s.longName.data(), s.longName.size());
            }
            const std::uint32_t blockIndex = entrySlots_[i] / perBlock;
            const std::uint32_t sectorIndex = (entrySlots_[i] % perBlock) / 4;
            b.slot = entrySlots_[i] % 4;
            const Loc one = Place(out_.det1[blockIndex], sectorIndex);
            b.det1Sector = one.sector;
            b.det1Disk = one.disk;
            if (blockIndex < out_.det2.size()) {
                const Loc two = Place(out_.det2[blockIndex], sectorIndex);
                b.det2Sector = two.sector;
                b.det2Disk = two.disk;
            }
        }
        const std::size_t blockBytes = static_cast<std::size_t>(spb_) * kSector;
        for (std::size_t k = 0; k < out_.det1.size(); ++k) Put(Place(out_.det1[k]), det.data() + k * blockBytes, blockBytes);
        for (std::size_t k = 0; k < out_.det2.size(); ++k) Put(Place(out_.det2[k]), det.data() + k * blockBytes, blockBytes);
    }

    // The DOS record's dates and links, and one record per loaded name space
    // in the slots after it: each names the DOS record's 0x78 at its own
    // 0x78 and the next record at 0x7C (0 after the last).
    template <typename At>
    void WriteNameSpaceRecords(const EntrySpec& s, BuiltEntry& b, std::uint32_t attributes, At at) {
        std::uint8_t* dos = at(b.entryNumber);
        const std::uint32_t primary = s.folder ? b.number : b.entryNumber;
        nw::StoreLe32(dos + 0x78, primary);
        nw::StoreLe32(dos + 0x28, s.modified);
        if (!s.folder) nw::StoreLe16(dos + 0x62, s.accessDate);
        const std::uint32_t count = static_cast<std::uint32_t>(spec_.nameSpaces.size());
        nw::StoreLe32(dos + 0x7C, count ? b.entryNumber + 1 : 0);
        for (std::uint32_t k = 0; k < count; ++k) {
            const std::uint8_t ns = spec_.nameSpaces[k];
            std::uint8_t* r = at(b.entryNumber + 1 + k);
            nw::StoreLe32(r + 0x00, s.parent);
            nw::StoreLe32(r + 0x04, attributes);
            r[0x0A] = ns;
            const std::string& other = ns == 1 ? s.macName : ns == 2 ? s.nfsName : ns == 5 ? s.ntName : s.longName;
            std::string name = !other.empty() ? other : !s.longName.empty() ? s.longName : s.name;
            const std::size_t limit = ns == 1 ? 31 : ns == 2 ? 40 : 80;
            if (name.size() > limit) Fail(Who() + ": name \"" + name + "\" is too long for name space " + Str(ns));
            r[0x0B] = static_cast<std::uint8_t>(name.size());
            std::memcpy(r + 0x0C, name.data(), name.size());
            nw::StoreLe32(r + 0x78, primary);
            nw::StoreLe32(r + 0x7C, k + 1 < count ? b.entryNumber + 2 + k : 0);
            if (ns == 1) {
                nw::StoreLe32(r + 0x2C, b.forkBlocks.empty() ? 0 : b.forkBlocks.front());
                nw::StoreLe32(r + 0x30, static_cast<std::uint32_t>(b.fork.size()));
                std::memcpy(r + 0x34, s.finderInfo.data(), s.finderInfo.size());
            } else if (ns == 2) {
                const std::uint32_t mode = s.mode ? *s.mode : s.folder ? 040755u : 0100644u;
                nw::StoreLe32(r + 0x3A, mode);
                nw::StoreLe32(r + 0x42, s.gid);
                nw::StoreLe32(r + 0x4A, 1);
                r[0x4E] = s.linkFlag;
                nw::StoreLe32(r + 0x5C, s.uid);
            }
        }
    }

    void WriteFileData() {
        const std::size_t blockBytes = static_cast<std::size_t>(spb_) * kSector;
        for (std::size_t i = 0; i < spec_.entries.size(); ++i) {
            if (spec_.entries[i].folder) continue;
            const BuiltEntry& b = out_.entries[i];
            for (std::size_t k = 0; k < b.forkBlocks.size(); ++k) {
                const std::size_t from = k * blockBytes;
                Put(Place(b.forkBlocks[k]), b.fork.data() + from, std::min(blockBytes, b.fork.size() - from));
            }
            std::size_t off = 0;
            for (std::uint32_t blk : b.blocks) {
                if (off >= b.stored.size()) break;
                std::size_t n = std::min(blockBytes, b.stored.size() - off);
                Put(Place(blk), b.stored.data() + off, n);
                off += n;
            }
            if (!b.piece) continue;
            for (Loc s : PieceSectors(b.piece, plans_[i].pieceSectors)) {
                std::size_t n = std::min<std::size_t>(kSector, b.stored.size() - off);
                Put(s, b.stored.data() + off, n);
                off += n;
                if (off >= b.stored.size()) break;
            }
        }
    }

public:
    // Sector `index` of `block`, in the segment that holds the block.
    Loc Place(std::uint32_t block, std::uint32_t index = 0) const {
        const std::vector<BuiltSegment>& segs = out_.segments;
        auto it = std::upper_bound(segs.begin(), segs.end(), block,
                                   [](std::uint32_t b, const BuiltSegment& s) { return b < s.firstBlock; });
        const BuiltSegment& s = *std::prev(it);  // segment 0 starts at block 0
        return {s.disk, s.startSector + static_cast<std::uint64_t>(block - s.firstBlock) * spb_ + index};
    }
    std::vector<Loc> PieceSectors(std::uint32_t piece, std::uint32_t sectors) const {
        const std::uint32_t P = nw::SuballocChainOf(piece);
        const std::uint64_t o = static_cast<std::uint64_t>(nw::SuballocPieceOf(piece)) * P;
        const std::vector<std::uint32_t>& chain = subChains_.at(P);
        std::vector<Loc> out;
        for (std::uint64_t k = o; k < o + sectors; ++k) out.push_back(Place(chain[k / spb_], k % spb_));
        return out;
    }
    // Every data sector of entry i in reading order.
    std::vector<Loc> FileSectors(std::size_t i) const {
        std::vector<Loc> out;
        const BuiltEntry& b = out_.entries[i];
        for (std::uint32_t blk : b.blocks)
            for (std::uint32_t k = 0; k < spb_; ++k) out.push_back(Place(blk, k));
        if (b.piece) {
            auto more = PieceSectors(b.piece, plans_[i].pieceSectors);
            out.insert(out.end(), more.begin(), more.end());
        }
        return out;
    }
    bool IsUsed(std::uint32_t block) const { return owner_.count(block) != 0; }

private:
    const DiskSpec& disk_;
    const VolumeSpec& spec_;
    BuiltVolume& out_;
    std::vector<Image>& imgs_;
    std::size_t index_;
    std::uint32_t spb_ = 0;
    std::uint32_t blocks_ = 0;
    std::uint32_t cursor_ = 0;
    std::uint32_t fatNeeded_ = 0, detNeeded_ = 0, detCount_ = 0, det2Count_ = 0;
    std::unordered_map<std::uint32_t, Holder> owner_;
    std::vector<std::string> ownerNames_;
    std::vector<FilePlan> plans_;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> groupSlots_;
    std::vector<std::uint32_t> entrySlots_;
    std::vector<std::uint32_t> numbers_;
    std::map<std::uint32_t, std::vector<std::uint32_t>> subChains_;
    std::map<std::uint32_t, nw::FatEntry> fat_;
    std::map<std::uint32_t, nw::FatEntry> patch1_, patch2_;
};

// One entry of a partition's volume table: segment `segment` of volume `volume`.
struct TableRow {
    const VolumeSpec* described = nullptr;
    std::size_t volume = 0;
    std::uint32_t segment = 0;
    std::uint64_t sectors = 0;
};

// The fields at 0x10 .. 0x18 and 0x24 sit where names over 15 characters
// continue, so such names leave them out, as legacy tables do.
bool WritesSegmentFields(const VolumeSpec& v) { return !v.legacyTable && v.name.size() <= 15; }

std::uint8_t BlockSizeCode(std::uint32_t spb) {
    std::uint8_t code = 0;
    while ((1u << code) < spb) ++code;
    return code;  // 8 sectors (4 KiB) = 3 .. 128 sectors (64 KiB) = 7
}

void WriteVolumeTable(Image& img, std::uint64_t sector, const PartitionSpec& part, const std::vector<TableRow>& rows,
                      const std::vector<BuiltVolume>& vols, const std::vector<const VolumeSpec*>& owners, TableCopy state) {
    if (state == TableCopy::Missing) return;
    Sector s{};
    std::memcpy(s.data(), state == TableCopy::BadText ? "NetWare VOLUMES" : "NetWare Volumes", 15);
    std::uint32_t n = static_cast<std::uint32_t>(rows.size());
    nw::StoreLe32(s.data() + 0x10, state == TableCopy::CountZero ? 0 : state == TableCopy::CountNine ? 9 : n);
    // Segment starts count from the partition's first sector plus the
    // hot-fix sector's distance: 32 sectors before the volume tables.
    const std::uint64_t base = std::uint64_t(part.firstSector) + part.volumeAreaDistance;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const TableRow& r = rows[k];
        const BuiltVolume& b = vols[r.volume];
        const BuiltSegment& g = b.segments[r.segment];
        std::uint8_t* e = s.data() + 0x20 + nw::kVolumeEntrySize * k;
        e[0] = static_cast<std::uint8_t>(b.name.size());
        std::memcpy(e + 1, b.name.data(), b.name.size());
        if (WritesSegmentFields(*owners[r.volume])) {
            const std::uint32_t count = static_cast<std::uint32_t>(b.segments.size());
            nw::StoreLe32(e + 0x10, count - 1);
            e[0x14] = BlockSizeCode(b.sectorsPerBlock);
            e[0x15] = static_cast<std::uint8_t>(count);
            e[0x16] = static_cast<std::uint8_t>(r.segment);
            nw::StoreLe32(e + 0x18, static_cast<std::uint32_t>(g.startSector - base));
            nw::StoreLe32(e + 0x24, g.firstBlock);
        }
        nw::StoreLe32(e + 0x1C, static_cast<std::uint32_t>(r.sectors));
        nw::StoreLe32(e + 0x20, b.blocks);
        nw::StoreLe32(e + 0x28, b.fat1.front());
        nw::StoreLe32(e + 0x2C, b.fat2.front());
        nw::StoreLe32(e + 0x30, b.det1.front());
        nw::StoreLe32(e + 0x34, b.det2.front());
    }
    PutSector(img, sector, s.data());
}

}  // namespace

std::uint32_t PackDateTime(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute, unsigned second) {
    nw::PackedDateTime t;
    t.yearField = year >= 1980 ? year - 1980 : 0;
    t.month = month;
    t.day = day;
    t.hours = hour;
    t.minutes = minute;
    t.seconds = second;
    return nw::EncodePackedDateTime(t);
}

void Image::Read(std::uint64_t sector, std::uint8_t* out) const {
    auto it = sectors.find(sector);
    if (it == sectors.end()) std::memset(out, 0, kSector);
    else std::memcpy(out, it->second.data(), kSector);
}

std::vector<std::uint8_t> Image::ReadBytes(std::uint64_t sector, std::uint32_t count) const {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(count) * kSector);
    for (std::uint32_t k = 0; k < count; ++k) Read(sector + k, out.data() + static_cast<std::size_t>(k) * kSector);
    return out;
}

std::vector<Image> BuildDisks(const std::vector<DiskSpec>& disks) {
    if (disks.empty()) Fail("a description needs at least one disk");
    const bool several = disks.size() > 1;
    auto diskWho = [&](std::size_t d) { return several ? "disk " + Str(d) + ": " : std::string(); };
    std::vector<Image> imgs(disks.size());
    std::vector<std::vector<Claim>> claims(disks.size());

    // Volume table entries: every segment-0 entry makes a volume, the other
    // entries join the volume of their name.
    struct Row {
        std::size_t disk, partition;
        TableRow table;
    };
    std::vector<Row> rows;
    std::vector<std::size_t> volumeRow;  // the row of each volume's segment 0
    for (std::size_t d = 0; d < disks.size(); ++d) {
        const DiskSpec& desc = disks[d];
        if (desc.partitions.size() > 4)
            Fail(diskWho(d) + "a partition table holds at most 4 partitions, the description has " + Str(desc.partitions.size()));
        std::set<int> slots;
        for (std::size_t pi = 0; pi < desc.partitions.size(); ++pi) {
            const PartitionSpec& p = desc.partitions[pi];
            const std::string who = diskWho(d) + "partition " + Str(pi);
            int slot = p.slot < 0 ? static_cast<int>(pi) : p.slot;
            if (slot > 3) Fail(who + ": table slot " + Str(slot) + " does not exist (0..3)");
            if (!slots.insert(slot).second) Fail(who + ": table slot " + Str(slot) + " is used twice");
            if (p.volumes.empty()) continue;
            if (p.volumes.size() > nw::kMaxVolumeTableEntries)
                Fail(who + ": a volume table holds at most 8 volumes, the description has " + Str(p.volumes.size()));
            if (p.hotFixPosition > 3) Fail(who + ": the hot-fix sector position must be 0..3");
            for (const VolumeSpec& v : p.volumes) {
                Row r{d, pi, {&v, 0, v.segment, 0}};
                if (v.segment == 0) {
                    r.table.volume = volumeRow.size();
                    volumeRow.push_back(rows.size());
                }
                rows.push_back(r);
            }
        }
    }
    const std::size_t volumeCount = volumeRow.size();
    std::vector<const VolumeSpec*> owners(volumeCount);
    for (std::size_t k = 0; k < volumeCount; ++k) owners[k] = rows[volumeRow[k]].table.described;
    std::map<std::string, std::vector<std::size_t>> byName;
    for (std::size_t k = 0; k < volumeCount; ++k) byName[owners[k]->name].push_back(k);
    std::vector<std::vector<std::size_t>> segmentRows(volumeCount);  // by segment number
    for (std::size_t i = 0; i < rows.size(); ++i) {
        TableRow& t = rows[i].table;
        const std::string sw = "volume " + t.described->name + " segment " + Str(t.segment);
        if (t.segment > 0) {
            auto it = byName.find(t.described->name);
            if (it == byName.end()) Fail(sw + ": no volume of that name has a segment 0");
            if (it->second.size() > 1) Fail(sw + ": " + Str(it->second.size()) + " volumes have that name; the segment fits none for sure");
            t.volume = it->second.front();
        }
        std::vector<std::size_t>& list = segmentRows[t.volume];
        if (t.segment >= 255) Fail(sw + ": a volume has at most 255 segments");
        if (list.size() <= t.segment) list.resize(t.segment + 1, rows.size());
        if (list[t.segment] != rows.size()) Fail(sw + " is listed twice");
        list[t.segment] = i;
    }

    // Volume geometry: sizes, block numbers, then places in table order.
    std::vector<BuiltVolume> built(volumeCount);
    for (std::size_t k = 0; k < volumeCount; ++k) {
        const VolumeSpec& v = *owners[k];
        const std::string vw = "volume " + v.name;
        if (v.name.empty() || v.name.size() > 27) Fail(vw + ": a volume name must have 1..27 characters");
        if (!ValidNameChars(v.name)) Fail(vw + ": the volume name holds a character other than printable ASCII");
        const std::uint32_t spb = v.sectorsPerBlock;
        if (spb != 8 && spb != 16 && spb != 32 && spb != 64 && spb != 128)
            Fail(vw + ": " + Str(spb) + " sectors per block; blocks hold 8, 16, 32, 64 or 128 sectors");
        const std::vector<std::size_t>& list = segmentRows[k];
        for (std::size_t n = 0; n < list.size(); ++n)
            if (list[n] == rows.size())
                Fail(vw + ": segment " + Str(n) + " is missing (its segments are numbered 0.." + Str(list.size() - 1) + ")");
        if (list.size() > 1 && v.name.size() > 15)
            Fail(vw + ": a volume of several segments needs a name of at most 15 characters");
        BuiltVolume& b = built[k];
        b.name = v.name;
        b.sectorsPerBlock = spb;
        std::uint64_t total = 0;
        for (std::size_t n = 0; n < list.size(); ++n) {
            TableRow& t = rows[list[n]].table;
            const VolumeSpec& e = *t.described;
            const std::string sw = list.size() > 1 ? vw + " segment " + Str(n) : vw;
            std::uint64_t blocks = e.blocks;
            if (e.segmentSectors) {
                if (*e.segmentSectors % spb != 0)
                    Fail(sw + ": a block of " + Str(spb) + " sectors does not divide the segment of " + Str(*e.segmentSectors) + " sectors");
                if (blocks && blocks * spb != *e.segmentSectors)
                    Fail(sw + ": " + Str(blocks) + " blocks of " + Str(spb) + " sectors do not make a segment of " + Str(*e.segmentSectors) + " sectors");
                blocks = *e.segmentSectors / spb;
            }
            if (blocks == 0) Fail(sw + ": the volume has no blocks");
            if (blocks * spb > 0xFFFFFFFFull) Fail(sw + ": a segment spans at most 2^32 - 1 sectors");
            t.sectors = blocks * spb;
            BuiltSegment g;
            g.disk = rows[list[n]].disk;
            g.firstBlock = static_cast<std::uint32_t>(total);
            g.blocks = static_cast<std::uint32_t>(blocks);
            total += blocks;
            if (total > 0xFFFFFFFFull) Fail(vw + ": a volume holds at most 2^32 - 1 blocks");
            b.segments.push_back(g);
        }
        b.blocks = static_cast<std::uint32_t>(total);
    }
    for (std::size_t i = 0; i < rows.size();) {
        // The rows of one partition, in table order.
        const std::size_t d = rows[i].disk, pi = rows[i].partition;
        const PartitionSpec& p = disks[d].partitions[pi];
        const std::string who = diskWho(d) + "partition " + Str(pi);
        const std::uint64_t P = p.firstSector;
        const std::uint64_t end = P + p.sectorCount;
        const std::uint64_t hotfix = nw::HotFixProbeSector(P, p.hotFixPosition);
        const std::uint64_t V = P + 32 + p.volumeAreaDistance;
        claims[d].push_back({hotfix, 1, who + " hot-fix sector", -1});
        claims[d].push_back({V, nw::kVolumeSegmentsOffset, who + " volume tables", -1});
        std::uint64_t at = V + nw::kVolumeSegmentsOffset;
        for (; i < rows.size() && rows[i].disk == d && rows[i].partition == pi; ++i) {
            const TableRow& t = rows[i].table;
            BuiltVolume& b = built[t.volume];
            BuiltSegment& g = b.segments[t.segment];
            const std::string sw = "volume " + b.name + (b.segments.size() > 1 ? " segment " + Str(t.segment) : "");
            const std::uint64_t start = t.described->startSector ? *t.described->startSector : at;
            if (start < V + nw::kVolumeSegmentsOffset)
                Fail(who + ": " + sw + " starts at sector " + Str(start) + ", before the end of the volume tables at " +
                     Str(V + nw::kVolumeSegmentsOffset));
            at = start + t.sectors;
            if (at > end)
                Fail(who + ": " + sw + " ends at sector " + Str(at) + " but the partition ends at " + Str(end) +
                     " (volume larger than its partition)");
            g.startSector = start;
            g.volumeAreaSector = V;
            if (t.segment == 0) {
                b.startSector = start;
                b.volumeAreaSector = V;
            }
            claims[d].push_back({start, t.sectors, sw, static_cast<int>(t.volume), t.segment});
        }
        if (hotfix >= end) Fail(who + ": the hot-fix sector lies beyond the partition");
    }
    for (std::size_t d = 0; d < disks.size(); ++d) {
        const DiskSpec& desc = disks[d];
        for (std::size_t a = 0; a < desc.partitions.size(); ++a)
            for (std::size_t b = a + 1; b < desc.partitions.size(); ++b) {
                const PartitionSpec& x = desc.partitions[a];
                const PartitionSpec& y = desc.partitions[b];
                if (x.sectorCount && y.sectorCount && std::uint64_t(x.firstSector) < std::uint64_t(y.firstSector) + y.sectorCount &&
                    std::uint64_t(y.firstSector) < std::uint64_t(x.firstSector) + x.sectorCount)
                    Fail(diskWho(d) + "overlapping allocations: partitions " + Str(a) + " and " + Str(b) + " overlap");
            }
        if (!desc.partitions.empty()) claims[d].push_back({0, 1, "partition table", -1});
    }

    // Volume contents.
    std::vector<std::unique_ptr<VolumeBuilder>> builders;
    for (std::size_t k = 0; k < volumeCount; ++k) {
        const std::size_t home = rows[volumeRow[k]].disk;
        builders.push_back(std::make_unique<VolumeBuilder>(disks[home], *owners[k], built[k], imgs, k));
        builders.back()->Build();
    }

    // Partition tables, hot-fix sectors and volume tables.
    for (std::size_t d = 0; d < disks.size(); ++d) {
        const DiskSpec& desc = disks[d];
        if (desc.partitions.empty() || desc.wipeSector0) continue;
        Sector s{};
        for (std::size_t pi = 0; pi < desc.partitions.size(); ++pi) {
            const PartitionSpec& p = desc.partitions[pi];
            int slot = p.slot < 0 ? static_cast<int>(pi) : p.slot;
            std::uint8_t* e = s.data() + nw::kPartitionTableOffset + 16 * slot;
            e[4] = p.type;
            nw::StoreLe32(e + 8, p.firstSector);
            nw::StoreLe32(e + 12, p.tableSectorCount ? *p.tableSectorCount : p.sectorCount);
        }
        s[510] = 0x55;
        s[511] = 0xAA;
        PutSector(imgs[d], 0, s.data());
    }
    for (std::size_t i = 0; i < rows.size();) {
        const std::size_t d = rows[i].disk, pi = rows[i].partition;
        const PartitionSpec& p = disks[d].partitions[pi];
        std::vector<TableRow> table;
        for (; i < rows.size() && rows[i].disk == d && rows[i].partition == pi; ++i) table.push_back(rows[i].table);
        Sector h{};
        std::memcpy(h.data(), "HOTFIX00", 8);
        nw::StoreLe32(h.data() + 0x18, p.volumeAreaDistance);
        PutSector(imgs[d], nw::HotFixProbeSector(p.firstSector, p.hotFixPosition), h.data());
        const std::uint64_t V = std::uint64_t(p.firstSector) + 32 + p.volumeAreaDistance;
        for (unsigned j = 0; j < 4; ++j)
            WriteVolumeTable(imgs[d], V + 32ull * j, p, table, built, owners, p.wipeTables ? TableCopy::Missing : p.tables[j]);
    }

    std::vector<std::vector<BadRange>> bad(disks.size());
    std::vector<std::uint64_t> claimsEnd(disks.size(), 0);
    for (std::size_t d = 0; d < disks.size(); ++d) {
        const DiskSpec& desc = disks[d];
        Image& img = imgs[d];
        // Raw content and documents, only where nothing else lies.
        std::vector<RawBlock> raw = desc.raw;
        for (const DocumentSpec& doc : desc.documents)
            raw.push_back({doc.sector, MakeDocument(doc.kind, doc.size, doc.seed ? doc.seed : Mix(desc.seed, doc.sector))});
        std::vector<Claim> all = claims[d];
        for (const RawBlock& r : raw) {
            std::uint64_t count = (r.bytes.size() + kSector - 1) / kSector;
            if (count == 0) continue;
            all.push_back({r.sector, count, "raw content at sector " + Str(r.sector), -1});
        }

        // Overlaps: structures against structures, raw content against
        // anything but the free blocks of a volume.
        std::sort(all.begin(), all.end(), [](const Claim& a, const Claim& b) { return a.first < b.first; });
        std::vector<const Claim*> open;
        for (const Claim& c : all) {
            open.erase(std::remove_if(open.begin(), open.end(), [&](const Claim* o) { return o->first + o->count <= c.first; }),
                       open.end());
            for (const Claim* o : open) {
                const Claim* seg = o->volume >= 0 ? o : c.volume >= 0 ? &c : nullptr;
                const Claim* other = seg == o ? &c : o;
                const bool otherRaw = other->what.rfind("raw content", 0) == 0;
                if (seg && otherRaw) {
                    const BuiltVolume& v = built[seg->volume];
                    const BuiltSegment& g = v.segments[seg->segment];
                    std::uint64_t from = std::max(seg->first, other->first);
                    std::uint64_t to = std::min(seg->first + seg->count, other->first + other->count);
                    for (std::uint64_t s = from; s < to; ++s)
                        if (builders[seg->volume]->IsUsed(static_cast<std::uint32_t>(g.firstBlock + (s - g.startSector) / v.sectorsPerBlock)))
                            Fail(diskWho(d) + "overlapping allocations: " + other->what + " covers sector " + Str(s) + ", a used block of " + seg->what);
                    continue;
                }
                Fail(diskWho(d) + "overlapping allocations: " + o->what + " and " + c.what);
            }
            open.push_back(&c);
        }
        for (const RawBlock& r : raw) PutBytes(img, r.sector, r.bytes.data(), r.bytes.size());
        for (const Claim& c : all) claimsEnd[d] = std::max(claimsEnd[d], c.first + c.count);

        // Bad areas; those in a volume go to the disk that holds the sectors.
        for (const BadArea& a : desc.bad) {
            if (a.count == 0) continue;
            if (a.target == BadArea::Target::Absolute) {
                bad[d].push_back({a.sector, a.count});
                continue;
            }
            if (a.volume >= volumeCount) Fail("a bad area names volume " + Str(a.volume) + ", which does not exist");
            const BuiltVolume& v = built[a.volume];
            std::vector<Loc> sectors;
            std::string what;
            if (a.target == BadArea::Target::FileData) {
                if (a.entry >= v.entries.size() || owners[a.volume]->entries[a.entry].folder)
                    Fail("a bad area names entry " + Str(a.entry) + " of volume " + v.name + ", which is not a file");
                sectors = builders[a.volume]->FileSectors(a.entry);
                what = "the data of entry " + Str(a.entry);
            } else {
                const auto& chain = a.target == BadArea::Target::Det1Block ? v.det1 : v.fat1;
                what = a.target == BadArea::Target::Det1Block ? "DET copy 1" : "FAT copy 1";
                if (a.block >= chain.size()) Fail("a bad area names block " + Str(a.block) + " of " + what + " of volume " + v.name + ", which has " + Str(chain.size()));
                for (std::uint32_t k = 0; k < v.sectorsPerBlock; ++k) sectors.push_back(builders[a.volume]->Place(chain[a.block], k));
            }
            if (a.offset + a.count > sectors.size())
                Fail("a bad area of " + Str(a.count) + " sectors at sector " + Str(a.offset) + " of " + what + " of volume " +
                     v.name + " reaches past its " + Str(sectors.size()) + " sectors");
            for (std::uint64_t k = a.offset; k < a.offset + a.count; ++k) bad[sectors[k].disk].push_back({sectors[k].sector, 1});
        }
    }

    for (std::size_t d = 0; d < disks.size(); ++d) {
        Image& img = imgs[d];
        std::sort(bad[d].begin(), bad[d].end(), [](const BadRange& a, const BadRange& b) { return a.sector < b.sector; });
        for (const BadRange& r : bad[d]) {
            if (!img.bad.empty() && r.sector <= img.bad.back().sector + img.bad.back().count) {
                BadRange& last = img.bad.back();
                last.count = std::max(last.count, r.sector + r.count - last.sector);
            } else {
                img.bad.push_back(r);
            }
        }

        // Disk size.
        std::uint64_t endOfContent = img.sectors.empty() ? 0 : img.sectors.rbegin()->first + 1;
        endOfContent = std::max(endOfContent, claimsEnd[d]);
        for (const PartitionSpec& p : disks[d].partitions)
            endOfContent = std::max<std::uint64_t>(endOfContent, std::uint64_t(p.firstSector) + p.sectorCount);
        for (const BadRange& r : img.bad) endOfContent = std::max(endOfContent, r.sector + r.count);
        img.totalSectors = disks[d].totalSectors ? disks[d].totalSectors : std::max<std::uint64_t>(endOfContent, 1);
        if (img.totalSectors < endOfContent)
            Fail(diskWho(d) + "the disk holds " + Str(img.totalSectors) + " sectors but its contents reach sector " + Str(endOfContent));
    }

    // Manifests: each volume is listed with the disk of its segment 0.
    std::vector<const Image*> views;
    for (const Image& img : imgs) views.push_back(&img);
    for (std::size_t d = 0; d < disks.size(); ++d) {
        std::vector<const BuiltVolume*> vols;
        std::vector<int> choice;
        for (std::size_t k = 0; k < volumeCount; ++k)
            if (rows[volumeRow[k]].disk == d) {
                vols.push_back(&built[k]);
                choice.push_back(owners[k]->mountFat);
            }
        imgs[d].manifest = ComputeManifest(views, vols, choice);
    }
    for (std::size_t k = 0; k < volumeCount; ++k) imgs[rows[volumeRow[k]].disk].volumes.push_back(std::move(built[k]));
    return imgs;
}

Image Build(const DiskSpec& desc) {
    std::vector<Image> imgs = BuildDisks({desc});
    return std::move(imgs.front());
}

}  // namespace nwimage
