// "Open as Folder": greyed away from the browse step; on it, the volume is
// mounted at a private folder handed to the file manager, and the mount
// ends when the window leaves the step.
#include <sys/stat.h>

#include <QAction>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "UiFixture.h"
#include "app/FolderMount.h"
#include "mountfs/FuseServer.h"

namespace uitest {
namespace {

bool IsMountPoint(const std::string& path) {
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, dev, root, point;
        fields >> id >> parent >> dev >> root >> point;
        if (point == path) return true;
    }
    return false;
}

TEST_F(WindowTest, OpenAsFolderMountsTheVolumeWhileItIsBrowsed) {
    Open({{WriteImage(SmallDisk()), ""}});
    QAction* action = nullptr;
    for (QAction* a : window->findChildren<QAction*>())
        if (a->text() == app::kOpenAsFolderText) action = a;
    ASSERT_NE(action, nullptr);
    EXPECT_FALSE(action->isEnabled());  // no volume open yet

    ASSERT_TRUE(BrowseSys());
    if (const std::string why = mountfs::FuseUnavailableReason(); !why.empty()) {
        EXPECT_FALSE(action->isEnabled());
        EXPECT_NE(action->statusTip().toStdString().find(why), std::string::npos);
        GTEST_SKIP() << why;
    }
    ASSERT_TRUE(action->isEnabled());
    action->trigger();
    ASSERT_TRUE(WaitFor([&] { return !opened.empty() || !modals.seen.empty(); }));
    if (opened.empty()) GTEST_SKIP() << "a trial mount failed: " << modals.seen.front().text.toStdString();
    const std::string folder = opened.back();
    struct stat st{};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);  // the mount's root; its folder is private (mkdtemp)
    EXPECT_TRUE(IsMountPoint(folder));
    EXPECT_TRUE(std::filesystem::is_directory(folder + "/PUBLIC"));

    // Back to the volume list: the mount ends and its folder goes.
    QTest::mouseClick(P().backButton, Qt::LeftButton);
    ASSERT_TRUE(AtStep(1));
    EXPECT_FALSE(IsMountPoint(folder));
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_FALSE(action->isEnabled());
}

}  // namespace
}  // namespace uitest
