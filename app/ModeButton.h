// A recovery-mode button. The pointer resting on it (about 0.3 s), a click,
// Space, Enter, or an arrow key moving to it selects its mode; a pointer only
// passing over it on its way elsewhere selects nothing. The button never
// checks itself: the wizard shows the chosen mode.
#pragma once

#include <QRadioButton>
#include <QTimer>

namespace app {

class ModeButton : public QRadioButton {
    Q_OBJECT
public:
    // How long the pointer rests before its mode is selected.
    static constexpr int kRestMs = 300;

    ModeButton(const QString& text, int mode, QWidget* parent = nullptr);
    int Mode() const { return mode_; }
    // Whether the pointer moved onto the button and has not yet rested.
    bool RestPending() const { return rest_.isActive(); }
    // Ends a pending rest at once, as the time running out does (tests stand
    // in for the pointer's pause with it).
    void FinishRest();

signals:
    // The button's mode was selected (rest, click, key).
    void Hovered(int mode, const QPoint& globalPos);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void Rested();
    int mode_;
    QTimer rest_;
    QPoint restAt_;
};

}  // namespace app
