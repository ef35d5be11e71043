#include "ui/CaptionProgressBar.h"

namespace ui {

CaptionProgressBar::CaptionProgressBar(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 100);
    setValue(0);
    setTextVisible(true);
    setAlignment(Qt::AlignCenter);
}

void CaptionProgressBar::SetCaption(const QString& caption) {
    caption_ = caption;
    update();
}

}  // namespace ui
