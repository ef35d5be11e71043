#include "app/BalloonTip.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolTip>
#include <algorithm>
#include <cstdlib>

namespace app {

namespace {

constexpr int kMargin = 8;
constexpr int kIconSize = 16;
constexpr int kIconGap = 6;
constexpr int kFadeMs = 200;

QFont HeadingFont() {
    QFont f = QApplication::font();
    f.setWeight(QFont::Bold);
    return f;
}

int ClampTailX(int x, int width) {
    const int lo = kBalloonTailMargin;
    const int hi = std::max(lo, width - kBalloonTailMargin);
    return std::clamp(x, lo, hi);
}

QPainterPath OutlineOf(const BalloonGeometry& g) {
    QPainterPath body;
    body.addRoundedRect(QRectF(g.body), kBalloonCorner / 2.0, kBalloonCorner / 2.0);
    QPainterPath tail;
    tail.addPolygon(QPolygonF(g.tail));
    tail.closeSubpath();
    return body.united(tail);
}

}  // namespace

BalloonGeometry LayoutBalloon(QSize size, QPoint anchor, const QRect& workArea) {
    BalloonGeometry g;
    const int w = size.width();
    const int h = size.height();
    g.rightHalf = anchor.x() >= workArea.left() + workArea.width() / 2;
    g.upperHalf = anchor.y() < workArea.top() + workArea.height() / 2;

    const int u = (w - kBalloonTail) / 4;
    int baseA, baseB, tipX;
    if (g.rightHalf) {
        baseA = 3 * u;
        baseB = 3 * u + kBalloonTail;
        tipX = 3 * u + kBalloonTail;
    } else {
        baseA = u + kBalloonTail;
        baseB = u;
        tipX = u;
    }
    baseA = ClampTailX(baseA, w);
    baseB = ClampTailX(baseB, w);
    tipX = ClampTailX(tipX, w);

    int baseY, tipY;
    if (g.upperHalf) {
        g.body = QRect(0, kBalloonTail, w, h - kBalloonTail);
        baseY = kBalloonTail + 1;
        tipY = 1;
    } else {
        g.body = QRect(0, 0, w, h - kBalloonTail);
        baseY = h - kBalloonTail - 2;
        tipY = h - 2;
    }
    g.tail = QPolygon({QPoint(baseA, baseY), QPoint(baseB, baseY), QPoint(tipX, tipY)});
    g.tip = QPoint(tipX, tipY);

    // Tip on the anchor, then moved as little as needed to stay inside.
    int x = anchor.x() - tipX;
    int y = anchor.y() - tipY;
    if (x + w > workArea.right() + 1) x = workArea.right() + 1 - w;
    if (x < workArea.left()) x = workArea.left();
    if (y + h > workArea.bottom() + 1) y = workArea.bottom() + 1 - h;
    if (y < workArea.top()) y = workArea.top();
    g.window = QRect(x, y, w, h);
    return g;
}

QSize BalloonSize(QSize heading, QSize body) {
    // An absent text (an empty size) takes no room.
    const QSize h = heading.expandedTo(QSize(0, 0));
    const QSize b = body.expandedTo(QSize(0, 0));
    return QSize(std::max(h.width(), b.width()) + 16, h.height() + b.height() + 8 + 36);
}

BalloonTip::BalloonTip(Kind kind, QWidget* owner)
    : QWidget(owner ? owner->window() : nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                                     Qt::WindowDoesNotAcceptFocus),
      kind_(kind),
      ownerWindow_(owner ? owner->window() : nullptr) {
    setObjectName(kind == Kind::Menu ? "menuBalloon" : "BalloonHelpClass");
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose, kind == Kind::Mode);
    setFocusPolicy(Qt::NoFocus);
    setPalette(QToolTip::palette());
    setFont(QApplication::font());
    if (ownerWindow_) {
        ownerPos_ = ownerWindow_->pos();
        ownerWindow_->installEventFilter(this);
    }
}

BalloonTip::~BalloonTip() {
    if (watching_) qApp->removeEventFilter(this);
}

BalloonTip* BalloonTip::Launch(QWidget* owner, const QString& heading, const QString& body, QPoint anchor,
                               int timeoutMs) {
    auto* balloon = new BalloonTip(Kind::Mode, owner);
    balloon->SetTexts(heading, body);
    balloon->launchPoint_ = anchor;
    balloon->ShowAt(anchor);
    // Every mouse message of the program passes the balloon's watch.
    qApp->installEventFilter(balloon);
    balloon->watching_ = true;
    if (timeoutMs > 0) {
        balloon->timeout_ = new QTimer(balloon);
        balloon->timeout_->setSingleShot(true);
        connect(balloon->timeout_, &QTimer::timeout, balloon, &BalloonTip::Dismiss);
        balloon->timeout_->start(timeoutMs);
    }
    return balloon;
}

void BalloonTip::SetTexts(const QString& heading, const QString& body) {
    heading_ = heading;
    body_ = body;
    if (isVisible()) Relayout();
    update();
}

QSize BalloonTip::ContentSize() const {
    if (kind_ == Kind::Menu) {
        const int textWidth = kMenuBalloonMaxWidth - 16 - kIconSize - kIconGap;
        const QRect text = body_.isEmpty() ? QRect()
                                           : QFontMetrics(font()).boundingRect(QRect(0, 0, textWidth, 4000),
                                                                               Qt::TextWordWrap, body_);
        const QSize content(kIconSize + kIconGap + text.width(), std::max(kIconSize, text.height()));
        return BalloonSize(QSize(), content);
    }
    const QSize heading = heading_.isEmpty() ? QSize()
                                             : QFontMetrics(HeadingFont()).boundingRect(QRect(0, 0, 4000, 4000), 0,
                                                                                        heading_).size();
    const QSize body = body_.isEmpty() ? QSize()
                                       : QFontMetrics(font()).boundingRect(QRect(0, 0, 4000, 4000), 0, body_).size();
    return BalloonSize(heading, body);
}

QRect BalloonTip::WorkAreaFor(QPoint anchor) const {
    if (workArea_.isValid()) return workArea_;
    QScreen* screen = QGuiApplication::screenAt(anchor);
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

BalloonGeometry BalloonTip::LayoutAt(QPoint anchor) const {
    return LayoutBalloon(ContentSize(), anchor, WorkAreaFor(anchor));
}

void BalloonTip::Relayout() {
    geometry_ = LayoutBalloon(ContentSize(), anchor_, WorkAreaFor(anchor_));
    setGeometry(geometry_.window);
    setMask(QRegion(OutlineOf(geometry_).toFillPolygon().toPolygon(), Qt::WindingFill));
    update();
}

bool BalloonTip::Fades() const {
    return QApplication::isEffectEnabled(Qt::UI_AnimateTooltip) && QApplication::isEffectEnabled(Qt::UI_FadeTooltip);
}

void BalloonTip::ShowAt(QPoint anchor) {
    anchor_ = anchor;
    Relayout();
    if (!isVisible() && Fades()) {
        if (!fade_) fade_ = new QPropertyAnimation(this, "windowOpacity", this);
        fade_->stop();
        disconnect(fade_, &QPropertyAnimation::finished, this, nullptr);
        setWindowOpacity(0.0);
        show();
        fade_->setDuration(kFadeMs);
        fade_->setStartValue(0.0);
        fade_->setEndValue(1.0);
        fade_->start();
    } else {
        if (fade_ && fade_->state() != QAbstractAnimation::Running) setWindowOpacity(1.0);
        show();
    }
    raise();
}

void BalloonTip::Dismiss() {
    if (kind_ == Kind::Menu) {
        if (fade_) fade_->stop();
        hide();
        return;
    }
    if (closing_) return;
    closing_ = true;
    if (watching_) {
        qApp->removeEventFilter(this);
        watching_ = false;
    }
    if (timeout_) timeout_->stop();
    if (Fades() && isVisible()) {
        if (!fade_) fade_ = new QPropertyAnimation(this, "windowOpacity", this);
        fade_->stop();
        fade_->setDuration(kFadeMs);
        fade_->setStartValue(windowOpacity());
        fade_->setEndValue(0.0);
        connect(fade_, &QPropertyAnimation::finished, this, &BalloonTip::FinishClose);
        fade_->start();
    } else {
        FinishClose();
    }
}

void BalloonTip::FinishClose() {
    hide();
    close();  // deletes a mode balloon (deferred)
}

bool BalloonTip::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ownerWindow_ && event->type() == QEvent::Move) {
        const QPoint now = ownerWindow_->pos();
        anchor_ += now - ownerPos_;
        ownerPos_ = now;
        if (isVisible() && !closing_) Relayout();
        return false;
    }
    if (!watching_ || closing_) return false;
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonRelease:
        case QEvent::NonClientAreaMouseButtonDblClick: {
            const auto button = static_cast<QMouseEvent*>(event)->button();
            if (button == Qt::LeftButton || button == Qt::MiddleButton || button == Qt::RightButton) Dismiss();
            break;
        }
        case QEvent::MouseMove:
        case QEvent::NonClientAreaMouseMove: {
            const QPoint at = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
            if (std::abs(at.x() - launchPoint_.x()) > kBalloonCloseDistance ||
                std::abs(at.y() - launchPoint_.y()) > kBalloonCloseDistance)
                Dismiss();
            break;
        }
        default: break;
    }
    // The click or move goes on to its target.
    return false;
}

void BalloonTip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath outline = OutlineOf(geometry_);
    p.fillPath(outline, palette().color(QPalette::ToolTipBase));
    p.setPen(QPen(palette().color(QPalette::ToolTipText), 1.5));
    p.drawPath(outline);

    const QRect content = geometry_.body.adjusted(kMargin, kMargin, -kMargin, -kMargin);
    p.setPen(palette().color(QPalette::ToolTipText));
    if (kind_ == Kind::Menu) {
        const QIcon icon = style()->standardIcon(QStyle::SP_MessageBoxInformation);
        const int textHeight = QFontMetrics(font())
                                   .boundingRect(QRect(0, 0, content.width() - kIconSize - kIconGap, 4000),
                                                 Qt::TextWordWrap, body_)
                                   .height();
        const int blockTop = content.top() + (content.height() - std::max(kIconSize, textHeight)) / 2;
        icon.paint(&p, QRect(content.left(), blockTop, kIconSize, kIconSize));
        p.setFont(font());
        p.drawText(QRect(content.left() + kIconSize + kIconGap, blockTop, content.width() - kIconSize - kIconGap,
                         std::max(kIconSize, textHeight)),
                   Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignVCenter, body_);
        return;
    }
    const QFontMetrics headingMetrics(HeadingFont());
    const int headingHeight = heading_.isEmpty() ? 0 : headingMetrics.boundingRect(QRect(0, 0, 4000, 4000), 0,
                                                                                   heading_).height();
    const int bodyHeight = body_.isEmpty() ? 0 : QFontMetrics(font()).boundingRect(QRect(0, 0, 4000, 4000), 0,
                                                                                   body_).height();
    const int gap = heading_.isEmpty() || body_.isEmpty() ? 0 : kMargin;
    const int blockTop = content.top() + (content.height() - headingHeight - gap - bodyHeight) / 2;
    if (!heading_.isEmpty()) {
        p.setFont(HeadingFont());
        p.drawText(QRect(content.left(), blockTop, content.width(), headingHeight), Qt::AlignLeft, heading_);
    }
    if (!body_.isEmpty()) {
        p.setFont(font());
        p.drawText(QRect(content.left(), blockTop + headingHeight + gap, content.width(), bodyHeight), Qt::AlignLeft,
                   body_);
    }
}

}  // namespace app
