// Names from a disk written into text: a control character in a name must not
// break a line of a report or a record of the command line's output.
#pragma once

#include <string>
#include <string_view>

namespace base {

// `text` with tab, newline and carriage return written as \t, \n and \r, any
// other control character (ESC, DEL, ...) as \xHH, and, with `backslash`,
// each \ doubled so that the escapes stay unambiguous.
inline std::string EscapeControls(std::string_view text, bool backslash) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\' && backslash) out += "\\\\";
        else if (c == '\t') out += "\\t";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += ch;
        }
    }
    return out;
}

}  // namespace base
