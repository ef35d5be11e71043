#include "app/ListingPrinter.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <QPrinter>

#include "base/Identity.h"

namespace app {

int PrintListingLines(QPrinter& printer, const std::vector<std::string>& lines) {
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setDocName(base::kProductTitle);
    // Margins are drawn by hand from the resolution, as on paper.
    printer.setFullPage(true);

    QPainter painter;
    if (!painter.begin(&printer)) return 0;
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    painter.setFont(font);
    const QFontMetrics metrics(font, &printer);
    const int lineHeight = metrics.height();  // character height with its internal leading
    const int dpiX = printer.logicalDpiX();
    const int dpiY = printer.logicalDpiY();
    const int left = dpiX / 2;
    const int top = dpiY / 2;
    const QRect page = printer.pageLayout().fullRectPixels(printer.resolution());
    const int pageHeight = page.height();
    const int pageWidth = page.width();

    int pageNumber = 0;
    int y = top;
    bool pageOpen = false;
    auto startPage = [&] {
        if (pageNumber > 0) printer.newPage();
        ++pageNumber;
        y = top;
        pageOpen = true;
        // Header: "Tarvine Log" on the left, the page number ending at the
        // right margin, a red rule beneath.
        const int headerBase = top - lineHeight * 3 / 2 + metrics.ascent();
        painter.setPen(Qt::black);
        painter.drawText(left, headerBase, "Tarvine Log");
        const QString number = QString::number(pageNumber);
        painter.drawText(pageWidth - left - metrics.horizontalAdvance(number), headerBase, number);
        QPen rule(Qt::red);
        rule.setWidth(std::max(1, dpiX / 100));
        painter.setPen(rule);
        painter.drawLine(left, top - lineHeight / 2, pageWidth - left, top - lineHeight / 2);
        painter.setPen(Qt::black);
    };
    for (const std::string& line : lines) {
        if (!pageOpen || pageHeight - top < y + lineHeight) startPage();
        painter.drawText(left, y + metrics.ascent(), QString::fromLatin1(line.data(), static_cast<int>(line.size())));
        y += lineHeight;
    }
    if (!pageOpen) startPage();  // an empty listing still gives one page
    painter.end();
    return pageNumber;
}

}  // namespace app
