#include "netware/EntryList.h"

#include <algorithm>

namespace nw {

// ---- sorted indexes -----------------------------------------------------------------

void EntryList::SortedIndex::Build(const std::vector<std::uint32_t>& keysByRecord) {
    const std::size_t n = keysByRecord.size();
    keys.resize(n);
    order.resize(n);
    if (std::is_sorted(keysByRecord.begin(), keysByRecord.end())) {
        // Keys handed out in list order (ordinals, most own numbers).
        std::copy(keysByRecord.begin(), keysByRecord.end(), keys.begin());
        for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<std::uint32_t>(i);
        return;
    }
    // Stable LSD radix sort of (key, record index) pairs, 11 bits a pass;
    // passes over digits that all keys share are skipped.
    std::vector<std::uint32_t> keyScratch(n), orderScratch(n);
    std::copy(keysByRecord.begin(), keysByRecord.end(), keys.begin());
    for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<std::uint32_t>(i);
    constexpr unsigned kBits = 11;
    constexpr std::uint32_t kMask = (1u << kBits) - 1;
    std::vector<std::uint32_t> count(kMask + 2);
    for (unsigned shift = 0; shift < 32; shift += kBits) {
        std::fill(count.begin(), count.end(), 0);
        for (std::uint32_t k : keys) ++count[((k >> shift) & kMask) + 1];
        if (count[((keys[0] >> shift) & kMask) + 1] == n) continue;  // all in one bucket
        for (std::uint32_t b = 0; b <= kMask; ++b) count[b + 1] += count[b];
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t at = count[(keys[i] >> shift) & kMask]++;
            keyScratch[at] = keys[i];
            orderScratch[at] = order[i];
        }
        keys.swap(keyScratch);
        order.swap(orderScratch);
    }
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
    Records().swap(records_);
    std::vector<std::uint32_t>().swap(ownKeys_);
    std::vector<std::uint32_t>().swap(ordinalKeys_);
    std::vector<std::uint32_t>().swap(parentKeys_);
    byOwn_.Release();
    byOrdinal_.Release();
    byParent_.Release();
    keysStale_ = false;
    childrenStale_ = false;
}

EntryRecord& EntryList::Append(EntryRecord record) {
    if (record.name.size() > kMaxEntryNameLength) record.name.resize(kMaxEntryNameLength);
    records_.push_back(std::move(record));
    const EntryRecord& r = records_.back();
    ownKeys_.push_back(r.ownNumber);
    ordinalKeys_.push_back(r.ordinal);
    parentKeys_.push_back(r.parentNumber);
    keysStale_.store(true, std::memory_order_release);
    childrenStale_.store(true, std::memory_order_release);
    return records_.back();
}

void EntryList::RefreshKeys() const {
    if (!keysStale_.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> lock(indexMutex_);
    if (!keysStale_.load(std::memory_order_relaxed)) return;
    byOwn_.Build(ownKeys_);
    byOrdinal_.Build(ordinalKeys_);
    keysStale_.store(false, std::memory_order_release);
}

void EntryList::RefreshChildren() const {
    if (!childrenStale_.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> lock(indexMutex_);
    if (!childrenStale_.load(std::memory_order_relaxed)) return;
    byParent_.Build(parentKeys_);
    childrenStale_.store(false, std::memory_order_release);
}

EntryRecord* EntryList::FindByOwnNumber(std::uint32_t ownNumber) {
    const std::size_t i = IndexOfOwnNumber(ownNumber);
    return i == kNoEntry ? nullptr : &records_[i];
}

const EntryRecord* EntryList::FindByOwnNumber(std::uint32_t ownNumber) const {
    const std::size_t i = IndexOfOwnNumber(ownNumber);
    return i == kNoEntry ? nullptr : &records_[i];
}

std::size_t EntryList::IndexOfOwnNumber(std::uint32_t ownNumber) const {
    RefreshKeys();
    const IndexRange r = byOwn_.Find(ownNumber);
    return r.size() ? *r.begin() : kNoEntry;
}

std::size_t EntryList::IndexOfOrdinal(std::uint32_t ordinal) const {
    RefreshKeys();
    const IndexRange r = byOrdinal_.Find(ordinal);
    return r.size() ? *r.begin() : kNoEntry;
}

EntryRecord* EntryList::FindByOrdinal(std::uint32_t ordinal) {
    const std::size_t i = IndexOfOrdinal(ordinal);
    return i == kNoEntry ? nullptr : &records_[i];
}

const EntryRecord* EntryList::FindByOrdinal(std::uint32_t ordinal) const {
    const std::size_t i = IndexOfOrdinal(ordinal);
    return i == kNoEntry ? nullptr : &records_[i];
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
    parentKeys_[index] = parentNumber;
    childrenStale_.store(true, std::memory_order_release);
}

}  // namespace nw
