// The four kinds of document raw recovery writes: their type codes and, for
// each, the written file names and the command line's word for it.
#pragma once

#include <array>

namespace raw {

namespace kinds {
// Type codes: also the row numbers of the file-type list and the index of the
// per-kind counts.
enum Code : int { kWord = 0, kExcel = 1, kPowerPoint = 2, kZip = 3 };
constexpr int kCount = 4;
}  // namespace kinds

struct DocumentKind {
    int code;                 // kinds::Code
    const char* prefix;       // file name before the number: "DOC"
    const char* extension;    // file name after the number: ".DOC"
    const char* typeName;     // the command line's word for the kind: "doc"
};

// Indexed by type code.
const std::array<DocumentKind, kinds::kCount>& DocumentKinds();

}  // namespace raw
