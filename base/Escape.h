// Names from a disk written into text: a control character in a name must not
// break a line of a report or a record of the command line's output, nor
// reach a terminal raw.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace base {

// The length of the valid UTF-8 sequence of two or more bytes that starts at
// `at` (no overlong forms, no surrogates, nothing above U+10FFFF), or 0.
inline std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - at < length) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
    return length;
}

// `text` with tab, newline and carriage return written as \t, \n and \r, any
// other control character as \xHH, and, with `backslash`, each \ doubled so
// that the escapes stay unambiguous. Control characters are the C0 set and
// DEL, a byte 0x80..0x9F that is not part of a valid UTF-8 sequence (a
// terminal takes 0x9B alone as the start of a command), and the C1 set
// written in UTF-8 (U+0080..U+009F, bytes C2 80..C2 9F: both bytes escaped).
// Every other valid UTF-8 sequence, and every other byte, is kept as it is.
inline std::string EscapeControls(std::string_view text, bool backslash) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    const auto hex = [&](unsigned char c) {
        out += "\\x";
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t length = Utf8SequenceLength(text, i);
            if (length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
                hex(c);
                hex(static_cast<unsigned char>(text[i + 1]));
                ++i;
            } else if (length > 0) {
                out.append(text.substr(i, length));
                i += length - 1;
            } else if (c <= 0x9F) {
                hex(c);
            } else {
                out += text[i];
            }
        } else if (c == '\\' && backslash) out += "\\\\";
        else if (c == '\t') out += "\\t";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c < 0x20 || c == 0x7F) hex(c);
        else out += text[i];
    }
    return out;
}

}  // namespace base
