// A container read through a library handle and the handles of its parent
// images (a differencing image reads what it does not hold from its
// parent). One lock guards the whole chain: the libraries' handles may not
// be read from two threads, and a child's read reads its parents.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "disk/Source.h"

namespace disk {

template <class Handle>
class HandleChain : public Source {
public:
    // Reads exactly `length` bytes at `offset` through the handle.
    using ReadFn = bool (*)(Handle*, std::uint8_t*, std::uint64_t, std::uint64_t);
    // Closes and frees a handle.
    using FreeFn = void (*)(Handle*);

    HandleChain(ReadFn read, FreeFn release) : read_(read), free_(release) {}
    ~HandleChain() override {
        for (Handle* h : chain_) free_(h);  // the child first, then its parents
    }
    HandleChain(const HandleChain&) = delete;
    HandleChain& operator=(const HandleChain&) = delete;

    // The handles, the image opened first; a parent is added after its child.
    void Add(Handle* handle) { chain_.push_back(handle); }
    std::size_t Length() const { return chain_.size(); }
    void Describe(std::uint64_t size, std::string name, FactRows facts) {
        size_ = size;
        name_ = std::move(name);
        facts_ = std::move(facts);
    }

    std::uint64_t SizeBytes() const override { return size_; }
    std::string Name() const override { return name_; }
    FactRows Facts() const override { return facts_; }
    bool ReadAt(std::uint64_t offset, std::uint64_t length, void* buffer) override {
        std::lock_guard<std::mutex> lock(mutex_);
        return !chain_.empty() && read_(chain_.front(), static_cast<std::uint8_t*>(buffer), length, offset);
    }

private:
    ReadFn read_;
    FreeFn free_;
    std::mutex mutex_;
    std::vector<Handle*> chain_;
    std::uint64_t size_ = 0;
    std::string name_;
    FactRows facts_;
};

// Calls `read(buffer, length, offset)` (returning the bytes read, or -1)
// until the whole length is read; false at an error or the end of data.
template <class Read>
bool ReadWhole(Read read, std::uint8_t* out, std::uint64_t length, std::uint64_t offset) {
    while (length > 0) {
        const auto n = read(out, length, offset);
        if (n <= 0) return false;
        out += n;
        offset += static_cast<std::uint64_t>(n);
        length -= static_cast<std::uint64_t>(n);
    }
    return true;
}

}  // namespace disk
