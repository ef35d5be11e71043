// Draws the wizard's step pictures into the folder given as the argument:
// a three-step strip with the current step lit and a line saying what to do.
#include <QDir>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <cstdio>

namespace {

struct Picture {
    const char* file;
    int step;  // 1..3 lit
    const char* caption;
};

const Picture kPictures[] = {
    {"Step1.bmp", 1, "Click the disk to recover from"},
    {"Step2.bmp", 1, "Point at a recovery mode, then Next"},
    {"Step3.bmp", 2, "Click a volume, then Next"},
    {"Step4.bmp", 2, "Volumes - click one, then Next"},
    {"help4.bmp", 1, "Scanning the disk for volumes..."},
    {"help5.bmp", 2, "Click a found volume, then Next"},
    {"mount5.bmp", 2, "Reading the volume, please wait..."},
    {"mount6.bmp", 2, "Rebuilding the volume, please wait..."},
    {"step6_1.bmp", 3, "Tick folders, then Save Data"},
    {"step7.bmp", 3, "Tick folders, then Save Data"},
    {"Step4_1.bmp", 2, "Raw recovery: types and range"},
};

const char* const kStepNames[3] = {"Disk", "Volume", "Files"};

QImage Draw(const Picture& p) {
    QImage image(240, 60, QImage::Format_RGB32);
    QPainter g(&image);
    g.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bg(0, 0, 0, 60);
    bg.setColorAt(0, QColor(28, 72, 130));
    bg.setColorAt(1, QColor(16, 44, 86));
    g.fillRect(image.rect(), bg);
    QFont small;
    small.setPixelSize(10);
    QFont bold = small;
    bold.setBold(true);
    for (int i = 0; i < 3; ++i) {
        const int cx = 22 + i * 80;
        const bool lit = i + 1 == p.step;
        const bool done = i + 1 < p.step;
        if (i < 2) {
            g.setPen(QPen(QColor(120, 150, 190), 2));
            g.drawLine(cx + 56, 16, cx + 68, 16);
        }
        g.setPen(Qt::NoPen);
        g.setBrush(lit ? QColor(255, 196, 40) : done ? QColor(90, 180, 110) : QColor(80, 105, 140));
        g.drawEllipse(QPoint(cx, 16), 10, 10);
        g.setFont(bold);
        g.setPen(lit ? QColor(30, 30, 30) : Qt::white);
        g.drawText(QRect(cx - 10, 6, 20, 20), Qt::AlignCenter, QString::number(i + 1));
        g.setFont(small);
        g.setPen(lit ? QColor(255, 220, 120) : QColor(200, 215, 235));
        g.drawText(QRect(cx + 13, 9, 42, 14), Qt::AlignLeft | Qt::AlignVCenter, kStepNames[i]);
    }
    QFont caption;
    caption.setBold(true);
    // The largest size at which the caption fits the strip.
    for (int size = 12; size >= 8; --size) {
        caption.setPixelSize(size);
        if (QFontMetrics(caption).horizontalAdvance(p.caption) <= 226) break;
    }
    g.setFont(caption);
    g.setPen(Qt::white);
    g.drawText(QRect(6, 34, 228, 22), Qt::AlignCenter, p.caption);
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.exists() && !QDir().mkpath(folder.path())) return 1;
    for (const Picture& p : kPictures) {
        if (!Draw(p).save(folder.filePath(p.file), "BMP")) {
            std::fprintf(stderr, "cannot write %s\n", p.file);
            return 1;
        }
    }
    return 0;
}
