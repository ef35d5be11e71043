// Base class of the program's dialogs: fixed size, no context help button,
// captioned with the product title unless a dialog names its own caption.
#pragma once

#include <QDialog>

namespace ui {

class DialogEx : public QDialog {
    Q_OBJECT
public:
    explicit DialogEx(QWidget* parent = nullptr, const QString& caption = QString());

    // Fixes the dialog at the size its layout asks for (call after building it).
    void FixSize();
};

}  // namespace ui
