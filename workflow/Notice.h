// What a flow wants the user to see when it ends: one message, with the icon
// the message box shows. Flows return it; the front end shows it (the window
// as a message box captioned with the product title, the command line on
// stderr). The texts themselves are in workflow/Texts.h or in the layer that
// produced them.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace workflow {

struct Notice {
    enum class Icon { Error, Information, Question, Warning };
    std::string text;
    Icon icon = Icon::Error;
};

inline Notice ErrorNotice(std::string text) { return Notice{std::move(text), Notice::Icon::Error}; }
inline Notice InformationNotice(std::string text) { return Notice{std::move(text), Notice::Icon::Information}; }

// A flow's notice, absent when there is nothing to show.
using MaybeNotice = std::optional<Notice>;

}  // namespace workflow
