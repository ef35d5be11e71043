// The window's name-space parts: the "Name Spaces" choice and an entry's
// details (every name, dates by name, IDs, trustees, Unix and Mac facts).
#include <QComboBox>
#include <QCheckBox>

#include "UiFixture.h"
#include "app/EntryDetailsDialog.h"
#include "app/NameSpaceDialog.h"
#include "common/VolumeTestHelpers.h"
#include "netware/Mount.h"
#include "netware/NameSpaces.h"
#include "tools/nwimage/Description.h"

namespace uitest {
namespace {

TEST_F(WindowTest, EntryDetailsShowEveryNameAndTheDatesOfTheRecord) {
    Open({{WriteImage(nwimage::ParseDescription(R"(disk seed=33
partition first=63 count=40000
volume MACVOL spb=8 blocks=4000 namespaces=dos,mac,nfs,long
file REPORT.DOC long="Quarterly Report.doc" mac="Report" nfs="report.doc" size=100 finder=WDBNMSWD time=2007-01-02 modified=2007-04-03T12:30:00 accessed=2007-06-01 mode=640
)")),
           ""}});
    workflow::Session& s = S();
    s.mounted.currentVolume = testutil::DescriptorOf(image.volumes[0]);
    testutil::RecordingMountReport report;
    ASSERT_TRUE(nw::Mount(s.mounted, s.Reader(), report).mounted);
    ASSERT_EQ(s.mounted.FileList.Size(), 1u);

    app::EntryDetailsDialog dialog(s, s.mounted.FileList[0]);
    while (!dialog.Read()) QCoreApplication::processEvents();  // the worker always ends
    QMap<QString, QString> rows;
    for (const auto& [caption, value] : dialog.Rows()) rows[caption] = value;
    EXPECT_EQ(rows["DOS name"], "REPORT.DOC");
    EXPECT_EQ(rows["MAC name"], "Report");
    EXPECT_EQ(rows["NFS name"], "report.doc");
    EXPECT_EQ(rows["LONG name"], "Quarterly Report.doc");
    EXPECT_EQ(rows["Created"], "2007-01-02 00:00:00");
    EXPECT_EQ(rows["Modified"], "2007-04-03 12:30:00");
    EXPECT_EQ(rows["Accessed"], "2007-06-01");
    EXPECT_EQ(rows["Deleted"], "");
    EXPECT_EQ(rows["Deleter ID"], "00000000");
    EXPECT_EQ(rows["Unix mode"], "0640");
    EXPECT_EQ(rows["Finder type and creator"], "WDBNMSWD");
    EXPECT_TRUE(rows.contains("Trustees"));
}

TEST_F(WindowTest, NameSpacesDialogSetsTheNamesFormsAndOnlyOnApply) {
    recovery::ExtrasSettings extras;
    std::uint8_t preferred = nw::kDefaultNameSpace;
    {
        app::NameSpaceDialog dialog(extras, preferred);
        dialog.findChild<QComboBox*>("nameSpaceNames")->setCurrentIndex(3);  // MAC
        dialog.findChild<QComboBox*>("nameSpaceForks")->setCurrentIndex(1);
        dialog.reject();
    }
    EXPECT_EQ(preferred, nw::kDefaultNameSpace);
    EXPECT_EQ(extras, recovery::ExtrasSettings{});
    app::NameSpaceDialog dialog(extras, preferred);
    dialog.findChild<QComboBox*>("nameSpaceNames")->setCurrentIndex(3);
    dialog.findChild<QComboBox*>("nameSpaceForks")->setCurrentIndex(1);
    dialog.findChild<QComboBox*>("nameSpaceLinks")->setCurrentIndex(1);
    dialog.findChild<QCheckBox*>("nameSpaceOwners")->setChecked(true);
    dialog.accept();
    EXPECT_EQ(preferred, nw::kNameSpaceMac);
    EXPECT_EQ(extras.forks, recovery::ForkForm::None);
    EXPECT_EQ(extras.links, recovery::LinkForm::Copy);
    EXPECT_TRUE(extras.owners);
}

}  // namespace
}  // namespace uitest
