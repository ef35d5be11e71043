#include "app/ModeButton.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace app {

ModeButton::ModeButton(const QString& text, int mode, QWidget* parent) : QRadioButton(text, parent), mode_(mode) {
    setMouseTracking(true);
    setAutoExclusive(false);
    setFocusPolicy(Qt::NoFocus);
}

void ModeButton::mouseMoveEvent(QMouseEvent* event) {
    if (isEnabled()) emit Hovered(mode_, event->globalPosition().toPoint());
    event->accept();
}

void ModeButton::mousePressEvent(QMouseEvent* event) { event->accept(); }
void ModeButton::mouseReleaseEvent(QMouseEvent* event) { event->accept(); }
void ModeButton::keyPressEvent(QKeyEvent* event) { event->accept(); }
void ModeButton::keyReleaseEvent(QKeyEvent* event) { event->accept(); }

}  // namespace app
