// A raw image cut into numbered pieces, opened by its first piece: NAME.001,
// NAME.002, ... (any width of digits) or NAME.aa, NAME.ab, ... Every piece
// but the last holds the same number of bytes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "disk/Source.h"

namespace disk {

// The pieces of the set whose first piece is `first`, in order; just
// {first} when it is not named like a first piece or no second piece lies
// beside it.
std::vector<std::string> SplitRawPieces(const std::string& first);

// Opens the pieces as one disk; nullptr with *reason ("piece: why") when a
// piece cannot be opened or its size breaks the set.
std::unique_ptr<Source> OpenSplitRaw(const std::vector<std::string>& pieces, std::string* reason);

}  // namespace disk
