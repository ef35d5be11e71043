// The one escaper of names in records, messages and reports.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/Digests.h"
#include "base/Escape.h"
#include "common/TempDir.h"
#include "records/Dfxml.h"
#include "records/SaveRecords.h"

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

namespace {

// Names in a DFXML report: XML cannot carry control characters or bytes that
// are not UTF-8, so they go through the escaper, and the rest is XML text.
TEST(XmlName, EverythingXmlCannotCarryIsEscapedAndTheRestIsKept) {
    using records::XmlName;
    EXPECT_EQ(XmlName("A&B <C> \"d\" 'e'"), "A&amp;B &lt;C&gt; &quot;d&quot; &apos;e&apos;");
    EXPECT_EQ(XmlName(std::string("t\tn\nz\0b\\", 8)), "t\\tn\\nz\\x00b\\\\");
    // Lone high bytes of a code page, which the record escaper keeps, are
    // escaped here; valid UTF-8 stays, C1 controls and U+FFFE/U+FFFF do not.
    EXPECT_EQ(XmlName("\xE9t\xE9 \xC3\xA9t\xC3\xA9 \xC2\x9B \xEF\xBF\xBF"),
              "\\xE9t\\xE9 \xC3\xA9t\xC3\xA9 \\xC2\\x9B \\xEF\\xBF\\xBF");
}

// A hash list line for names holding a backslash or a newline is written so
// that sha256sum -c finds the file.
TEST(DigestListLine, OddNamesAreWrittenAsTheCheckingToolReadsThem) {
    EXPECT_EQ(records::DigestListLine("ab", "F/G.TXT"), "ab  F/G.TXT\n");
    EXPECT_EQ(records::DigestListLine("ab", "a\\b\nc"), "\\ab  a\\\\b\\nc\n");
    if (std::system("command -v sha256sum >/dev/null 2>&1") != 0) GTEST_SKIP() << "sha256sum is not installed";
    testutil::TempDir dir;
    std::string list;
    for (const std::string name : {"back\\slash", "new\nline", "plain name"}) {
        testutil::WriteFile(dir.File(name), "bytes of " + name);
        base::Digester digester;
        const std::string bytes = "bytes of " + name;
        digester.Update(bytes.data(), bytes.size());
        list += records::DigestListLine(digester.Finish().sha256, name);
    }
    testutil::WriteFile(dir.File("list"), list);
    EXPECT_EQ(std::system(("cd '" + dir.File("") + "' && sha256sum --quiet -c list").c_str()), 0) << list;
}

}  // namespace
