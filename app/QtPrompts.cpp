#include "app/QtPrompts.h"

#include "app/BadSectorDialog.h"
#include "app/FatChoiceDialog.h"
#include "app/UiThread.h"

namespace app {

std::int32_t QtBadSectorPrompt::Ask() {
    QWidget* owner = owner_.data();
    if (!owner) return disk::kSkip;
    bool ran = false;
    const int answer = Call(owner, [&]() {
        ran = true;
        BadSectorDialog dialog(owner);
        return dialog.Ask();
    });
    return ran ? answer : disk::kSkip;
}

int QtFatChoicePrompt::Choose(std::uint32_t fat1Length, std::uint32_t fat2Length) {
    QWidget* owner = owner_.data();
    if (!owner) return 0;
    return Call(owner, [&]() {
        FatChoiceDialog dialog(fat1Length, fat2Length, owner);
        return dialog.Ask();
    });
}

}  // namespace app
