// The directory listing printed to a PDF file, and the report and listing
// commands' hand-off to the desktop.
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>

#include "CommandsFixture.h"
#include "app/ListingPrinter.h"
#include "records/DirectoryListing.h"
#include "records/Reports.h"

namespace cmdtest {
namespace {

bool HavePoppler() { return !QStandardPaths::findExecutable("pdftotext").isEmpty(); }

QString PdfText(const std::string& pdf, int page = 0) {
    QProcess p;
    QStringList args;
    if (page > 0) args << "-f" << QString::number(page) << "-l" << QString::number(page);
    args << "-layout" << QString::fromStdString(pdf) << "-";
    p.start("pdftotext", args);
    p.waitForFinished(30000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

int PdfPages(const std::string& pdf) {
    QProcess p;
    p.start("pdfinfo", {QString::fromStdString(pdf)});
    p.waitForFinished(30000);
    for (const QString& line : QString::fromLocal8Bit(p.readAllStandardOutput()).split('\n'))
        if (line.startsWith("Pages:")) return line.mid(6).trimmed().toInt();
    return -1;
}

void ToPdf(QPrinter& printer, const std::string& path) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(path));
}

TEST_F(CommandsTest, PrintListingGoesToTheChosenPrinter) {
    if (!HavePoppler()) GTEST_SKIP() << "pdftotext and pdfinfo (poppler-utils) are needed";
    Browse();
    const std::string pdf = dir.File("listing.pdf");
    bool landscape = false;
    window->Commands().printerAvailable = [] { return true; };  // the "printer" is a PDF file
    window->Commands().choosePrinter = [&](QPrinter& printer) {
        landscape = printer.pageLayout().orientation() == QPageLayout::Landscape;
        ToPdf(printer, pdf);
        return true;
    };
    P().listPrintAction->trigger();
    ASSERT_TRUE(std::filesystem::exists(pdf));
    EXPECT_TRUE(landscape);
    EXPECT_EQ(PdfPages(pdf), 1);
    const QString text = PdfText(pdf);
    EXPECT_TRUE(text.contains("Tarvine Log")) << text.toStdString();
    EXPECT_TRUE(text.contains("SYS-> PUBLIC")) << text.toStdString();
    EXPECT_TRUE(text.contains("PUBLIC-> DOCS")) << text.toStdString();
    EXPECT_TRUE(text.contains("LOST-> OLD")) << text.toStdString();

    // A cancelled printer dialog prints nothing.
    std::filesystem::remove(pdf);
    window->Commands().choosePrinter = [](QPrinter&) { return false; };
    P().listPrintAction->trigger();
    EXPECT_FALSE(std::filesystem::exists(pdf));
}

TEST(ListingPrinter, LongListingsContinueOnNumberedPages) {
    if (!HavePoppler()) GTEST_SKIP() << "pdftotext and pdfinfo (poppler-utils) are needed";
    testutil::TempDir dir;
    std::vector<std::string> lines;
    for (int i = 0; i < 150; ++i) lines.push_back("FOLDER-> SUB" + std::to_string(i));
    QPrinter printer(QPrinter::HighResolution);
    const std::string pdf = dir.File("long.pdf");
    ToPdf(printer, pdf);
    const int pages = app::PrintListingLines(printer, lines);
    ASSERT_GT(pages, 1);
    EXPECT_EQ(PdfPages(pdf), pages);
    std::string all;
    for (int p = 1; p <= pages; ++p) {
        const QString text = PdfText(pdf, p);
        QStringList rows = text.split('\n', Qt::SkipEmptyParts);
        ASSERT_FALSE(rows.isEmpty());
        // The header line: "Tarvine Log" and the page number at its end.
        EXPECT_TRUE(rows[0].trimmed().startsWith("Tarvine Log")) << rows[0].toStdString();
        EXPECT_TRUE(rows[0].trimmed().endsWith(QString::number(p))) << rows[0].toStdString();
        all += text.toStdString();
    }
    // Every line printed once, in order.
    std::size_t at = 0;
    for (const std::string& line : lines) {
        const std::size_t found = all.find(line + "\n", at);
        ASSERT_NE(found, std::string::npos) << line;
        at = found;
    }
}

TEST_F(CommandsTest, ListingAndReportCommandsNeedTheirFiles) {
    Open({{WriteImage(uitest::SmallDisk()), ""}});
    // The report exists from the start header on: it is opened.
    window->Commands().ViewReport();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], S().activityLog.path);
    std::filesystem::remove(S().activityLog.path);
    window->Commands().ViewReport();
    ASSERT_TRUE(Settled());
    EXPECT_EQ(opened.size(), 1u);
    ASSERT_FALSE(modals.seen.empty());
    EXPECT_EQ(modals.seen.back().text.toStdString(), records::kUnableToFindLogText);

    // Before step 2 the listing commands refuse.
    modals.seen.clear();
    window->Commands().ViewListing();
    ASSERT_TRUE(Settled());
    ASSERT_EQ(modals.seen.size(), 1u);
    EXPECT_EQ(modals.seen[0].text, "Go to step 2 and then use this option");
    EXPECT_EQ(opened.size(), 1u);
}

}  // namespace
}  // namespace cmdtest
