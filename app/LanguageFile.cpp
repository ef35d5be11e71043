#include "app/LanguageFile.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>

namespace app {

namespace {

const char* const kEnglish[kLanguageMessageCount] = {
    "This mode quickly analyses the disk and displays the files.",
    "Use this mode when Quick Mode fails to recover files",
    "Use this mode when above modes fails to recover files",
    "Select all files",
    "Save files that have been",
    "Set the options for saving",
    "Save the recovery information",
    "Load the recovery information",
    "Quit from Tarvine",
    "Update Tarvine",
    "View the recovery details",
    "Print the recovery details",
    "Print the recovery details",
    "Delete all recovery logs",
    "View Directory Information",
    "Print Directory Information",
    "Online chat support \n(only for Kelmora's Data Recovery Centers)",
    "Support through email",
    "About Tarvine",
};

constexpr int kFirstPhraseRow = 3;

bool EqualNoCase(const std::string& a, const char* b) {
    const std::size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Reads the whole file when it is a language file of acceptable size.
bool ReadLanguageFile(const char* path, std::string& content) {
    if (!path || !*path) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    content.assign(kLanguageFileMaxBytes + 1, '\0');
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got > kLanguageFileMaxBytes) return false;  // too large to be one of ours
    content.resize(got);
    return true;
}

std::string Unescape(const std::string& raw) {
    std::string out;
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c != '\\' || i + 1 == raw.size()) {
            out += c;
            continue;
        }
        const char e = raw[++i];
        switch (e) {
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case '\\': out += '\\'; break;
            default:
                out += '\\';
                out += e;
                break;
        }
    }
    return out;
}

// Cuts to at most `limit` bytes without splitting a UTF-8 sequence.
void CutToBytes(std::string& text, std::size_t limit) {
    if (text.size() <= limit) return;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
}

// The text of `index` in a language file's content; false when the content
// is not a language file or holds no such message.
bool FindMessage(const std::string& content, int index, std::string& text) {
    std::size_t pos = 0;
    bool first = true;
    bool found = false;
    while (pos <= content.size()) {
        std::size_t end = content.find('\n', pos);
        if (end == std::string::npos) end = content.size();
        std::string line = content.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (first) {
            first = false;
            if (line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
            if (line != kLanguageFileSignature) return false;
            continue;
        }
        if (line.empty() || line[0] == '#') continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0 || eq > 2) continue;  // header or stray line
        int n = 0;
        bool digits = true;
        for (std::size_t i = 0; i < eq; ++i) {
            if (!std::isdigit(static_cast<unsigned char>(line[i]))) {
                digits = false;
                break;
            }
            n = n * 10 + (line[i] - '0');
        }
        if (!digits || n != index) continue;
        text = Unescape(line.substr(eq + 1));
        found = true;  // a later line for the same index replaces this one
    }
    return found;
}

}  // namespace

const char* BuiltInLanguageText(int index) {
    if (index < 0 || index >= kLanguageMessageCount) return "";
    return kEnglish[index];
}

int Fennock(int index, char* buffer, const char* languageFilePath) {
    if (!buffer || index < 0 || index >= kLanguageMessageCount) return 0;
    std::string content;
    if (!ReadLanguageFile(languageFilePath, content)) return 0;
    std::string text;
    if (!FindMessage(content, index, text)) return 0;
    CutToBytes(text, kLanguageTextBuffer - 1);
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return 1;
}

std::string TranslateMenuText(const std::string& text, const std::string& languageFilePath, FennockRoutine source) {
    if (!source) return text;
    char buffer[kLanguageTextBuffer];
    // A row whose lookup fails leaves what the buffer held: the text itself
    // when nothing was found before it.
    const std::size_t n = std::min(text.size(), kLanguageTextBuffer - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    bool matched = false;
    for (int row = kFirstPhraseRow; row < kLanguageMessageCount; ++row) {
        if (text.find(kEnglish[row]) == std::string::npos) continue;
        matched = true;
        source(row, buffer, languageFilePath.c_str());
        buffer[kLanguageTextBuffer - 1] = '\0';
    }
    return matched ? std::string(buffer) : text;
}

std::string ModeBalloonText(int index, const std::string& languageFilePath, FennockRoutine source) {
    if (index < kQuickModeMessage || index > kRawModeMessage) return {};
    char buffer[kLanguageTextBuffer];
    std::strcpy(buffer, kEnglish[index]);
    if (source) {
        source(index, buffer, languageFilePath.c_str());
        buffer[kLanguageTextBuffer - 1] = '\0';
    }
    return buffer;
}

int CheckedLanguageItem(const std::string& stored) {
    for (int i = 0; i < 4; ++i)
        if (stored == kLanguageFiles[i]) return i;
    return -1;
}

std::string LanguageFileForStored(const std::string& stored) {
    for (const char* name : kLanguageFiles)
        if (EqualNoCase(stored, name)) return stored;
    return kEnglishLanguageFile;
}

std::string LanguageFilePath(const std::string& installFolder, const std::string& fileName) {
    return installFolder + "/" + fileName;
}

}  // namespace app
