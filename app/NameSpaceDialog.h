// "Name Spaces": which name an entry is shown and saved under on a volume
// with name spaces beyond DOS, and what a save makes of resource forks,
// symbolic links and Unix owners. "&Apply" keeps the choice, "Cancel"
// leaves everything as it was.
#pragma once

#include <QDialog>
#include <cstdint>

#include "recovery/EntryExtras.h"

class QCheckBox;
class QComboBox;

namespace app {

class NameSpaceDialog : public QDialog {
    Q_OBJECT
public:
    // Works on the session's save extras and its name-space preference
    // (which names the next volume opened).
    NameSpaceDialog(recovery::ExtrasSettings& extras, std::uint8_t& preferred, QWidget* parent = nullptr);

    void accept() override;

private:
    recovery::ExtrasSettings& extras_;
    std::uint8_t& preferred_;
    QComboBox* names_ = nullptr;
    QComboBox* forks_ = nullptr;
    QComboBox* links_ = nullptr;
    QCheckBox* owners_ = nullptr;
};

}  // namespace app
