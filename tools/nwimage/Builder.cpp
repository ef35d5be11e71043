// Lays a DiskSpec out into an in-memory sparse image.
#include <algorithm>
#include <cstring>
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
    VolumeBuilder(const DiskSpec& disk, const VolumeSpec& desc, BuiltVolume& out, Image& img, std::size_t index)
        : disk_(disk), spec_(desc), out_(out), img_(img), index_(index) {}

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
            } else if (!e.longName.empty() && slot % 4 == 3) {
                ++slot;  // keep the long name in the primary's sector
            }
            entrySlots_[i] = slot;
            slot += e.longName.empty() ? 1 : 2;
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

    std::uint64_t SectorOf(std::uint32_t block, std::uint32_t index = 0) const {
        return out_.startSector + static_cast<std::uint64_t>(block) * spb_ + index;
    }

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
            for (auto& [fs, s] : sectors) PutSector(img_, SectorOf(list[fs / spb_], fs % spb_), s.data());
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
            if (!s.longName.empty()) {
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
            b.det1Sector = SectorOf(out_.det1[blockIndex], sectorIndex);
            b.det2Sector = blockIndex < out_.det2.size() ? SectorOf(out_.det2[blockIndex], sectorIndex) : 0;
        }
        const std::size_t blockBytes = static_cast<std::size_t>(spb_) * kSector;
        for (std::size_t k = 0; k < out_.det1.size(); ++k) PutBytes(img_, SectorOf(out_.det1[k]), det.data() + k * blockBytes, blockBytes);
        for (std::size_t k = 0; k < out_.det2.size(); ++k) PutBytes(img_, SectorOf(out_.det2[k]), det.data() + k * blockBytes, blockBytes);
    }

    void WriteFileData() {
        const std::size_t blockBytes = static_cast<std::size_t>(spb_) * kSector;
        for (std::size_t i = 0; i < spec_.entries.size(); ++i) {
            if (spec_.entries[i].folder) continue;
            const BuiltEntry& b = out_.entries[i];
            std::size_t off = 0;
            for (std::uint32_t blk : b.blocks) {
                if (off >= b.stored.size()) break;
                std::size_t n = std::min(blockBytes, b.stored.size() - off);
                PutBytes(img_, SectorOf(blk), b.stored.data() + off, n);
                off += n;
            }
            if (!b.piece) continue;
            for (std::uint64_t s : PieceSectors(b.piece, plans_[i].pieceSectors)) {
                std::size_t n = std::min<std::size_t>(kSector, b.stored.size() - off);
                PutBytes(img_, s, b.stored.data() + off, n);
                off += n;
                if (off >= b.stored.size()) break;
            }
        }
    }

public:
    std::vector<std::uint64_t> PieceSectors(std::uint32_t piece, std::uint32_t sectors) const {
        const std::uint32_t P = nw::SuballocChainOf(piece);
        const std::uint64_t o = static_cast<std::uint64_t>(nw::SuballocPieceOf(piece)) * P;
        const std::vector<std::uint32_t>& chain = subChains_.at(P);
        std::vector<std::uint64_t> out;
        for (std::uint64_t k = o; k < o + sectors; ++k) out.push_back(SectorOf(chain[k / spb_], k % spb_));
        return out;
    }
    // Every data sector of entry i in reading order.
    std::vector<std::uint64_t> FileSectors(std::size_t i) const {
        std::vector<std::uint64_t> out;
        const BuiltEntry& b = out_.entries[i];
        for (std::uint32_t blk : b.blocks)
            for (std::uint32_t k = 0; k < spb_; ++k) out.push_back(SectorOf(blk, k));
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
    Image& img_;
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

void WriteVolumeTable(Image& img, std::uint64_t sector, const PartitionSpec& part, const std::vector<BuiltVolume>& vols,
                      std::size_t firstVol, TableCopy state) {
    if (state == TableCopy::Missing) return;
    Sector s{};
    std::memcpy(s.data(), state == TableCopy::BadText ? "NetWare VOLUMES" : "NetWare Volumes", 15);
    std::uint32_t n = static_cast<std::uint32_t>(part.volumes.size());
    nw::StoreLe32(s.data() + 0x10, state == TableCopy::CountZero ? 0 : state == TableCopy::CountNine ? 9 : n);
    for (std::size_t k = 0; k < part.volumes.size(); ++k) {
        const VolumeSpec& v = part.volumes[k];
        const BuiltVolume& b = vols[firstVol + k];
        std::uint8_t* e = s.data() + 0x20 + nw::kVolumeEntrySize * k;
        e[0] = static_cast<std::uint8_t>(v.name.size());
        std::memcpy(e + 1, v.name.data(), v.name.size());
        nw::StoreLe32(e + 0x1C, v.segmentSectors ? *v.segmentSectors : b.blocks * b.sectorsPerBlock);
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

Image Build(const DiskSpec& desc) {
    Image img;
    std::vector<Claim> claims;
    if (desc.partitions.size() > 4) Fail("a partition table holds at most 4 partitions, the description has " + Str(desc.partitions.size()));

    // Volume geometry first: the volume table needs every volume's place.
    struct VolumeRef {
        const VolumeSpec* desc;
        std::size_t partition;
    };
    std::vector<VolumeRef> refs;
    std::set<int> slots;
    for (std::size_t pi = 0; pi < desc.partitions.size(); ++pi) {
        const PartitionSpec& p = desc.partitions[pi];
        const std::string who = "partition " + Str(pi);
        int slot = p.slot < 0 ? static_cast<int>(pi) : p.slot;
        if (slot > 3) Fail(who + ": table slot " + Str(slot) + " does not exist (0..3)");
        if (!slots.insert(slot).second) Fail(who + ": table slot " + Str(slot) + " is used twice");
        if (p.volumes.empty()) continue;
        if (p.volumes.size() > nw::kMaxVolumeTableEntries)
            Fail(who + ": a volume table holds at most 8 volumes, the description has " + Str(p.volumes.size()));
        if (p.hotFixPosition > 3) Fail(who + ": the hot-fix sector position must be 0..3");
        const std::uint64_t P = p.firstSector;
        const std::uint64_t end = P + p.sectorCount;
        const std::uint64_t hotfix = nw::HotFixProbeSector(P, p.hotFixPosition);
        const std::uint64_t V = P + 32 + p.volumeAreaDistance;
        claims.push_back({hotfix, 1, who + " hot-fix sector", -1});
        claims.push_back({V, nw::kVolumeSegmentsOffset, who + " volume tables", -1});
        std::uint64_t at = V + nw::kVolumeSegmentsOffset;
        for (const VolumeSpec& v : p.volumes) {
            const std::string vw = "volume " + v.name;
            if (v.name.empty() || v.name.size() > 27) Fail(vw + ": a volume name must have 1..27 characters");
            if (!ValidNameChars(v.name)) Fail(vw + ": the volume name holds a character other than printable ASCII");
            const std::uint32_t spb = v.sectorsPerBlock;
            if (spb != 8 && spb != 16 && spb != 32 && spb != 64 && spb != 128)
                Fail(vw + ": " + Str(spb) + " sectors per block; blocks hold 8, 16, 32, 64 or 128 sectors");
            std::uint64_t blocks = v.blocks;
            if (v.segmentSectors) {
                if (*v.segmentSectors % spb != 0)
                    Fail(vw + ": a block of " + Str(spb) + " sectors does not divide the segment of " + Str(*v.segmentSectors) + " sectors");
                if (blocks && blocks * spb != *v.segmentSectors)
                    Fail(vw + ": " + Str(blocks) + " blocks of " + Str(spb) + " sectors do not make a segment of " + Str(*v.segmentSectors) + " sectors");
                blocks = *v.segmentSectors / spb;
            }
            if (blocks == 0) Fail(vw + ": the volume has no blocks");
            if (blocks * spb > 0xFFFFFFFFull) Fail(vw + ": a volume spans at most 2^32 - 1 sectors");
            BuiltVolume b;
            b.name = v.name;
            b.sectorsPerBlock = spb;
            b.blocks = static_cast<std::uint32_t>(blocks);
            b.startSector = at;
            b.volumeAreaSector = V;
            claims.push_back({at, blocks * spb, vw, static_cast<int>(img.volumes.size())});
            at += blocks * spb;
            img.volumes.push_back(std::move(b));
            refs.push_back({&v, pi});
        }
        if (at > end)
            Fail(who + ": its volumes end at sector " + Str(at) + " but the partition ends at " + Str(end) +
                 " (volume larger than its partition)");
        if (hotfix >= end) Fail(who + ": the hot-fix sector lies beyond the partition");
    }
    for (std::size_t a = 0; a < desc.partitions.size(); ++a)
        for (std::size_t b = a + 1; b < desc.partitions.size(); ++b) {
            const PartitionSpec& x = desc.partitions[a];
            const PartitionSpec& y = desc.partitions[b];
            if (x.sectorCount && y.sectorCount && std::uint64_t(x.firstSector) < std::uint64_t(y.firstSector) + y.sectorCount &&
                std::uint64_t(y.firstSector) < std::uint64_t(x.firstSector) + x.sectorCount)
                Fail("overlapping allocations: partitions " + Str(a) + " and " + Str(b) + " overlap");
        }
    const bool writeMbr = !desc.partitions.empty() && !desc.wipeSector0;
    if (!desc.partitions.empty()) claims.push_back({0, 1, "partition table", -1});

    // Volume contents.
    std::vector<std::unique_ptr<VolumeBuilder>> builders;
    for (std::size_t k = 0; k < refs.size(); ++k) {
        builders.push_back(std::make_unique<VolumeBuilder>(desc, *refs[k].desc, img.volumes[k], img, k));
        builders.back()->Build();
    }

    // Partition table, hot-fix sectors and volume tables.
    if (writeMbr) {
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
        PutSector(img, 0, s.data());
    }
    std::size_t firstVol = 0;
    for (const PartitionSpec& p : desc.partitions) {
        if (p.volumes.empty()) continue;
        Sector h{};
        std::memcpy(h.data(), "HOTFIX00", 8);
        nw::StoreLe32(h.data() + 0x18, p.volumeAreaDistance);
        PutSector(img, nw::HotFixProbeSector(p.firstSector, p.hotFixPosition), h.data());
        const std::uint64_t V = img.volumes[firstVol].volumeAreaSector;
        for (unsigned j = 0; j < 4; ++j)
            WriteVolumeTable(img, V + 32ull * j, p, img.volumes, firstVol, p.wipeTables ? TableCopy::Missing : p.tables[j]);
        firstVol += p.volumes.size();
    }

    // Raw content and documents, only where nothing else lies.
    std::vector<RawBlock> raw = desc.raw;
    for (const DocumentSpec& d : desc.documents)
        raw.push_back({d.sector, MakeDocument(d.kind, d.size, d.seed ? d.seed : Mix(desc.seed, d.sector))});
    std::vector<Claim> rawClaims;
    for (const RawBlock& r : raw) {
        std::uint64_t count = (r.bytes.size() + kSector - 1) / kSector;
        if (count == 0) continue;
        rawClaims.push_back({r.sector, count, "raw content at sector " + Str(r.sector), -1});
    }

    // Overlaps: structures against structures, raw content against anything
    // but the free blocks of a volume.
    std::vector<Claim> all = claims;
    all.insert(all.end(), rawClaims.begin(), rawClaims.end());
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
                const BuiltVolume& v = img.volumes[seg->volume];
                std::uint64_t from = std::max(seg->first, other->first);
                std::uint64_t to = std::min(seg->first + seg->count, other->first + other->count);
                for (std::uint64_t s = from; s < to; ++s)
                    if (builders[seg->volume]->IsUsed(static_cast<std::uint32_t>((s - v.startSector) / v.sectorsPerBlock)))
                        Fail("overlapping allocations: " + other->what + " covers sector " + Str(s) + ", a used block of " + seg->what);
                continue;
            }
            Fail("overlapping allocations: " + o->what + " and " + c.what);
        }
        open.push_back(&c);
    }
    for (const RawBlock& r : raw) PutBytes(img, r.sector, r.bytes.data(), r.bytes.size());

    // Bad areas.
    std::vector<BadRange> bad;
    for (const BadArea& a : desc.bad) {
        if (a.count == 0) continue;
        if (a.target == BadArea::Target::Absolute) {
            bad.push_back({a.sector, a.count});
            continue;
        }
        if (a.volume >= img.volumes.size()) Fail("a bad area names volume " + Str(a.volume) + ", which does not exist");
        const BuiltVolume& v = img.volumes[a.volume];
        std::vector<std::uint64_t> sectors;
        std::string what;
        if (a.target == BadArea::Target::FileData) {
            if (a.entry >= v.entries.size() || refs[a.volume].desc->entries[a.entry].folder)
                Fail("a bad area names entry " + Str(a.entry) + " of volume " + v.name + ", which is not a file");
            sectors = builders[a.volume]->FileSectors(a.entry);
            what = "the data of entry " + Str(a.entry);
        } else {
            const auto& chain = a.target == BadArea::Target::Det1Block ? v.det1 : v.fat1;
            what = a.target == BadArea::Target::Det1Block ? "DET copy 1" : "FAT copy 1";
            if (a.block >= chain.size()) Fail("a bad area names block " + Str(a.block) + " of " + what + " of volume " + v.name + ", which has " + Str(chain.size()));
            for (std::uint32_t k = 0; k < v.sectorsPerBlock; ++k) sectors.push_back(v.startSector + std::uint64_t(chain[a.block]) * v.sectorsPerBlock + k);
        }
        if (a.offset + a.count > sectors.size())
            Fail("a bad area of " + Str(a.count) + " sectors at sector " + Str(a.offset) + " of " + what + " of volume " +
                 v.name + " reaches past its " + Str(sectors.size()) + " sectors");
        for (std::uint64_t k = a.offset; k < a.offset + a.count; ++k) bad.push_back({sectors[k], 1});
    }
    std::sort(bad.begin(), bad.end(), [](const BadRange& a, const BadRange& b) { return a.sector < b.sector; });
    for (const BadRange& r : bad) {
        if (!img.bad.empty() && r.sector <= img.bad.back().sector + img.bad.back().count) {
            BadRange& last = img.bad.back();
            last.count = std::max(last.count, r.sector + r.count - last.sector);
        } else {
            img.bad.push_back(r);
        }
    }

    // Disk size.
    std::uint64_t endOfContent = img.sectors.empty() ? 0 : img.sectors.rbegin()->first + 1;
    for (const Claim& c : all) endOfContent = std::max(endOfContent, c.first + c.count);
    for (const PartitionSpec& p : desc.partitions)
        endOfContent = std::max<std::uint64_t>(endOfContent, std::uint64_t(p.firstSector) + p.sectorCount);
    for (const BadRange& r : img.bad) endOfContent = std::max(endOfContent, r.sector + r.count);
    img.totalSectors = desc.totalSectors ? desc.totalSectors : std::max<std::uint64_t>(endOfContent, 1);
    if (img.totalSectors < endOfContent)
        Fail("the disk holds " + Str(img.totalSectors) + " sectors but its contents reach sector " + Str(endOfContent));

    img.manifest = ComputeManifest(img, [&] {
        std::vector<int> choice;
        for (const VolumeRef& r : refs) choice.push_back(r.desc->mountFat);
        return choice;
    }());
    return img;
}

}  // namespace nwimage
