#include "netware/NameSpaces.h"

#include <algorithm>
#include <cctype>

#include "netware/Records.h"

namespace nw {

namespace {

// The longest name a record of the name space holds in its 128 bytes.
std::size_t MaxNameLength(std::uint8_t nameSpace) {
    switch (nameSpace) {
        case kNameSpaceMac: return kMaxMacNameLength;
        case kNameSpaceNfs: return kMaxNfsNameLength;
        default: return kMaxLongNameLength;
    }
}

constexpr std::array<std::uint8_t, 5> kPreference = {kNameSpaceLong, kNameSpaceNt, kNameSpaceMac, kNameSpaceNfs,
                                                     kNameSpaceDos};

}  // namespace

std::uint8_t NameSpaceFromText(const std::string& text) {
    std::string t = text;
    for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (t == "dos") return kNameSpaceDos;
    if (t == "mac") return kNameSpaceMac;
    if (t == "nfs") return kNameSpaceNfs;
    if (t == "long") return kNameSpaceLong;
    if (t == "nt") return kNameSpaceNt;
    return kDefaultNameSpace;
}

std::string NameSpaceText(std::uint8_t nameSpace) {
    switch (nameSpace) {
        case kNameSpaceDos: return "DOS";
        case kNameSpaceMac: return "MAC";
        case kNameSpaceNfs: return "NFS";
        case kNameSpaceLong: return "LONG";
        case kNameSpaceNt: return "NT";
        default: return {};
    }
}

bool EntryNameSpaces::HasFinderInfo() const {
    return Has(kNameSpaceMac) && std::any_of(finderInfo.begin(), finderInfo.end(), [](std::uint8_t b) { return b != 0; });
}

const std::string& EntryNameSpaces::ShownName(std::uint8_t preferred) const {
    if (preferred < kNameSpaceSlots && !names[preferred].empty()) return names[preferred];
    for (std::uint8_t ns : kPreference)
        if (!names[ns].empty()) return names[ns];
    return names[kNameSpaceDos];
}

const EntryNameSpaces* NameSpaceTable::Find(const EntryRecord& record) const {
    if (entries_.empty()) return nullptr;
    const auto it = entries_.find(Key(record.IsFolder(), record.ordinal));
    return it == entries_.end() ? nullptr : &it->second;
}

void NameSpaceGatherer::AddRecord(std::uint32_t entryNumber, const std::uint8_t* e) {
    Record r;
    r.nameSpace = e[det::kNameSpace];
    if (r.nameSpace == kNameSpaceDos || r.nameSpace >= kNameSpaceSlots || r.nameSpace == 3) return;
    const std::size_t length = std::min<std::size_t>(e[det::kNameLength], MaxNameLength(r.nameSpace));
    r.name.assign(reinterpret_cast<const char*>(e + det::kName), length);
    r.primary = LoadLe32(e + det::kPrimaryEntry);
    r.next = LoadLe32(e + det::kNameList);
    if (r.nameSpace == kNameSpaceMac) {
        r.fields = {LoadLe32(e + det::kMacForkBlock), LoadLe32(e + det::kMacForkSize), 0, 0};
        std::copy_n(e + det::kMacFinderInfo, kFinderInfoSize, r.finderInfo.begin());
    } else if (r.nameSpace == kNameSpaceNfs) {
        r.fields = {LoadLe32(e + det::kNfsMode), LoadLe32(e + det::kNfsUid), LoadLe32(e + det::kNfsGid),
                    LoadLe32(e + det::kNfsLinkCount)};
        r.linkFlag = e[det::kNfsLinkFlag];
        r.links = {LoadLe32(e + det::kNfsLinkNext), LoadLe32(e + det::kNfsLinkEnd), LoadLe32(e + det::kNfsLinkPrevious)};
        const std::uint8_t total = e[det::kNfsTotalNameLength];
        if (total > r.name.size() && e[det::kNfsExtendedCount] != 0) {
            r.fullLength = total;
            r.extendedCount = e[det::kNfsExtendedCount];
            r.extendedStart = LoadLe32(e + det::kNfsExtendedStart);
        }
    } else if ((r.nameSpace == kNameSpaceLong || r.nameSpace == kNameSpaceNt) &&
               e[det::kNameLength] >= kMaxLongNameLength && e[det::kLongExtendedCount] != 0) {
        // The record holds the name's first 80 bytes, its extent the rest;
        // the length at 0x0B is the whole name's where it exceeds 80.
        const std::uint8_t total = e[det::kNameLength];
        r.fullLength = static_cast<std::uint16_t>(total > kMaxLongNameLength ? total : kMaxFullNameLength);
        r.extendedCount = e[det::kLongExtendedCount];
        r.extendedStart = LoadLe32(e + det::kLongExtendedStart);
    }
    if (r.extendedCount != 0) ++extendedNames_;
    records_[entryNumber] = std::move(r);
}

void NameSpaceGatherer::AddRoot(const std::uint8_t* e) {
    extendedChain_ = {LoadLe32(e + det::kRootExtendedChain1), LoadLe32(e + det::kRootExtendedChain2)};
}

void NameSpaceGatherer::ReadExtendedNames(const ExtendedRecordReader& read) {
    std::array<std::uint8_t, ext::kRecordSize> record{};
    std::string rest;
    for (auto& [entryNumber, r] : records_) {
        if (r.extendedCount == 0 || !read(r.extendedStart, record.data())) continue;
        const std::uint32_t stamp = LoadLe32(record.data() + ext::kStamp);
        const std::uint32_t expected = r.nameSpace == kNameSpaceNfs    ? ext::kNfsStamp
                                       : r.nameSpace == kNameSpaceLong ? ext::kLongStamp
                                                                       : ext::kNtStamp;
        const std::uint32_t owner = LoadLe32(record.data() + ext::kEntryNumber);
        if (stamp != expected || (owner != entryNumber && owner != r.primary) ||
            record[ext::kNameSpace] != r.nameSpace)
            continue;
        // How many bytes the extent holds after the header, and how many it
        // says are the name's.
        const bool nfs = r.nameSpace == kNameSpaceNfs;
        const std::size_t start = nfs ? ext::kNfsName : ext::kName;
        const std::size_t room = std::size_t(r.extendedCount) * ext::kRecordSize - start;
        std::size_t length = nfs ? record[ext::kNfsNameLength] : LoadLe32(record.data() + ext::kLength);
        length = std::min({length, room, std::size_t(r.fullLength) - r.name.size()});
        rest.clear();
        bool whole = true;
        for (std::uint32_t k = 0; rest.size() < length; ++k) {
            if (k > 0 && !read(r.extendedStart + k, record.data())) {
                whole = false;
                break;
            }
            const std::size_t from = k == 0 ? start : 0;
            const std::size_t n = std::min(length - rest.size(), ext::kRecordSize - from);
            rest.append(reinterpret_cast<const char*>(record.data() + from), n);
        }
        if (whole) r.name += rest;
    }
}

void NameSpaceGatherer::AddPrimary(std::uint32_t entryNumber, const std::uint8_t* e, const EntryRecord& record,
                                   const std::string& adjacentLong) {
    const std::uint32_t nameList = LoadLe32(e + det::kNameList);
    if (nameList == 0 && adjacentLong.empty()) return;  // a DOS name only
    Primary p;
    p.folder = record.IsFolder();
    p.ordinal = record.ordinal;
    p.entryNumber = entryNumber;
    p.primaryField = LoadLe32(e + det::kPrimaryEntry);
    p.nameList = nameList;
    p.dosName.assign(reinterpret_cast<const char*>(e + det::kName),
                     std::min<std::size_t>(e[det::kNameLength], kMaxPrimaryNameLength));
    p.adjacentLong = adjacentLong;
    primaries_.push_back(std::move(p));
}

void NameSpaceGatherer::LinkHardLinks(std::vector<std::pair<const Primary*, EntryNameSpaces*>>& linked) const {
    // Union of the files the link fields name: a field may give the DOS
    // record's entry number or that of one of its name-space records.
    std::unordered_map<std::uint32_t, std::uint32_t> parent;
    for (const auto& [p, ns] : linked) parent[p->entryNumber] = p->entryNumber;
    auto find = [&](std::uint32_t n) {
        while (parent[n] != n) n = parent[n] = parent[parent[n]];
        return n;
    };
    auto fileOf = [&](std::uint32_t n) -> std::uint32_t {
        if (parent.count(n)) return n;
        const auto it = records_.find(n);
        return it != records_.end() && parent.count(it->second.primary) ? it->second.primary : 0;
    };
    for (const auto& [p, ns] : linked) {
        const auto nfs = records_.find(p->nfsRecord);
        if (nfs == records_.end()) continue;
        for (std::uint32_t field : nfs->second.links) {
            const std::uint32_t other = fileOf(field);
            if (other == 0) continue;
            const std::uint32_t a = find(p->entryNumber), b = find(other);
            if (a != b) parent[std::max(a, b)] = std::min(a, b);
        }
    }
    std::unordered_map<std::uint32_t, unsigned> members;
    for (const auto& [p, ns] : linked) ++members[find(p->entryNumber)];
    for (const auto& [p, ns] : linked) {
        const std::uint32_t group = find(p->entryNumber);
        if (members[group] > 1) ns->linkGroup = group;
    }
}

void NameSpaceGatherer::Resolve(EntryList& folders, EntryList& files, NameSpaceTable& table,
                                std::uint8_t preferred) const {
    std::vector<std::pair<const Primary*, EntryNameSpaces*>> linked;
    for (const Primary& p : primaries_) {
        EntryNameSpaces ns;
        ns.names[kNameSpaceDos] = p.dosName;
        ns.present = 1u << kNameSpaceDos;
        if (!p.adjacentLong.empty()) {
            ns.names[kNameSpaceLong] = p.adjacentLong;
            ns.present |= 1u << kNameSpaceLong;
        }
        // The list: each record must name this file as its primary, and no
        // name space or record may come twice (a damaged list ends there).
        std::uint32_t at = p.nameList;
        std::uint8_t seen = 1u << kNameSpaceDos;
        for (unsigned step = 0; at != 0 && at != p.entryNumber && step < kNameSpaceSlots; ++step) {
            const auto it = records_.find(at);
            if (it == records_.end()) break;
            const Record& r = it->second;
            if (r.primary != p.primaryField && r.primary != p.entryNumber) break;
            if ((seen >> r.nameSpace) & 1u) break;
            seen |= static_cast<std::uint8_t>(1u << r.nameSpace);
            ns.present |= static_cast<std::uint8_t>(1u << r.nameSpace);
            if (ns.names[r.nameSpace].empty()) ns.names[r.nameSpace] = r.name;
            if (r.nameSpace == kNameSpaceMac) {
                ns.forkFirstBlock = r.fields[0];
                ns.forkSize = r.fields[1];
                ns.finderInfo = r.finderInfo;
            } else if (r.nameSpace == kNameSpaceNfs) {
                ns.mode = r.fields[0];
                ns.uid = r.fields[1];
                ns.gid = r.fields[2];
                ns.linkCount = r.fields[3];
                ns.linkFlag = r.linkFlag;
                p.nfsRecord = at;
            }
            at = r.next;
        }
        EntryList& list = p.folder ? folders : files;
        const std::size_t index = list.IndexOfOrdinal(p.ordinal);
        if (index == kNoEntry) continue;
        const bool keepAdjacent = !p.adjacentLong.empty() && preferred == kDefaultNameSpace;
        std::string shown = keepAdjacent ? p.adjacentLong : ns.ShownName(preferred);
        if (shown.size() > kMaxEntryNameLength) shown.resize(kMaxEntryNameLength);
        list[index].name = std::move(shown);
        EntryNameSpaces& kept = table.At(p.folder, p.ordinal);
        kept = std::move(ns);
        if (!p.folder && (kept.linkFlag & (kNfsHardLink | kNfsStreamHardLink))) linked.emplace_back(&p, &kept);
    }
    LinkHardLinks(linked);
}

}  // namespace nw
