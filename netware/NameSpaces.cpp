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
    }
    records_[entryNumber] = std::move(r);
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

void NameSpaceGatherer::Resolve(EntryList& folders, EntryList& files, NameSpaceTable& table,
                                std::uint8_t preferred) const {
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
        table.At(p.folder, p.ordinal) = std::move(ns);
    }
}

}  // namespace nw
