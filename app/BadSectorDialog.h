// "Bad Sector Encountered": what to do about sectors that cannot be read.
#pragma once

#include "ui/DialogEx.h"

namespace app {

class BadSectorDialog : public ui::DialogEx {
    Q_OBJECT
public:
    explicit BadSectorDialog(QWidget* parent = nullptr);
    // Shows the dialog and returns the answer (disk::BadSectorAnswer);
    // Escape, the close box and the owner going away answer Skip.
    static int Ask(QWidget* parent);

protected:
    void reject() override;

private:
    int answer_ = 1;
};

}  // namespace app
