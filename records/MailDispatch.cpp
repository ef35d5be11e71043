#include "records/MailDispatch.h"

#include <sys/stat.h>

#include <cctype>
#include <cstring>
#include <filesystem>

#include "records/SafeFile.h"

namespace records {

namespace {

bool StartsWithIgnoringCase(const std::string& s, const char* prefix) {
    const std::size_t n = std::strlen(prefix);
    if (s.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::toupper(static_cast<unsigned char>(s[i])) != std::toupper(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

bool IsUsableMailAddress(const std::string& address) {
    if (address.empty() || address.size() > 254 || address[0] == '-') return false;
    const std::size_t at = address.find('@');
    if (at == std::string::npos || at == 0 || at + 1 == address.size() || address.find('@', at + 1) != std::string::npos)
        return false;
    for (unsigned char c : address) {
        if (c <= 0x20 || c >= 0x7F) return false;
        if (std::strchr("?&%,;:<>\"\\()[]", c)) return false;
    }
    return true;
}

std::string SupportAddress(const std::string& configured) {
    return IsUsableMailAddress(configured) ? configured : std::string(kDefaultSupportAddress);
}

std::string SupportRecipient(const std::string& configured) {
    return std::string(kRecipientPrefix) + SupportAddress(configured);
}

int MailSystem::Load() {
    helperPath_ = FindOnPath(kMailHelperName);
    return helperPath_.empty() ? kMailLibraryMissing : kMailSystemReady;
}

bool MailSystem::Logon() {
    if (helperPath_.empty()) return false;
    logonHandle_ = ++logonCounter_;
    return true;
}

std::vector<std::string> MailHandOffArguments(const std::string& recipient, const std::string& attachmentPath,
                                              const std::string& subject, const std::string& text) {
    std::string address = recipient;
    if (StartsWithIgnoringCase(address, kRecipientPrefix)) address.erase(0, std::strlen(kRecipientPrefix));
    if (!IsUsableMailAddress(address)) address = kDefaultSupportAddress;
    std::error_code ec;
    std::string attachment = std::filesystem::absolute(attachmentPath, ec).string();
    if (ec) attachment = attachmentPath;
    return {kMailHelperName, "--subject", subject, "--body", text, "--attach", attachment, "mailto:" + address};
}

std::uint32_t MailSystem::Send(const std::string& recipient, const std::string& attachmentPath,
                               const std::string& subject, const std::string& text, int* status) const {
    std::vector<std::string> argv = MailHandOffArguments(recipient, attachmentPath, subject, text);
    if (!helperPath_.empty()) argv[0] = helperPath_;
    const int exitStatus = RunProgram(argv);
    if (status) *status = exitStatus;
    return exitStatus == 0 ? 0u : kMailSendFailed;
}

CommandResult MailFileToSupport(const std::string& attachmentPath, const std::string& subject,
                                const std::string& text, const std::string& supportAddress) {
    CommandResult result;
    result.path = attachmentPath;
    MailSystem mail;
    if (mail.Load() != kMailSystemReady) {
        result.message = kUnableToLoadMailText;
        return result;
    }
    if (!mail.Logon()) return result;
    if (attachmentPath.empty() || !IsRegularFile(attachmentPath)) return result;
    // The client reports its own failures once it has the message; a
    // hand-off that never reached one is the caller's to report.
    int status = 0;
    if (mail.Send(SupportRecipient(supportAddress), attachmentPath, subject, text, &status) != 0) {
        result.handOffStatus = status != 0 ? status : -1;
        return result;
    }
    result.done = true;
    return result;
}

}  // namespace records
