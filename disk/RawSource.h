// A raw image file or a block device read with positioned reads: no lock,
// any number of readers at once.
#pragma once

#include "disk/PosixFile.h"
#include "disk/Source.h"

namespace disk {

class RawSource : public Source {
public:
    // `fd` is open for reading.
    explicit RawSource(UniqueFd fd);

    std::uint64_t SizeBytes() const override { return size_; }
    bool ReadAt(std::uint64_t offset, std::uint64_t length, void* buffer) override;
    std::string Name() const override { return blockDevice_ ? "block device" : "raw image"; }
    bool IsPlainRaw() const override { return true; }

private:
    UniqueFd fd_;
    std::uint64_t size_ = 0;
    bool blockDevice_ = false;
};

}  // namespace disk
