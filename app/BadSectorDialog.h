// "Bad Sector Encountered": what to do about sectors that cannot be read.
#pragma once

#include "ui/DialogEx.h"

namespace app {

class BadSectorDialog : public ui::DialogEx {
    Q_OBJECT
public:
    explicit BadSectorDialog(QWidget* parent = nullptr, const QString& where = QString());
    // Shows the dialog and returns the answer (disk::BadSectorAnswer);
    // Escape, the close box and the owner going away answer Skip.
    // `where`: the sectors and the file being read; `beside`: the dialog
    // whose progress the question must not hide.
    static int Ask(QWidget* parent, const QString& where = QString(), QWidget* beside = nullptr);

protected:
    void reject() override;

private:
    int answer_ = 1;
};

}  // namespace app
