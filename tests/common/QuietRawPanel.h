// A raw scan that nothing looks at: a view that shows nothing and a request
// with every kind checked over sectors 0 to `end`, for driving raw scans.
#pragma once

#include <cstdint>

#include "raw/RawScan.h"

namespace testutil {

struct QuietRawPanel : raw::RawScanView {
    std::int64_t end = 0;
    raw::RawRequest Request() const {
        raw::RawRequest request;
        request.checked.fill(true);
        request.wholeDisk = false;
        request.startSector = 0;
        request.endSector = end;
        return request;
    }
};

}  // namespace testutil
