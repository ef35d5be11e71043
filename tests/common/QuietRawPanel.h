// A raw panel with every kind checked, a range of 0 to `end`, and no
// destination dialog: for driving raw scans where nothing is looked at.
#pragma once

#include <string>

#include "raw/RawPanel.h"
#include "raw/RawScan.h"

namespace testutil {

struct QuietRawPanel : raw::RawPanel {
    std::string end;
    std::string button = raw::kStartText;
    int FileTypeRowCount() override { return raw::kKindCount; }
    bool FileTypeChecked(int) override { return true; }
    std::string StartSectorText() override { return "0"; }
    std::string EndSectorText() override { return end; }
    std::string StartButtonText() override { return button; }
    void SetStartButtonText(const std::string& text) override { button = text; }
    void ShowFileSavingDialog() override {}
};

}  // namespace testutil
