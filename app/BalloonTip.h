// A balloon-shaped pop-up: a rounded rectangle with 24 x 24 corners and a
// 20-pixel triangular tail whose tip lies on an anchor point. The tail's
// side follows the quadrant of the work area that holds the anchor, and the
// window is kept inside the work area.
//
// Two uses: the menu balloon (one per main window, an information icon and
// a wrapped text of at most 300 pixels, moved and refilled as menu items
// are highlighted) and the mode balloon (a bold heading, made for one
// showing, closed by any mouse button or a pointer move of more than three
// pixels, and deleted when closed).
#pragma once

#include <QPointer>
#include <QPolygon>
#include <QRect>
#include <QString>
#include <QWidget>

class QPropertyAnimation;
class QTimer;

namespace app {

inline constexpr int kBalloonTail = 20;        // tail height
inline constexpr int kBalloonCorner = 24;      // corner ellipse width and height
inline constexpr int kBalloonTailMargin = 8;   // tail x values stay this far from the sides
inline constexpr int kBalloonCloseDistance = 3;
inline constexpr int kMenuBalloonMaxWidth = 300;

struct BalloonGeometry {
    QRect window;      // screen rectangle of the whole window
    QRect body;        // the rounded rectangle, window coordinates
    QPolygon tail;     // base start, base end, tip; window coordinates
    QPoint tip;        // window coordinates
    bool rightHalf = false;
    bool upperHalf = false;
};

// Lays out a balloon window of `size` (tail included) with its tip on
// `anchor`, inside `workArea`.
BalloonGeometry LayoutBalloon(QSize size, QPoint anchor, const QRect& workArea);

// Window size for a heading and a body of the given text sizes: the wider
// text plus 16, and both heights plus 8 plus 36 (the tail and margins).
QSize BalloonSize(QSize heading, QSize body);

class BalloonTip : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Menu, Mode };

    explicit BalloonTip(Kind kind, QWidget* owner = nullptr);
    ~BalloonTip() override;

    // A mode balloon at `anchor` with `heading` as its text. A positive
    // timeout closes it after that many milliseconds. The balloon deletes
    // itself when it closes.
    static BalloonTip* Launch(QWidget* owner, const QString& heading, const QString& body, QPoint anchor,
                              int timeoutMs = 0);

    void SetTexts(const QString& heading, const QString& body);
    QString Heading() const { return heading_; }
    QString Body() const { return body_; }

    // Lays the balloon out with its tip on `anchor` and shows it on top.
    void ShowAt(QPoint anchor);
    // Where ShowAt(anchor) would put it, with its present texts.
    BalloonGeometry LayoutAt(QPoint anchor) const;
    // Hides it (the menu balloon) or closes and deletes it (a mode balloon).
    void Dismiss();

    QPoint Anchor() const { return anchor_; }
    const BalloonGeometry& Geometry() const { return geometry_; }
    bool Fades() const;

    // The work area used for placing; the screen's available area unless set.
    void SetWorkArea(const QRect& area) { workArea_ = area; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QSize ContentSize() const;
    QRect WorkAreaFor(QPoint anchor) const;
    void Relayout();
    void FinishClose();

    Kind kind_;
    QPointer<QWidget> ownerWindow_;
    QString heading_;
    QString body_;
    QPoint anchor_;
    QPoint launchPoint_;
    QPoint ownerPos_;
    QRect workArea_;
    BalloonGeometry geometry_;
    QPropertyAnimation* fade_ = nullptr;
    QTimer* timeout_ = nullptr;
    bool watching_ = false;
    bool closing_ = false;
};

}  // namespace app
