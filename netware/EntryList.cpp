#include "netware/EntryList.h"

#include <algorithm>

namespace nw {

void EntryList::Clear() {
    records_.clear();
    byOwn_.clear();
    byOrdinal_.clear();
    byItem_.clear();
    byParent_.clear();
}

EntryRecord& EntryList::Append(EntryRecord record) {
    if (record.name.size() > kMaxEntryNameLength) record.name.resize(kMaxEntryNameLength);
    const std::size_t index = records_.size();
    records_.push_back(std::move(record));
    EntryRecord& r = records_.back();
    byOwn_.try_emplace(r.ownNumber, index);
    byOrdinal_.try_emplace(r.ordinal, index);
    if (r.treeItem) byItem_.try_emplace(r.treeItem, index);
    byParent_[r.parentNumber].push_back(index);
    return r;
}

EntryRecord* EntryList::FindByOwnNumber(std::uint32_t ownNumber) {
    std::size_t i = IndexOfOwnNumber(ownNumber);
    return i == kNoEntry ? nullptr : &records_[i];
}

std::size_t EntryList::IndexOfOwnNumber(std::uint32_t ownNumber) const {
    auto it = byOwn_.find(ownNumber);
    return it == byOwn_.end() ? kNoEntry : it->second;
}

EntryRecord* EntryList::FindByOrdinal(std::uint32_t ordinal) {
    auto it = byOrdinal_.find(ordinal);
    return it == byOrdinal_.end() ? nullptr : &records_[it->second];
}

EntryRecord* EntryList::FindByTreeItem(job::TreeItem item) {
    if (!item) return nullptr;
    auto it = byItem_.find(item);
    return it == byItem_.end() ? nullptr : &records_[it->second];
}

std::vector<std::size_t> EntryList::ChildrenOf(std::uint32_t parentNumber) const {
    std::vector<std::size_t> out;
    auto it = byParent_.find(parentNumber);
    if (it == byParent_.end()) return out;
    out.reserve(it->second.size());
    for (std::size_t i : it->second)
        if (records_[i].parentNumber == parentNumber) out.push_back(i);
    return out;
}

void EntryList::SetParentNumber(std::size_t index, std::uint32_t parentNumber) {
    EntryRecord& r = records_[index];
    if (r.parentNumber == parentNumber) return;
    r.parentNumber = parentNumber;
    // The old parent's index keeps a stale entry that readers skip. Keep the
    // new one ascending; the usual case (a pass in list order) appends.
    std::vector<std::size_t>& v = byParent_[parentNumber];
    if (v.empty() || v.back() < index) {
        v.push_back(index);
    } else {
        auto pos = std::lower_bound(v.begin(), v.end(), index);
        if (pos == v.end() || *pos != index) v.insert(pos, index);
    }
}

void EntryList::SetTreeItem(std::size_t index, job::TreeItem item) {
    EntryRecord& r = records_[index];
    const job::TreeItem old = r.treeItem;
    if (old == item) return;
    r.treeItem = item;
    if (old) {
        auto it = byItem_.find(old);
        if (it != byItem_.end() && it->second == index) {
            // Rare (an item reassigned): find the next holder of the old item.
            byItem_.erase(it);
            for (std::size_t i = index + 1; i < records_.size(); ++i) {
                if (records_[i].treeItem == old) {
                    byItem_.emplace(old, i);
                    break;
                }
            }
        }
    }
    if (item) {
        auto [it, inserted] = byItem_.try_emplace(item, index);
        if (!inserted && it->second > index) it->second = index;
    }
}

}  // namespace nw
