// The main window's geometry at its default size and the balloon
// languages of its menu: shared by the files that build and lay out the
// window. Internal to app/.
#pragma once

#include <QRect>
#include <QString>

namespace app::mainwindow {

constexpr int kWidth = 860;
constexpr int kCentralHeight = 556;

// Left column, list and bottom line of the central area.
inline const QRect kPicture(5, 44, 240, 60);
inline const QRect kDiskFrame(5, 108, 240, 262);
inline const QRect kDiskTree(13, 128, 224, 234);
inline const QRect kModeFrame(5, 374, 240, 112);
inline const QRect kLeftTree(5, 108, 240, 378);
inline const QRect kDetails(255, 44, 600, 442);
inline const QRect kRawPanel(5, 108, 850, 378);
inline const QRect kVolumeCount(262, 8, 300, 28);
inline const QRect kStatusLine(5, 492, 545, 22);
inline const QRect kProgress(5, 518, 420, 26);
inline const QRect kStop(435, 516, 130, 30);
inline const QRect kBack(655, 516, 95, 30);
inline const QRect kNext(760, 516, 95, 30);
inline const QRect kNextModeText(570, 516, 180, 30);  // left of Next, over the hidden Back
constexpr int kLeftWidth = 240;  // the left column at the default size
constexpr const char* kWindowSizeValue = "WindowSize";

struct Language {
    const char* label;
    const char* file;
};
inline const Language kLanguages[4] = {{"Dutch", "DutchA.dat"}, {"English", "EnglishA.dat"}, {"French", "FrenchA.dat"},
                                {"German", "GermanA.dat"}};

inline QString HelpTip(const char* text) { return QString(text).trimmed(); }


}  // namespace app::mainwindow
