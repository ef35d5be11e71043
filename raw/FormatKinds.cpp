#include "raw/FormatKinds.h"

namespace raw {

namespace {

constexpr std::array<DocumentKind, kinds::kCount> kKinds{{
    {kinds::kWord, "Microsoft Word File(s) (.DOC)", "Total Word File(s) Recovered :  ", "DOC", ".DOC", "doc"},
    {kinds::kExcel, "Microsoft Excel File(s) (.XLS)", "Total Excel File(s) Recovered :  ", "XLS", ".XLS", "xls"},
    {kinds::kPowerPoint, "Microsoft PowerPoint File(s) (.PPT)", "Total PowerPoint File(s) Recovered :  ", "PPT",
     ".PPT", "ppt"},
    {kinds::kZip, "Compressed File(s) (.Zip)", "Total Zip File(s) Recovered :  ", "ZIP", ".ZIP", "zip"},
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
