#include "app/ModeButton.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace app {

ModeButton::ModeButton(const QString& text, int mode, QWidget* parent) : QRadioButton(text, parent), mode_(mode) {
    setMouseTracking(true);
    setAutoExclusive(false);
    // Reached by Tab; Space picks its mode, the arrows move to the next
    // mode and pick it. (Focus alone picks nothing: it also arrives when a
    // control that had it is hidden.)
    setFocusPolicy(Qt::StrongFocus);
    rest_.setSingleShot(true);
    rest_.setInterval(kRestMs);
    connect(&rest_, &QTimer::timeout, this, &ModeButton::Rested);
}

void ModeButton::FinishRest() {
    if (!rest_.isActive()) return;
    rest_.stop();
    Rested();
}

void ModeButton::Rested() {
    if (isEnabled() && isVisible()) emit Hovered(mode_, restAt_);
}

void ModeButton::mouseMoveEvent(QMouseEvent* event) {
    // Every move starts the wait again: only a pointer that stops here
    // selects the mode.
    if (isEnabled()) {
        restAt_ = event->globalPosition().toPoint();
        rest_.start();
    }
    event->accept();
}

void ModeButton::leaveEvent(QEvent* event) {
    rest_.stop();
    QRadioButton::leaveEvent(event);
}

void ModeButton::hideEvent(QHideEvent* event) {
    rest_.stop();
    QRadioButton::hideEvent(event);
}

void ModeButton::mousePressEvent(QMouseEvent* event) { event->accept(); }

void ModeButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && isEnabled() && rect().contains(event->position().toPoint())) {
        rest_.stop();
        emit Hovered(mode_, event->globalPosition().toPoint());
    }
    event->accept();
}

void ModeButton::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Space:
        case Qt::Key_Select:
            if (isEnabled()) emit Hovered(mode_, mapToGlobal(rect().center()));
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (isEnabled()) emit Hovered(mode_, mapToGlobal(rect().center()));
            break;
        case Qt::Key_Up:
        case Qt::Key_Left:
        case Qt::Key_Down:
        case Qt::Key_Right: {
            // The neighbouring mode button of the same parent, in mode order.
            const int step = event->key() == Qt::Key_Up || event->key() == Qt::Key_Left ? -1 : 1;
            for (ModeButton* b : parentWidget()->findChildren<ModeButton*>(Qt::FindDirectChildrenOnly))
                if (b->mode_ == mode_ + step && b->isEnabled() && b->isVisible()) {
                    b->setFocus(Qt::TabFocusReason);
                    emit b->Hovered(b->mode_, b->mapToGlobal(b->rect().center()));
                }
            break;
        }
        default: break;
    }
    event->accept();
}

void ModeButton::keyReleaseEvent(QKeyEvent* event) { event->accept(); }

}  // namespace app
