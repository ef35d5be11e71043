// The menu commands' numbers, their one-line help texts (the string table
// that the menu balloons show) and where a menu balloon's tip goes beside
// the highlighted item.
#pragma once

#include <string>

namespace app {

namespace menu {
inline constexpr int kContents = 32802;
inline constexpr int kUpdate = 32835;
inline constexpr int kSave = 32838;
inline constexpr int kSaveSettings = 32839;
inline constexpr int kSaveLog = 32842;
inline constexpr int kLoadLog = 32843;
inline constexpr int kViewReport = 32844;
inline constexpr int kPrintReport = 32845;
inline constexpr int kEmailReport = 32846;
inline constexpr int kOnline = 32847;
inline constexpr int kEmail = 32848;
inline constexpr int kTelephonic = 32849;
inline constexpr int kDeleteLogs = 32850;
inline constexpr int kShowBalloonHelp = 32851;
inline constexpr int kListView = 32852;
inline constexpr int kListPrint = 32853;
inline constexpr int kListEmail = 32855;
inline constexpr int kMarkCompressed = 32856;
inline constexpr int kDutch = 32857;
inline constexpr int kEnglish = 32858;
inline constexpr int kFrench = 32859;
inline constexpr int kGerman = 32860;
inline constexpr int kOpenImage = 32870;
inline constexpr int kAbout = 40003;
inline constexpr int kExit = 57665;
}  // namespace menu

// The help text of a menu command (at most 255 bytes); empty for a number
// without an entry.
std::string MenuHelpText(int menuId);

struct BalloonPoint {
    int x = 0;
    int y = 0;
};

// Where the balloon's tip goes for the item whose screen rectangle is
// (left, top, right): a fixed offset from the top-left corner for the
// tabled commands, 10 pixels right of the item and 20 below its top
// otherwise.
BalloonPoint MenuBalloonTip(int menuId, int left, int top, int right);

// The command number of a menu item from its text (mnemonic '&' removed,
// surrounding blanks ignored) and the title of the menu it sits in; 0 when
// the item is unknown.
int MenuIdForText(const std::string& itemText, const std::string& menuTitle);

}  // namespace app
