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

TEST_F(CommandsTest, MarkingWithNothingToMarkSaysSoAndWritesNothing) {
    Browse();
    QAction* mark = nullptr;
    for (QAction* a : window->findChildren<QAction*>())
        if (a->text() == "&Mark Compressed Files") mark = a;
    ASSERT_NE(mark, nullptr);
    const std::string before = testutil::ReadFile(dir.File("disk.img"));
    mark->trigger();
    ASSERT_EQ(modals.seen.size(), 1u);
    EXPECT_EQ(modals.seen[0].text, "No file needs the compressed mark: nothing was written.");
    EXPECT_EQ(Shown("markingDialog"), 1);  // it looked, on its worker, and closed
    EXPECT_EQ(testutil::ReadFile(dir.File("disk.img")), before);
}

}  // namespace
}  // namespace cmdtest
