// Viewing a file from the list and the compressed-file marking dialog.
#include "CommandsFixture.h"
#include "recovery/CompressedMarking.h"
#include "recovery/FileViewer.h"

namespace cmdtest {
namespace {

TEST_F(CommandsTest, ViewingCopiesTheFileAndOffersAProgramWhenNoneIsAssociated) {
    Browse();
    S().tempFolder = dir.File("temp");
    std::vector<std::string> opens, choices;
    recovery::OpenResult answer = recovery::OpenResult::NoAssociation;
    window->Commands().openFile = [&](const std::string& path) {
        opens.push_back(path);
        return answer;
    };
    window->Commands().openWith = [&](const std::string& path) { choices.push_back(path); };

    QTreeWidgetItem* row = Row("README.TXT");
    ASSERT_NE(row, nullptr);
    const QRect r = P().detailsList->visualItemRect(row);
    QTest::mouseDClick(P().detailsList->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(choices, opens);  // no association: the choice of program for the same copy
    const std::string copy = opens[0];
    EXPECT_EQ(std::filesystem::path(copy).filename(), "README.TXT");
    for (const auto& m : image.manifest)
        if (m.path == "README.TXT") {
            const std::string bytes = testutil::ReadFile(copy);
            EXPECT_EQ(nwimage::Sha256Hex(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), m.sha256);
        }

    // With an association the copy is opened and nothing else is offered;
    // a second view overwrites the first copy.
    answer = recovery::OpenResult::Opened;
    testutil::WriteFile(copy, "stale");
    QTest::mouseDClick(P().detailsList->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_EQ(choices.size(), 1u);
    EXPECT_EQ(std::filesystem::file_size(copy), 100u);
}

TEST_F(CommandsTest, MarkingDialogRunsThePassAndClosesWhenDone) {
    auto markAction = [this] {
        for (QAction* a : window->findChildren<QAction*>())
            if (a->text() == "&Mark Compressed Files") return a;
        return static_cast<QAction*>(nullptr);
    };
    Open({{WriteImage(uitest::SmallDisk()), ""}});
    ASSERT_NE(markAction(), nullptr);
    // Before the browsing step the command does nothing.
    markAction()->trigger();
    EXPECT_EQ(Shown("markingDialog"), 0);
    window.reset();

    Browse();
    QAction* mark = markAction();
    QTimer::singleShot(0, [] {
        QWidget* d = nullptr;
        EXPECT_TRUE(WaitFor([&] {
            d = QApplication::activeModalWidget();
            return d && d->objectName() == "markingDialog";
        }));
        if (!d) return;
        QPushButton* close = nullptr;
        for (QPushButton* b : d->findChildren<QPushButton*>())
            if (b->text() == "&Close") close = b;
        ASSERT_NE(close, nullptr);
        EXPECT_TRUE(WaitFor([&] { return close->isEnabled(); }));
        EXPECT_EQ(d->findChild<QLabel*>("markingStatus")->text().toStdString(), recovery::kMarkingCompletedText);
        QTest::mouseClick(close, Qt::LeftButton);
    });
    mark->trigger();
    EXPECT_EQ(Shown("markingDialog"), 1);
    // The dialog has gone, and with it its worker.
    EXPECT_EQ(window->findChild<QDialog*>("markingDialog"), nullptr);
}

}  // namespace
}  // namespace cmdtest
