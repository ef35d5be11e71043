// A raw image cut into numbered pieces, opened by its first piece: NAME.001,
// NAME.002, ... (any width of digits) or NAME.aa, NAME.ab, ... Every piece
// but the last holds the same number of bytes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "disk/Source.h"

namespace disk {

// The pieces of the set whose first piece is `first`, in order, up to the
// one named furthest on that lies beside it, pieces missing before that one
// included (by the names they would have); just {first} when it is not
// named like a first piece or no later piece lies beside it.
std::vector<std::string> SplitRawPieces(const std::string& first);

// Opens the pieces as one disk; nullptr with *reason ("piece: why") when a
// piece cannot be opened or its size breaks the set. A piece before the
// last that does not exist is a gap of the size of the first piece: the
// disk keeps its size and its later pieces, and the gap's sectors read as
// unreadable (Source::MissingRanges, Source::Remark).
std::unique_ptr<Source> OpenSplitRaw(const std::vector<std::string>& pieces, std::string* reason);

}  // namespace disk
