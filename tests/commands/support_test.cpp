// The Support, Update and About commands of the menu bar.
#include <QMenuBar>

#include "CommandsFixture.h"
#include "app/SupportContacts.h"
#include "app/SupportDetails.h"

namespace cmdtest {
namespace {

class SupportTest : public CommandsTest {
protected:
    QAction* Command(const QString& menu, const QString& text) {
        for (QAction* top : window->menuBar()->actions())
            if (top->text() == menu && top->menu())
                for (QAction* a : top->menu()->actions())
                    if (a->text() == text) return a;
        ADD_FAILURE() << "no command " << text.toStdString();
        return nullptr;
    }
    void Configure(const char* value, const std::string& text) {
        store->Write(base::kClassesRoot, base::kProductKey, value, text);
    }
};

TEST_F(SupportTest, ContactDetailsAreConfigurableAndChecked) {
    Open({{WriteImage(uitest::SmallDisk()), ""}});
    QAction* online = Command("&Support", "&Online");
    QAction* phone = Command("&Support", "&Telephonic");
    QAction* mail = Command("&Support", "&Email");
    ASSERT_TRUE(online && phone && mail);

    online->trigger();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], app::support::kWebSite);
    // Only web addresses are opened; anything else falls back to the built-in one.
    Configure(app::support::kWebSiteValue, "file:///etc/passwd");
    online->trigger();
    Configure(app::support::kWebSiteValue, "https://help.example.org/tarvine");
    online->trigger();
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened[1], app::support::kWebSite);
    EXPECT_EQ(opened[2], "https://help.example.org/tarvine");

    Configure(app::support::kTelephoneValue, " +1 555 0111 ; +1 555 0112;");
    Configure("SupportMail", "help@example.org");
    phone->trigger();
    mail->trigger();
    ASSERT_TRUE(Settled());
    ASSERT_EQ(modals.seen.size(), 2u);
    EXPECT_EQ(modals.seen[0].title, "Telephonic Support");
    EXPECT_EQ(modals.seen[0].text, "Telephone Numbers : \n+1 555 0111\n+1 555 0112");
    EXPECT_EQ(modals.seen[0].icon, QMessageBox::Information);
    EXPECT_EQ(modals.seen[1].text, "Send email to help@example.org");
}

TEST_F(SupportTest, UpdateAndAbout) {
    Open({{WriteImage(uitest::SmallDisk()), ""}});
    Command("&Maintenance", "&Update")->trigger();
    Command("&Help", "&About...")->trigger();
    ASSERT_TRUE(Settled());
    ASSERT_EQ(modals.seen.size(), 2u);
    EXPECT_EQ(modals.seen[0].title, "Liveupdate");
    EXPECT_EQ(modals.seen[0].text, "Currently This Feature Is Not Available");
    EXPECT_EQ(modals.seen[1].title, "About Tarvine - Novell Netware");
}

}  // namespace
}  // namespace cmdtest
