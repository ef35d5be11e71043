#include "app/Icons.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

namespace app::icons {

namespace {

QPixmap Blank(int size) {
    QPixmap p(size, size);
    p.fill(Qt::transparent);
    return p;
}

void DrawFolder(QPainter& g, bool open) {
    g.setPen(QColor(150, 110, 20));
    g.setBrush(QColor(240, 200, 80));
    g.drawRect(1, 4, 13, 10);
    g.drawRect(1, 2, 5, 2);
    if (open) {
        QPainterPath lid;
        lid.moveTo(3, 7);
        lid.lineTo(15, 7);
        lid.lineTo(13, 14);
        lid.lineTo(1, 14);
        lid.closeSubpath();
        g.setBrush(QColor(255, 228, 130));
        g.drawPath(lid);
    }
}

void DrawDisk(QPainter& g) {
    g.setPen(QColor(70, 70, 80));
    g.setBrush(QColor(190, 195, 205));
    g.drawRoundedRect(1, 4, 14, 9, 2, 2);
    g.setBrush(QColor(60, 200, 80));
    g.drawRect(11, 10, 2, 1);
    g.setPen(QColor(120, 120, 130));
    g.drawLine(3, 7, 9, 7);
}

void DrawComputer(QPainter& g) {
    g.setPen(QColor(50, 50, 60));
    g.setBrush(QColor(200, 205, 215));
    g.drawRect(1, 1, 14, 10);
    g.setBrush(QColor(60, 110, 190));
    g.drawRect(3, 3, 10, 6);
    g.setBrush(QColor(160, 165, 175));
    g.drawRect(4, 12, 8, 2);
}

// A sheet of paper with a coloured band carrying a short mark.
QPixmap Page(const QColor& band, const QString& mark) {
    QPixmap p = Blank(16);
    QPainter g(&p);
    g.setPen(QColor(110, 110, 110));
    g.setBrush(Qt::white);
    g.drawRect(2, 0, 11, 15);
    if (band.isValid()) {
        g.setPen(Qt::NoPen);
        g.setBrush(band);
        g.drawRect(0, 6, 16, 8);
        QFont f;
        f.setPixelSize(7);
        f.setBold(true);
        g.setFont(f);
        g.setPen(Qt::white);
        g.drawText(QRect(0, 6, 16, 8), Qt::AlignCenter, mark);
    } else {
        g.setPen(QColor(170, 170, 170));
        for (int y = 3; y <= 12; y += 3) g.drawLine(4, y, 11, y);
    }
    return p;
}

}  // namespace

QIcon TreeImage(int image) {
    QPixmap p = Blank(16);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing, false);
    switch (image) {
        case 1: DrawDisk(g); break;
        case 2: DrawComputer(g); break;
        case 3:
        case 7: DrawFolder(g, image == 7); break;
        default: break;
    }
    g.end();
    QIcon icon(p);
    if (image == 3) {
        QPixmap open = Blank(16);
        QPainter h(&open);
        DrawFolder(h, true);
        h.end();
        icon.addPixmap(open, QIcon::Selected);
    }
    return icon;
}

QIcon ListImage(int image) {
    switch (image) {
        case 1: {
            QPixmap p = Blank(16);
            QPainter g(&p);
            DrawFolder(g, false);
            return QIcon(p);
        }
        case 2: return QIcon(Page(QColor(150, 110, 40), "ZIP"));
        case 3: return QIcon(Page(QColor(30, 130, 60), "X"));
        case 4: return QIcon(Page(QColor(40, 80, 170), "W"));
        case 5: return QIcon(Page(QColor(200, 80, 30), "P"));
        case 7: return QIcon(Page(QColor(90, 90, 100), "EXE"));
        case 8: return QIcon(Page(QColor(120, 60, 140), "F"));
        case 9: return QIcon(Page(QColor(30, 110, 150), "C"));
        case 11: return QIcon(Page(QColor(60, 130, 170), "H"));
        case 12: return QIcon(Page(QColor(30, 140, 190), "www"));
        case 13: return QIcon(Page(QColor(180, 150, 30), "?"));
        case 15: return QIcon(Page(QColor(190, 30, 30), "PDF"));
        case 16: return QIcon(Page(QColor(70, 90, 120), "REG"));
        case 17: return QIcon(Page(QColor(200, 120, 30), "♪"));
        case 18: return QIcon(Page(QColor(60, 60, 60), "AVI"));
        case 20: return QIcon(Page(QColor(), QString()));
        default: {  // a blank sheet with a folded corner
            QPixmap p = Blank(16);
            QPainter g(&p);
            g.setPen(QColor(110, 110, 110));
            g.setBrush(Qt::white);
            g.drawPolygon(QPolygon({QPoint(2, 0), QPoint(10, 0), QPoint(13, 3), QPoint(13, 15), QPoint(2, 15)}));
            g.drawLine(10, 0, 10, 3);
            g.drawLine(10, 3, 13, 3);
            return QIcon(p);
        }
    }
}

QIcon ToolImage(Tool tool) {
    QPixmap p = Blank(24);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    switch (tool) {
        case Tool::SaveData: {  // a drive with a green arrow going in
            g.setPen(QColor(60, 60, 70));
            g.setBrush(QColor(190, 195, 205));
            g.drawRoundedRect(2, 13, 20, 9, 2, 2);
            g.setPen(Qt::NoPen);
            g.setBrush(QColor(40, 160, 60));
            g.drawRect(10, 2, 4, 7);
            g.drawPolygon(QPolygon({QPoint(6, 8), QPoint(18, 8), QPoint(12, 13)}));
            break;
        }
        case Tool::LoadLog:
        case Tool::SaveLog: {  // a sheet with an arrow out or in
            g.setPen(QColor(90, 90, 90));
            g.setBrush(Qt::white);
            g.drawRect(5, 2, 13, 19);
            g.setPen(QColor(160, 160, 160));
            for (int y = 6; y <= 12; y += 3) g.drawLine(7, y, 16, y);
            g.setPen(Qt::NoPen);
            g.setBrush(tool == Tool::LoadLog ? QColor(40, 100, 190) : QColor(40, 160, 60));
            if (tool == Tool::LoadLog)
                g.drawPolygon(QPolygon({QPoint(12, 13), QPoint(19, 19), QPoint(5, 19)}));
            else
                g.drawPolygon(QPolygon({QPoint(5, 14), QPoint(19, 14), QPoint(12, 21)}));
            break;
        }
        case Tool::Exit: {
            g.setPen(QPen(QColor(190, 40, 40), 3));
            g.drawArc(4, 4, 16, 16, 120 * 16, 300 * 16);
            g.drawLine(12, 2, 12, 11);
            break;
        }
        case Tool::Help: {
            g.setPen(Qt::NoPen);
            g.setBrush(QColor(40, 100, 190));
            g.drawEllipse(2, 2, 20, 20);
            QFont f;
            f.setPixelSize(16);
            f.setBold(true);
            g.setFont(f);
            g.setPen(Qt::white);
            g.drawText(QRect(2, 2, 20, 20), Qt::AlignCenter, "?");
            break;
        }
    }
    return QIcon(p);
}

QIcon WindowIcon() {
    QIcon icon;
    for (int size : {16, 32, 48}) {
        QPixmap p = Blank(size);
        QPainter g(&p);
        g.setRenderHint(QPainter::Antialiasing);
        g.scale(size / 16.0, size / 16.0);
        DrawDisk(g);
        g.setPen(QPen(QColor(40, 160, 60), 1.5));
        g.drawLine(QPointF(4, 2.5), QPointF(7, 5));
        g.drawLine(QPointF(7, 5), QPointF(13, 0.5));
        g.end();
        icon.addPixmap(p);
    }
    return icon;
}

}  // namespace app::icons
