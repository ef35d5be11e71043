// "About Tarvine - Novell Netware".
#pragma once

#include "ui/DialogEx.h"

namespace app {

// The About entry a window's system menu carries, where the window manager
// offers one to the program, and its command number.
inline constexpr const char* kAboutMenuText = "&About Tarvine";
inline constexpr int kAboutMenuCommand = 16;

class AboutDialog : public ui::DialogEx {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace app
