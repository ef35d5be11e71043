// A recovery-mode button. Moving the pointer over it, Space on it, or an
// arrow key moving to it selects its mode; a click does nothing more,
// and the button never checks itself.
#pragma once

#include <QRadioButton>

namespace app {

class ModeButton : public QRadioButton {
    Q_OBJECT
public:
    ModeButton(const QString& text, int mode, QWidget* parent = nullptr);
    int Mode() const { return mode_; }

signals:
    void Hovered(int mode, const QPoint& globalPos);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    int mode_;
};

}  // namespace app
