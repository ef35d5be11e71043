// The program's small pictures, drawn at run time: tree images (1 disk or
// volume, 2 the root, 3 a folder, 7 an open folder), the file-type images
// of the details list (numbered as the file-type table numbers them), the
// tool-button pictures and the window icon.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace app::icons {

QIcon TreeImage(int image);      // with its selected look where it has one
QIcon ListImage(int image);      // 16-pixel file-type images
enum class Tool { SaveData, LoadLog, SaveLog, Exit, Help };
QIcon ToolImage(Tool tool);
QIcon WindowIcon();

}  // namespace app::icons
