// "Select FAT to use": the two allocation-table copies differ in length and
// the user picks the one to mount with.
#pragma once

#include <QRadioButton>

#include "ui/DialogEx.h"

namespace app {

class FatChoiceDialog : public ui::DialogEx {
    Q_OBJECT
public:
    FatChoiceDialog(std::uint32_t fat1Length, std::uint32_t fat2Length, QWidget* parent = nullptr);
    // 1 (FAT1), 2 (FAT2), or 0 when cancelled (or the owner went away).
    static int Ask(std::uint32_t fat1Length, std::uint32_t fat2Length, QWidget* parent);

private:
    QRadioButton* fat1_;
    QRadioButton* fat2_;
};

}  // namespace app
