// Balloon-help texts in the user's language.
//
// The translations live in four language files beside the program
// ("DutchA.dat", "EnglishA.dat", "FrenchA.dat", "GermanA.dat"). A text is
// fetched by its message index through Fennock, which keeps the old call
// shape: index, a 256-character output buffer, the language file's path.
//
// Language file format (UTF-8 text, at most 64 KiB):
//
//     TARVINE-LANGUAGE 1            first line, exactly (a UTF-8 BOM may precede it)
//     # a comment                   lines starting with '#' and blank lines are skipped
//     language=Nederlands           optional "name=value" header lines
//     4=Geselecteerde bestanden opslaan
//
// A message line is a decimal index 0..18, '=', and the text to the end of
// the line. In the text "\n" stands for a line break, "\t" for a tab and
// "\\" for a backslash. A repeated index replaces the earlier text. Texts
// longer than 255 bytes are cut at a character boundary.
#pragma once

#include <cstddef>
#include <string>

namespace app {

inline constexpr int kLanguageMessageCount = 19;
inline constexpr std::size_t kLanguageTextBuffer = 256;
inline constexpr std::size_t kLanguageFileMaxBytes = 64 * 1024;
inline constexpr const char* kLanguageFileSignature = "TARVINE-LANGUAGE 1";

// Message indexes of the mode balloons.
inline constexpr int kQuickModeMessage = 0;
inline constexpr int kAdvancedModeMessage = 1;
inline constexpr int kRawModeMessage = 2;

// The four language files, in menu order (Dutch, English, French, German).
inline constexpr const char* kLanguageFiles[4] = {"DutchA.dat", "EnglishA.dat", "FrenchA.dat", "GermanA.dat"};
inline constexpr const char* kEnglishLanguageFile = "EnglishA.dat";

// The English text of a message index (the phrase that the menu texts are
// matched against for indexes 3..18); empty outside 0..18.
const char* BuiltInLanguageText(int index);

// Copies message `index` of the language file at `languageFilePath` into
// `buffer` (256 bytes, zero-terminated). Returns 1 on success; 0 when the
// index is out of range, the file cannot be read or is not a language file,
// or the file has no text for the index. On failure the buffer is left as
// it was, so a caller that primes it with a fallback keeps the fallback.
int Fennock(int index, char* buffer, const char* languageFilePath);

// The text source the balloons use; null stands for a missing source, in
// which case the English texts are shown.
using FennockRoutine = int (*)(int index, char* buffer, const char* languageFilePath);

// Translates a menu help text: every phrase row 3..18 found in `text` is
// looked up in turn into one buffer, so the last matching row decides.
// Without a source, or when no row matches, the text comes back unchanged.
std::string TranslateMenuText(const std::string& text, const std::string& languageFilePath,
                              FennockRoutine source = &Fennock);

// The text of a mode balloon (index 0..2): the language file's text, or the
// English text when the source is missing or has none.
std::string ModeBalloonText(int index, const std::string& languageFilePath, FennockRoutine source = &Fennock);

// Start-up rules for the stored "LngFile" value:
// the menu item to check (index into kLanguageFiles) when the value equals
// one of the four names exactly, otherwise -1;
int CheckedLanguageItem(const std::string& stored);
// and the language file to use: the stored value when it matches one of
// the names without regard to case, otherwise "EnglishA.dat".
std::string LanguageFileForStored(const std::string& stored);

// The full path of a language file in the install folder.
std::string LanguageFilePath(const std::string& installFolder, const std::string& fileName);

}  // namespace app
