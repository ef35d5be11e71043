// "About Tarvine - Novell Netware".
#pragma once

#include "ui/DialogEx.h"

namespace app {

class AboutDialog : public ui::DialogEx {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace app
