#include "tools/nwimage/Mount.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "netware/Records.h"

namespace nwimage {
namespace {

struct Record {
    bool folder = false;
    bool deleted = false;
    bool compressed = false;
    std::string name;
    std::uint32_t parent = 0;
    std::uint32_t own = 0;
    std::uint32_t size = 0;
    std::uint32_t firstBlock = 0;
    std::uint32_t dateTime = 0;
};

// Folders the root does not reach through parent numbers lie in a parent
// cycle (or below one): each cycle is cut at its first folder in directory
// order, which moves under LOST and takes the rest of the cycle, and what
// hangs below it, along.
void CutParentCycles(std::vector<Record>& folders) {
    std::unordered_map<std::uint32_t, std::vector<std::size_t>> byParent;
    std::unordered_map<std::uint32_t, std::size_t> firstWithNumber;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        byParent[folders[i].parent].push_back(i);
        firstWithNumber.emplace(folders[i].own, i);
    }
    std::unordered_set<std::uint32_t> reached{0};
    std::vector<std::uint32_t> pending{0};
    while (!pending.empty()) {
        const std::uint32_t number = pending.back();
        pending.pop_back();
        for (std::size_t i : byParent[number])
            if (reached.insert(folders[i].own).second) pending.push_back(folders[i].own);
    }
    std::vector<std::size_t> cuts;
    std::unordered_map<std::size_t, std::size_t> walkOf;
    for (std::size_t start = 0; start < folders.size(); ++start) {
        std::size_t at = start;
        while (!reached.count(folders[at].parent) && !walkOf.count(at)) {
            walkOf[at] = start;
            at = firstWithNumber.at(folders[at].parent);
        }
        if (reached.count(folders[at].parent) || walkOf[at] != start) continue;
        std::size_t first = at;
        for (std::size_t k = firstWithNumber.at(folders[at].parent); k != at; k = firstWithNumber.at(folders[k].parent))
            first = std::min(first, k);
        cuts.push_back(first);
    }
    for (std::size_t i : cuts) folders[i].parent = nw::kLostFolderNumber;
}

class VolumeReader {
public:
    VolumeReader(const std::vector<const Image*>& disks, const BuiltVolume& v)
        : disks_(disks), segments_(v.segments), spb_(v.sectorsPerBlock), blocks_(v.blocks) {
        if (segments_.empty()) segments_.push_back({0, v.startSector, 0, v.blocks, v.volumeAreaSector});
    }

    // Loads a FAT copy's own chain as a mount does; returns 1 + the number
    // of entries whose sequence matched. The list keeps the blocks reached
    // (end marker excluded). With `mirror` (the other copy's chain), a walk
    // through the copy itself that stops for want of a FAT block it has not
    // reached yet is done again: the mirror records this copy's chain too,
    // and that record guides the walk where the copy's own chain has not
    // got to, provided the copy's chain then confirms every guided block.
    std::uint32_t LoadFat(std::uint32_t first, const std::vector<std::uint32_t>* mirror = nullptr) {
        bool ended = false;
        std::uint32_t count = WalkFat(first, nullptr, true, fat_, ended);
        if (!mirror || ended) return count;
        std::vector<std::uint32_t> recorded;
        WalkFat(first, mirror, false, recorded, ended);
        return WalkFat(first, &recorded, true, fat_, ended);
    }
    const std::vector<std::uint32_t>& Fat() const { return fat_; }
    void UseFat(std::vector<std::uint32_t> fat) { fat_ = std::move(fat); }

    std::vector<std::uint32_t> LoadDet(std::uint32_t first) {
        std::vector<std::uint32_t> list{first};
        std::uint32_t b = first;
        for (std::uint32_t expected = 0; expected <= blocks_; ++expected) {
            nw::FatEntry e;
            if (!Entry(b, e) || e.sequence != expected || nw::IsDetChainEnd(e.next)) break;
            list.push_back(e.next);
            b = e.next;
        }
        return list;
    }

    // Block b lies in the last segment that starts at or before it; blocks
    // past the volume's end are counted on from its last segment.
    void Sector(std::uint32_t block, std::uint32_t index, std::uint8_t* out) const {
        std::size_t k = segments_.size() - 1;
        while (k > 0 && segments_[k].firstBlock > block) --k;
        const BuiltSegment& g = segments_[k];
        if (g.disk >= disks_.size()) {
            std::memset(out, 0, kSector);
            return;
        }
        disks_[g.disk]->Read(g.startSector + static_cast<std::uint64_t>(block - g.firstBlock) * spb_ + index, out);
    }
    std::uint32_t SectorsPerBlock() const { return spb_; }
    std::array<std::uint32_t, nw::kSuballocChains>& Suballoc() { return suballoc_; }

    // The bytes a file's first block and byte count deliver; compressed files
    // deliver the stored length their header gives, or nothing when the header
    // disagrees with the entry's size.
    std::vector<std::uint8_t> ReadFile(std::uint32_t first, std::uint32_t size, bool compressed) {
        std::vector<std::uint8_t> out;
        if (first == nw::kChainEnd) return out;
        std::uint32_t n = size;
        std::uint8_t s[kSector];
        if (!(first & 0x80000000u)) {
            std::vector<std::uint32_t> chain = BuildChain(first);
            if (compressed) {
                Sector(first, 0, s);
                if (nw::LoadLe32(s + 4) != size) return out;
                n = nw::LoadLe32(s + 8);
            }
            for (std::size_t i = 0; i < chain.size(); ++i) {
                std::uint32_t v = chain[i];
                if (i > 0 && nw::IsFileChainEnd(v)) break;
                if (v & 0x80000000u) {
                    ReadPiece(v, n, out);
                    break;
                }
                for (std::uint32_t k = 0; k < spb_; ++k) {
                    if (out.size() >= n) return out;
                    Sector(v, k, s);
                    Deliver(s, n, out);
                }
            }
            return out;
        }
        if (compressed) {
            std::uint32_t block = 0, index = 0;
            if (!LocatePiece(first, block, index, nullptr)) return out;
            Sector(block, index, s);
            if (nw::LoadLe32(s + 4) != size) return out;
            n = nw::LoadLe32(s + 8);
        }
        // a whole-file piece holds at most one block: the stored length
        // decides for a compressed file, whose size is the expanded one
        if (n > spb_ * kSector) return out;
        ReadPiece(first, n, out);
        return out;
    }

private:
    bool Entry(std::uint32_t b, nw::FatEntry& out) const { return EntryIn(fat_, b, out); }
    // Block b's FAT entry, read from the FAT block `fat` lists for it.
    bool EntryIn(const std::vector<std::uint32_t>& fat, std::uint32_t b, nw::FatEntry& out) const {
        nw::FatPosition pos = nw::LocateFatEntry(b, spb_);
        if (pos.fatBlock >= fat.size()) return false;
        std::uint8_t s[kSector];
        Sector(fat[pos.fatBlock], pos.sectorInBlock, s);
        out = nw::DecodeFatEntry(s, pos.entryIndex);
        return true;
    }

    // One walk of a FAT copy's chain from `first`: each entry is read from
    // the FAT block that holds it, the chain's own block where the chain has
    // reached it (`throughItself`) and `guide`'s block otherwise. A guide
    // block the walk used must be the chain's own block once the chain gets
    // there, or the chain ends before it. `ended`: the end marker was reached.
    std::uint32_t WalkFat(std::uint32_t first, const std::vector<std::uint32_t>* guide, bool throughItself,
                          std::vector<std::uint32_t>& list, bool& ended) const {
        list.assign(1, first);
        ended = false;
        std::uint32_t count = 1;
        std::vector<bool> guided;  // by position: read through guide's block
        std::uint32_t b = first;
        for (std::uint32_t expected = 0; expected <= blocks_; ++expected) {
            const std::uint32_t q = nw::LocateFatEntry(b, spb_).fatBlock;
            const bool own = throughItself && q < list.size();
            if (!own) {
                if (!guide) break;
                if (guided.size() <= q) guided.resize(q + 1, false);
                guided[q] = true;
            }
            nw::FatEntry e;
            if (!EntryIn(own ? list : *guide, b, e) || e.sequence != expected) break;
            const std::size_t at = list.size();
            if (throughItself && at < guided.size() && guided[at] && (*guide)[at] != e.next) break;
            ++count;
            if (e.next == nw::kChainEnd) {
                ended = true;
                break;
            }
            list.push_back(e.next);
            b = e.next;
        }
        return count;
    }

    // First value, then every next value up to the terminal one; a chain
    // whose entry cannot be located, or that loops, ends there.
    std::vector<std::uint32_t> BuildChain(std::uint32_t first) const {
        std::vector<std::uint32_t> chain{first};
        std::uint32_t v = first;
        while (chain.size() <= static_cast<std::size_t>(blocks_) + 1) {
            nw::FatEntry e;
            if (!Entry(v, e)) break;
            chain.push_back(e.next);
            if (e.next == 0 || (e.next & 0x80000000u)) break;
            v = e.next;
        }
        return chain;
    }

    // The blocks of suballocation chain P, walked once: the records are all
    // read before the first file is.
    const std::vector<std::uint32_t>& PieceChain(std::uint32_t P) {
        auto [it, fresh] = pieceChains_.try_emplace(P);
        if (!fresh) return it->second;
        const std::uint32_t head = suballoc_[P];
        std::vector<std::uint32_t> chain;
        if (!(head & 0x80000000u)) chain = BuildChain(head);
        // Only block elements count: the terminal value is not a block.
        std::size_t blocksIn = 0;
        while (blocksIn < chain.size() && !(blocksIn > 0 && nw::IsFileChainEnd(chain[blocksIn])) &&
               !(chain[blocksIn] & 0x80000000u))
            ++blocksIn;
        chain.resize(blocksIn);
        it->second = std::move(chain);
        return it->second;
    }

    bool LocatePiece(std::uint32_t v, std::uint32_t& block, std::uint32_t& index, std::uint32_t* following) {
        const std::uint32_t P = nw::SuballocChainOf(v);
        const std::uint32_t o = nw::SuballocPieceOf(v) * P;
        const std::vector<std::uint32_t>& chain = PieceChain(P);
        const std::uint32_t j = o / spb_;
        if (j >= chain.size()) return false;
        block = chain[j];
        index = o % spb_;
        if (following) *following = j + 1 < chain.size() ? chain[j + 1] : nw::kChainEnd;
        return true;
    }

    void ReadPiece(std::uint32_t v, std::uint32_t n, std::vector<std::uint8_t>& out) {
        std::uint32_t block = 0, index = 0, following = 0;
        if (!LocatePiece(v, block, index, &following)) return;
        std::uint8_t s[kSector];
        for (std::uint32_t k = index; k < spb_; ++k) {
            if (out.size() >= n) return;
            Sector(block, k, s);
            Deliver(s, n, out);
        }
        if (out.size() >= n || following == nw::kChainEnd) return;
        for (std::uint32_t k = 0; k < spb_; ++k) {
            if (out.size() >= n) return;
            Sector(following, k, s);
            Deliver(s, n, out);
        }
    }

    static void Deliver(const std::uint8_t* s, std::uint32_t n, std::vector<std::uint8_t>& out) {
        std::size_t take = std::min<std::size_t>(kSector, n - out.size());
        out.insert(out.end(), s, s + take);
    }

    const std::vector<const Image*>& disks_;
    std::vector<BuiltSegment> segments_;  // in block order
    std::uint32_t spb_;
    std::uint32_t blocks_;
    std::vector<std::uint32_t> fat_;
    std::array<std::uint32_t, nw::kSuballocChains> suballoc_{};
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> pieceChains_;
};

void MountVolume(const std::vector<const Image*>& disks, const BuiltVolume& v, int fatChoice,
                 std::vector<ManifestRecord>& out) {
    VolumeReader r(disks, v);
    // As a mount does: copy 1 through itself; copy 2 guided by copy 1 where
    // its own chain has not reached yet; copy 1 again, guided by copy 2.
    r.LoadFat(v.fat1.front());
    const std::vector<std::uint32_t> fat1Alone = r.Fat();
    const std::uint32_t b = r.LoadFat(v.fat2.front(), &fat1Alone);
    std::vector<std::uint32_t> fat2 = r.Fat();
    const std::uint32_t a = r.LoadFat(v.fat1.front(), &fat2);
    if (a != b && fatChoice == 2) r.UseFat(std::move(fat2));
    const std::vector<std::uint32_t> det = r.LoadDet(v.det1.front());

    std::vector<Record> folders, files;
    // Name-space records by entry number (name space, name, 0x78, 0x7C), and
    // the primaries whose name lists are followed once all are known.
    struct NameRecord {
        std::uint8_t nameSpace;
        std::string name;
        std::uint32_t primary, next;
    };
    std::unordered_map<std::uint32_t, NameRecord> nameRecords;
    struct Listed {
        bool folder;
        std::size_t index;
        std::uint32_t primary, next;
    };
    std::vector<Listed> listed;
    std::uint8_t s[kSector];
    std::uint32_t entryNumber = 0;
    for (std::uint32_t block : det) {
        for (std::uint32_t k = 0; k < r.SectorsPerBlock(); ++k) {
            r.Sector(block, k, s);
            for (unsigned j = 0; j < nw::kDetEntriesPerSector; ++j, ++entryNumber) {
                const std::uint8_t* raw = s + nw::kDetEntrySize * j;
                if (raw[0x0A] != 0 && nw::LoadLe32(raw) < 0xFFFFFFFBu) {
                    const std::size_t limit = raw[0x0A] == 1 ? 31 : raw[0x0A] == 2 ? 40 : 80;
                    nameRecords[entryNumber] = {raw[0x0A],
                                                std::string(reinterpret_cast<const char*>(raw + 0x0C),
                                                            std::min<std::size_t>(raw[0x0B], limit)),
                                                nw::LoadLe32(raw + 0x78), nw::LoadLe32(raw + 0x7C)};
                }
                nw::DetEntry e = nw::DecodeDetEntry(raw);
                nw::DetKind kind = nw::ClassifyDetEntry(e);
                if (kind == nw::DetKind::Suballocation) {
                    nw::SuballocationRecord rec = nw::DecodeSuballocationRecord(raw);
                    if (rec.Used())
                        for (unsigned c = 0; c < nw::kSuballocChainsPerRecord; ++c)
                            r.Suballoc()[rec.group * nw::kSuballocChainsPerRecord + c] = rec.firstBlocks[c];
                }
                if (kind != nw::DetKind::Primary) continue;
                Record rec;
                rec.folder = e.IsFolder();
                rec.deleted = e.IsDeleted();
                rec.compressed = e.IsCompressed();
                std::string longName = nw::LongNameFor(s, j);
                rec.name = longName.empty() ? e.name : longName;
                rec.parent = e.parent;
                rec.own = e.folderNumber;
                rec.size = e.fileSize;
                rec.firstBlock = e.firstBlock;
                rec.dateTime = e.dateTime;
                if (longName.empty() && nw::LoadLe32(raw + 0x7C) != 0)
                    listed.push_back({rec.folder, (rec.folder ? folders : files).size(), nw::LoadLe32(raw + 0x78),
                                      nw::LoadLe32(raw + 0x7C)});
                (rec.folder ? folders : files).push_back(rec);
            }
        }
    }
    // The name shown: LONG, NT, MAC, NFS, in that order, where the list has it.
    for (const Listed& l : listed) {
        std::map<std::uint8_t, std::string> names;
        std::uint32_t at = l.next;
        for (int step = 0; at != 0 && step < 6; ++step) {
            auto it = nameRecords.find(at);
            if (it == nameRecords.end() || it->second.primary != l.primary || names.count(it->second.nameSpace)) break;
            names[it->second.nameSpace] = it->second.name;
            at = it->second.next;
        }
        for (std::uint8_t ns : {4, 5, 1, 2})
            if (names.count(ns) && !names[ns].empty()) {
                (l.folder ? folders : files)[l.index].name = names[ns];
                break;
            }
    }
    Record lost;
    lost.folder = true;
    lost.name = "LOST";
    lost.own = nw::kLostFolderNumber;
    folders.push_back(lost);
    std::unordered_set<std::uint32_t> numbers;
    for (const Record& f : folders) numbers.insert(f.own);
    for (Record& f : folders)
        if (f.parent != 0 && !numbers.count(f.parent)) f.parent = nw::kLostFolderNumber;
    CutParentCycles(folders);

    // Children by parent number, in directory order (LOST last among the
    // root's folders).
    std::unordered_map<std::uint32_t, std::vector<std::size_t>> childFolders, childFiles;
    for (std::size_t i = 0; i < folders.size(); ++i) childFolders[folders[i].parent].push_back(i);
    for (std::size_t i = 0; i < files.size(); ++i) childFiles[files[i].parent].push_back(i);
    static const std::vector<std::size_t> kNone;
    auto kids = [](const auto& map, std::uint32_t number) -> const std::vector<std::size_t>& {
        auto it = map.find(number);
        return it == map.end() ? kNone : it->second;
    };

    // Depth first with an explicit stack: each folder is listed, then its
    // subfolders with their contents, then its files. A folder whose number
    // is already on the way down from the root is listed but not entered.
    const std::string volume = v.name.substr(0, nw::kVolumeNameKeep);
    struct Frame {
        std::uint32_t number;
        std::size_t next;    // the next of its child folders to list
        std::size_t record;  // its own manifest record, kNoParent for the root
    };
    std::vector<Frame> stack{{0, 0, kNoParent}};
    std::unordered_map<std::uint32_t, std::uint32_t> onPath{{0, 1}};
    auto add = [&](ManifestRecord&& m, std::size_t parent, const std::string& name) {
        if (out.size() >= kMaxManifestRecords)
            throw BuildError("volume " + v.name + ": the tree lists more than " + std::to_string(kMaxManifestRecords) +
                             " entries (folders sharing a number repeat their contents)");
        m.volume = volume;
        m.name = name;
        m.parent = parent;
        out.push_back(std::move(m));
        return out.size() - 1;
    };
    while (!stack.empty()) {
        Frame& top = stack.back();
        const std::vector<std::size_t>& sub = kids(childFolders, top.number);
        if (top.next < sub.size()) {
            const Record& f = folders[sub[top.next++]];
            ManifestRecord m;
            m.folder = true;
            m.deleted = f.deleted;
            m.dateTime = f.dateTime;
            const std::size_t record = add(std::move(m), top.record, f.name);
            std::uint32_t& seen = onPath[f.own];
            if (seen) continue;
            ++seen;
            stack.push_back({f.own, 0, record});
            continue;
        }
        for (std::size_t i : kids(childFiles, top.number)) {
            const Record& f = files[i];
            ManifestRecord m;
            m.deleted = f.deleted;
            m.compressed = f.compressed;
            m.size = f.size;
            m.dateTime = f.dateTime;
            std::vector<std::uint8_t> data = r.ReadFile(f.firstBlock, f.size, f.compressed);
            m.deliveredBytes = data.size();
            m.sha256 = Sha256Hex(data.data(), data.size());
            add(std::move(m), top.record, f.name);
        }
        auto it = onPath.find(top.number);
        if (--it->second == 0) onPath.erase(it);
        stack.pop_back();
    }
}

// Full paths for every record, unless together they would take more than
// kManifestPathBudget bytes (a very deep tree); ManifestPath() then builds
// them one at a time.
void FillPaths(std::vector<ManifestRecord>& records) {
    std::vector<std::uint64_t> length(records.size());
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const ManifestRecord& m = records[i];
        length[i] = (m.parent == kNoParent ? 0 : length[m.parent] + 1) + m.name.size();
        total += length[i];
        if (total > kManifestPathBudget) return;
    }
    for (ManifestRecord& m : records)
        m.path = m.parent == kNoParent ? m.name : records[m.parent].path + "\\" + m.name;
}

}  // namespace

std::vector<ManifestRecord> ComputeManifest(const Image& image, const std::vector<int>& fatChoice) {
    std::vector<const BuiltVolume*> volumes;
    for (const BuiltVolume& v : image.volumes) volumes.push_back(&v);
    return ComputeManifest({&image}, volumes, fatChoice);
}

std::vector<ManifestRecord> ComputeManifest(const std::vector<const Image*>& disks,
                                            const std::vector<const BuiltVolume*>& volumes,
                                            const std::vector<int>& fatChoice) {
    std::vector<ManifestRecord> out;
    for (std::size_t k = 0; k < volumes.size(); ++k)
        MountVolume(disks, *volumes[k], k < fatChoice.size() ? fatChoice[k] : 1, out);
    FillPaths(out);
    return out;
}

}  // namespace nwimage
