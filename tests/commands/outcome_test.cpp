// What the user is told when work ends or must ask: the raw scan's summary
// with its rows kept, the marking's confirmation and count, and the
// bad-sector question beside "Saving", naming the sector and the file.
#include <QLabel>

#include "CommandsFixture.h"
#include "app/RawPanelWidget.h"
#include "raw/RawScan.h"

namespace cmdtest {
namespace {

TEST_F(CommandsTest, RawScanEndsWithASummaryAndKeepsItsRows) {
    nwimage::DiskSpec desc;
    desc.totalSectors = 2000;
    nwimage::DocumentSpec doc;
    doc.sector = 100;
    desc.documents.push_back(doc);
    Open({{WriteImage(desc), ""}});
    ChooseDiskAndMode(workflow::kModeRaw);
    QTest::mouseClick(P().nextButton, Qt::LeftButton);
    P().fileTypeList->topLevelItem(0)->setCheckState(0, Qt::Checked);
    const std::string out = dir.File("raw");
    modals.Queue(TypeFolder(out));
    QStringList figures;
    modals.Queue([&figures](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w)) figures = box->informativeText().split('\n');
        Modals::Press("Open &Folder")(w);
    });
    QTest::mouseClick(P().startRecoveryButton, Qt::LeftButton);
    ASSERT_TRUE(Settled());
    ASSERT_TRUE(WaitFor([&] { return !window->Commands().RawPanel()->Scanning() && !modals.Pending(); }));
    ASSERT_EQ(modals.seen.size(), 2u);
    EXPECT_EQ(modals.seen[1].text, "Raw recovery finished");
    ASSERT_EQ(figures.size(), 6);
    EXPECT_EQ(figures[0], "Documents recovered: 1");
    EXPECT_EQ(figures[1], "Microsoft Word File(s) (.DOC): 1");
    EXPECT_EQ(figures[2], "Incomplete documents: 0");
    EXPECT_EQ(figures[3], "Not written (failed): 0");
    EXPECT_EQ(figures[4], "Unreadable sectors skipped: 0");
    EXPECT_EQ(opened, std::vector<std::string>{out});
    ASSERT_EQ(P().filesRecoveredList->topLevelItemCount(), 1);
    EXPECT_NE(P().filesRecoveredList->topLevelItem(0)->text(0).indexOf("1"), -1);
}

TEST_F(CommandsTest, MarkingAsksWithTheFilesFirstAndCountsWhatItMarked) {
    nwimage::DiskSpec desc = uitest::SmallDisk();
    nwimage::EntrySpec packed;
    packed.name = "PACKED.DAT";
    packed.size = 20000;
    packed.compression = nwimage::Compression::Unmarked;
    desc.partitions[0].volumes[0].entries.push_back(packed);
    Browse(desc);
    QAction* mark = nullptr;
    for (QAction* a : window->findChildren<QAction*>())
        if (a->text() == "&Mark Compressed Files") mark = a;
    ASSERT_NE(mark, nullptr);
    ASSERT_TRUE(mark->isEnabled());

    // No leaves the disk as it was.
    const std::string before = testutil::ReadFile(dir.File("disk.img"));
    modals.Queue(Modals::Click(QMessageBox::No));
    mark->trigger();
    EXPECT_EQ(testutil::ReadFile(dir.File("disk.img")), before);
    ASSERT_EQ(modals.seen.size(), 1u);
    EXPECT_EQ(modals.seen[0].text,
              "1 file(s) hold compressed data without the compressed mark:\n\nPACKED.DAT\n\n"
              "Write the mark into both directory copies on the source disk?");
    EXPECT_EQ(Shown("markingDialog"), 1);
    EXPECT_TRUE(QApplication::activeModalWidget() == nullptr);

    QString count;
    auto watchDialog = [&count] {
        QWidget* d = nullptr;
        ASSERT_TRUE(WaitFor([&] {
            d = QApplication::activeModalWidget();
            return d && d->objectName() == "markingDialog";
        }));
        auto* label = d->findChild<QLabel*>("markingCount");
        ASSERT_TRUE(WaitFor([&] { return !label->text().isEmpty(); }));
        count = label->text();
        static_cast<QDialog*>(d)->accept();
    };
    modals.Queue([watchDialog](QWidget* w) {
        Modals::Click(QMessageBox::Yes)(w);
        QTimer::singleShot(0, watchDialog);
    });
    mark->trigger();
    EXPECT_EQ(Shown("markingDialog"), 2);
    EXPECT_EQ(count, "Files marked: 1 of 1");
}

TEST_F(CommandsTest, BadSectorQuestionSitsBesideSavingAndNamesSectorAndFile) {
    nwimage::DiskSpec desc = uitest::SmallDisk();
    nwimage::BadArea bad;
    bad.target = nwimage::BadArea::Target::FileData;
    bad.entry = 2;  // REPORT.DOC
    desc.bad.push_back(bad);
    Browse(desc, true);
    CheckRoot();
    S().policy.BadSectorDecision = disk::kRetry;  // ask
    QString where;
    bool apart = false;
    SaveTreeInto(dir.File("out"), {[&](QWidget* w) {
                     EXPECT_EQ(w->objectName(), "badSectorDialog");
                     if (auto* label = w->findChild<QLabel*>("badSectorWhere")) where = label->text();
                     for (QWidget* top : QApplication::topLevelWidgets())
                         if (top->objectName() == "savingDialog" && top->isVisible())
                             apart = !top->frameGeometry().intersects(w->frameGeometry());
                     Modals::Press("Skip")(w);
                 }});
    EXPECT_TRUE(where.startsWith("Sector ")) << where.toStdString();
    EXPECT_TRUE(where.endsWith(" of disk.img, reading REPORT.DOC")) << where.toStdString();
    EXPECT_TRUE(apart);
}

}  // namespace
}  // namespace cmdtest
