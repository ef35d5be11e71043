// A raw scan that nothing looks at: a view that shows nothing and a request
// with every kind checked over sectors 0 to `end`, for driving raw scans.
#pragma once

#include <string>

#include "raw/RawScan.h"

namespace testutil {

struct QuietRawPanel : raw::RawScanView {
    std::string end;
    raw::RawRequest Request() const {
        raw::RawRequest request;
        request.checked.fill(true);
        request.wholeDisk = false;
        request.startText = "0";
        request.endText = end;
        return request;
    }
};

}  // namespace testutil
