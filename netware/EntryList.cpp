#include "netware/EntryList.h"

#include <algorithm>

namespace nw {

// ---- sorted indexes -----------------------------------------------------------------

void EntryList::SortedIndex::Build(std::vector<std::uint32_t> keysByRecord) {
    const std::size_t n = keysByRecord.size();
    // Stable LSD radix sort of the record indexes by key.
    std::vector<std::uint32_t> ord(n), scratch(n);
    for (std::size_t i = 0; i < n; ++i) ord[i] = static_cast<std::uint32_t>(i);
    for (unsigned shift = 0; shift < 32 && n > 0; shift += 8) {
        std::size_t count[257] = {};
        for (std::uint32_t i : ord) ++count[((keysByRecord[i] >> shift) & 0xFF) + 1];
        if (count[((keysByRecord[0] >> shift) & 0xFF) + 1] == n) continue;  // all in one bucket
        for (unsigned b = 0; b < 256; ++b) count[b + 1] += count[b];
        for (std::uint32_t i : ord) scratch[count[(keysByRecord[i] >> shift) & 0xFF]++] = i;
        ord.swap(scratch);
    }
    keys.resize(n);
    for (std::size_t k = 0; k < n; ++k) keys[k] = keysByRecord[ord[k]];
    order.swap(ord);
}

EntryList::IndexRange EntryList::SortedIndex::Find(std::uint32_t key) const {
    auto [lo, hi] = std::equal_range(keys.begin(), keys.end(), key);
    const std::uint32_t* base = order.data();
    return {base + (lo - keys.begin()), base + (hi - keys.begin())};
}

void EntryList::SortedIndex::Release() {
    std::vector<std::uint32_t>().swap(keys);
    std::vector<std::uint32_t>().swap(order);
}

// ---- the list ---------------------------------------------------------------------------

void EntryList::Clear() {
    std::lock_guard<std::mutex> lock(indexMutex_);
    // Swapping with empties releases the memory, not just the elements.
    std::deque<EntryRecord>().swap(records_);
    byOwn_.Release();
    byOrdinal_.Release();
    byParent_.Release();
    decltype(byItem_)().swap(byItem_);
    keysStale_ = false;
    childrenStale_ = false;
    itemsStale_ = false;
}

EntryRecord& EntryList::Append(EntryRecord record) {
    if (record.name.size() > kMaxEntryNameLength) record.name.resize(kMaxEntryNameLength);
    records_.push_back(std::move(record));
    keysStale_.store(true, std::memory_order_release);
    childrenStale_.store(true, std::memory_order_release);
    if (records_.back().treeItem) itemsStale_.store(true, std::memory_order_release);
    return records_.back();
}

void EntryList::RefreshKeys() const {
    if (!keysStale_.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> lock(indexMutex_);
    if (!keysStale_.load(std::memory_order_relaxed)) return;
    const std::size_t n = records_.size();
    std::vector<std::uint32_t> own(n), ordinal(n);
    for (std::size_t i = 0; i < n; ++i) {
        own[i] = records_[i].ownNumber;
        ordinal[i] = records_[i].ordinal;
    }
    byOwn_.Build(std::move(own));
    byOrdinal_.Build(std::move(ordinal));
    keysStale_.store(false, std::memory_order_release);
}

void EntryList::RefreshChildren() const {
    if (!childrenStale_.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> lock(indexMutex_);
    if (!childrenStale_.load(std::memory_order_relaxed)) return;
    const std::size_t n = records_.size();
    std::vector<std::uint32_t> parent(n);
    for (std::size_t i = 0; i < n; ++i) parent[i] = records_[i].parentNumber;
    byParent_.Build(std::move(parent));
    childrenStale_.store(false, std::memory_order_release);
}

void EntryList::RefreshItems() const {
    if (!itemsStale_.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> lock(indexMutex_);
    if (!itemsStale_.load(std::memory_order_relaxed)) return;
    byItem_.clear();
    for (std::size_t i = 0; i < records_.size(); ++i)
        if (records_[i].treeItem) byItem_.emplace_back(records_[i].treeItem, static_cast<std::uint32_t>(i));
    std::sort(byItem_.begin(), byItem_.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? std::less<job::TreeItem>()(a.first, b.first) : a.second < b.second;
    });
    itemsStale_.store(false, std::memory_order_release);
}

EntryRecord* EntryList::FindByOwnNumber(std::uint32_t ownNumber) {
    std::size_t i = IndexOfOwnNumber(ownNumber);
    return i == kNoEntry ? nullptr : &records_[i];
}

std::size_t EntryList::IndexOfOwnNumber(std::uint32_t ownNumber) const {
    RefreshKeys();
    const IndexRange r = byOwn_.Find(ownNumber);
    return r.size() ? *r.begin() : kNoEntry;
}

EntryRecord* EntryList::FindByOrdinal(std::uint32_t ordinal) {
    RefreshKeys();
    const IndexRange r = byOrdinal_.Find(ordinal);
    return r.size() ? &records_[*r.begin()] : nullptr;
}

EntryRecord* EntryList::FindByTreeItem(job::TreeItem item) {
    if (!item) return nullptr;
    RefreshItems();
    auto it = std::lower_bound(byItem_.begin(), byItem_.end(), item, [](const auto& e, job::TreeItem key) {
        return std::less<job::TreeItem>()(e.first, key);
    });
    return (it != byItem_.end() && it->first == item) ? &records_[it->second] : nullptr;
}

EntryList::IndexRange EntryList::ChildRange(std::uint32_t parentNumber) const {
    RefreshChildren();
    return byParent_.Find(parentNumber);
}

std::vector<std::size_t> EntryList::ChildrenOf(std::uint32_t parentNumber) const {
    const IndexRange r = ChildRange(parentNumber);
    return std::vector<std::size_t>(r.begin(), r.end());
}

void EntryList::SetParentNumber(std::size_t index, std::uint32_t parentNumber) {
    EntryRecord& r = records_[index];
    if (r.parentNumber == parentNumber) return;
    r.parentNumber = parentNumber;
    childrenStale_.store(true, std::memory_order_release);
}

void EntryList::SetTreeItem(std::size_t index, job::TreeItem item) {
    EntryRecord& r = records_[index];
    if (r.treeItem == item) return;
    r.treeItem = item;
    itemsStale_.store(true, std::memory_order_release);
}

}  // namespace nw
