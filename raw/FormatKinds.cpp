#include "raw/FormatKinds.h"

namespace raw {

namespace {

constexpr std::array<DocumentKind, kinds::kCount> kKinds{{
    {kinds::kWord, "DOC", ".DOC", "doc"},
    {kinds::kExcel, "XLS", ".XLS", "xls"},
    {kinds::kPowerPoint, "PPT", ".PPT", "ppt"},
    {kinds::kZip, "ZIP", ".ZIP", "zip"},
}};

constexpr bool InCodeOrder() {
    for (int k = 0; k < kinds::kCount; ++k)
        if (kKinds[k].code != k) return false;
    return true;
}
static_assert(InCodeOrder(), "the table is indexed by type code");

}  // namespace

const std::array<DocumentKind, kinds::kCount>& DocumentKinds() { return kKinds; }

}  // namespace raw
