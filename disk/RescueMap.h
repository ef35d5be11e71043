// A GNU ddrescue mapfile: which byte ranges of an image were read ('+') and
// which were not. Every sector not wholly inside a finished area is treated
// as unreadable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace disk {

class RescueMap {
public:
    // Parses mapfile text; false with a message naming the line on error.
    bool Parse(const std::string& text, std::string* error);
    bool Load(const std::string& path, std::string* error);

    // True when every byte of [offset, offset + length) lies in a finished area.
    bool IsGood(std::uint64_t offset, std::uint64_t length) const;
    const std::vector<std::pair<std::uint64_t, std::uint64_t>>& GoodAreas() const { return good_; }

private:
    bool parsed_ = false;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> good_;  // sorted, merged [begin, end)
};

}  // namespace disk
