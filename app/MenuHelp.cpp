#include "app/MenuHelp.h"

#include <cstddef>

namespace app {

namespace {

struct HelpEntry {
    int id;
    const char* text;
};

const HelpEntry kHelp[] = {
    {menu::kContents, "Open the Tarvine help"},
    {menu::kUpdate, "Update Tarvine\n"},
    {menu::kSave, "Save files that have been selected \n"},
    {menu::kSaveSettings, "Set the options for saving selected data\n"},
    {menu::kSaveLog, "Save the recovery information\n"},
    {menu::kLoadLog, "Load the recovery information\n"},
    {menu::kViewReport, "View the recovery details\n"},
    {menu::kPrintReport, "Print the recovery details\n"},
    {menu::kEmailReport, "Email the recovery details\n"},
    {menu::kOnline, "Online chat support \n(only for Kelmora's Data Recovery Centers)"},
    {menu::kEmail, "Support through email"},
    {menu::kTelephonic, "Support through telephone"},
    {menu::kDeleteLogs, "Delete all recovery logs"},
    {menu::kShowBalloonHelp, "Show (or) Hide Balloon Help"},
    {menu::kListView, "View Directory Information"},
    {menu::kListPrint, "Print Directory Information"},
    {menu::kListEmail, "Email Directory Information"},
    {menu::kMarkCompressed, "Mark Compressed Files\n"},
    {menu::kDutch, "Balloon help in Dutch"},
    {menu::kEnglish, "Balloon help in English"},
    {menu::kFrench, "Balloon help in French"},
    {menu::kGerman, "Balloon help in German"},
    {menu::kOpenImage, "Use a disk image file as a disk"},
    {menu::kAbout, "About Tarvine"},
    {menu::kExit, "Quit from Tarvine\n"},
};

struct Offset {
    int id;
    int dx;
    int dy;
};

const Offset kOffsets[] = {
    {menu::kContents, 280, 10},     {menu::kUpdate, 150, 8},        {menu::kSaveLog, 210, 40},
    {menu::kLoadLog, 210, 45},      {menu::kViewReport, 210, 30},   {menu::kPrintReport, 230, 35},
    {menu::kEmailReport, 231, 37},  {menu::kOnline, 210, 10},       {menu::kEmail, 210, 20},
    {menu::kTelephonic, 210, 22},   {menu::kDeleteLogs, 231, 38},   {menu::kShowBalloonHelp, 280, 12},
    {menu::kListView, 210, 40},     {menu::kListPrint, 210, 50},    {menu::kListEmail, 210, 40},
    {menu::kMarkCompressed, 140, 10}, {menu::kDutch, 380, 60},      {menu::kEnglish, 380, 65},
    {menu::kFrench, 380, 68},       {menu::kGerman, 380, 70},       {menu::kAbout, 310, 15},
    {menu::kExit, 140, 15},
};

struct Named {
    const char* menuTitle;  // null: any menu
    const char* text;
    int id;
};

const Named kNames[] = {
    {nullptr, "Contents", menu::kContents},
    {nullptr, "Update", menu::kUpdate},
    {nullptr, "Save", menu::kSave},
    {nullptr, "Save Settings", menu::kSaveSettings},
    {nullptr, "Save Log", menu::kSaveLog},
    {nullptr, "Load Log", menu::kLoadLog},
    {nullptr, "View Report", menu::kViewReport},
    {nullptr, "Print report", menu::kPrintReport},
    {nullptr, "Print Report", menu::kPrintReport},
    {nullptr, "Email Report", menu::kEmailReport},
    {nullptr, "Online", menu::kOnline},
    {"Support", "Email", menu::kEmail},
    {nullptr, "Telephonic", menu::kTelephonic},
    {nullptr, "Delete all recovery logs", menu::kDeleteLogs},
    {nullptr, "Show Balloon Help", menu::kShowBalloonHelp},
    {"Directory List", "View", menu::kListView},
    {"Directory List", "Print", menu::kListPrint},
    {nullptr, "Email List", menu::kListEmail},
    {nullptr, "Mark Compressed Files", menu::kMarkCompressed},
    {nullptr, "Dutch", menu::kDutch},
    {nullptr, "English", menu::kEnglish},
    {nullptr, "French", menu::kFrench},
    {nullptr, "German", menu::kGerman},
    {nullptr, "Open Disk Image...", menu::kOpenImage},
    {nullptr, "About...", menu::kAbout},
    {nullptr, "Exit", menu::kExit},
};

// Drops the mnemonic markers ("&&" stays one '&') and surrounding blanks.
std::string Plain(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') out += text[++i];
            continue;
        }
        out += text[i];
    }
    const std::size_t b = out.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    const std::size_t e = out.find_last_not_of(" \t");
    return out.substr(b, e - b + 1);
}

}  // namespace

std::string MenuHelpText(int menuId) {
    for (const HelpEntry& e : kHelp)
        if (e.id == menuId) return e.text;
    return {};
}

BalloonPoint MenuBalloonTip(int menuId, int left, int top, int right) {
    for (const Offset& o : kOffsets)
        if (o.id == menuId) return {left + o.dx, top + o.dy};
    return {right + 10, top + 20};
}

int MenuIdForText(const std::string& itemText, const std::string& menuTitle) {
    const std::string text = Plain(itemText);
    const std::string title = Plain(menuTitle);
    for (const Named& n : kNames)
        if (text == n.text && (!n.menuTitle || title == n.menuTitle)) return n.id;
    return 0;
}

}  // namespace app
