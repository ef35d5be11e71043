// The one escaper of names in records, messages and reports.
#include <gtest/gtest.h>

#include <string>

#include "base/Escape.h"

namespace {

TEST(EscapeControls, ControlBytesAreEscapedAndTextIsKept) {
    using base::EscapeControls;
    // C0, DEL and the backslash.
    EXPECT_EQ(EscapeControls(std::string("a\tb\nc\rd\x1B" "e\x7F" "f\\g\0h", 15), true),
              "a\\tb\\nc\\rd\\x1Be\\x7Ff\\\\g\\x00h");
    EXPECT_EQ(EscapeControls("f\\g", false), "f\\g");
    // Lone bytes 0x80..0x9F (a terminal's CSI 0x9B) are escaped; other lone
    // high bytes (a code page's letters) stay.
    EXPECT_EQ(EscapeControls("\x9B" "31m\x80\x9F\xA0\xE9\xFF", true), "\\x9B31m\\x80\\x9F\xA0\xE9\xFF");
    // Valid UTF-8 stays whole, also where its bytes fall in 0x80..0x9F.
    EXPECT_EQ(EscapeControls("\xC3\x89t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", true),
              "\xC3\x89t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80");
    // U+009B written in UTF-8 is the same terminal command: both bytes go.
    EXPECT_EQ(EscapeControls("\xC2\x9B" "2J\xC2\xA0", true), "\\xC2\\x9B2J\xC2\xA0");
    // Broken, overlong, surrogate and cut-short sequences are not UTF-8.
    EXPECT_EQ(EscapeControls("\xC3\x28", true), "\xC3(");
    EXPECT_EQ(EscapeControls("\xC0\x9B", true), "\xC0\\x9B");
    EXPECT_EQ(EscapeControls("\xED\xA0\x80", true), "\xED\xA0\\x80");
    EXPECT_EQ(EscapeControls("\xE2\x82", true), "\xE2\\x82");
}

}  // namespace
