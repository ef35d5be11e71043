#include "records/MailDispatch.h"

#include <sys/stat.h>

#include <atomic>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "app/job/Controls.h"
#include "app/job/Identity.h"
#include "app/job/Settings.h"
#include "records/SafeFile.h"

namespace records {

namespace {

std::mutex gMailMutex;
std::string gHelperPath;  // found by the last LoadMailSystem
std::atomic<std::uint64_t> gLogonCounter{0};
std::atomic<std::uint64_t> gLogonHandle{0};

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

std::string SupportAddress() {
    const std::string configured =
        job::RegistryTextRead(job::kClassesRoot, job::kProductKey, kSupportAddressValue);
    return IsUsableMailAddress(configured) ? configured : std::string(kDefaultSupportAddress);
}

std::string SupportRecipient() { return std::string(kRecipientPrefix) + SupportAddress(); }

int LoadMailSystem() {
    std::string helper = FindOnPath(kMailHelperName);
    std::lock_guard<std::mutex> lock(gMailMutex);
    gHelperPath = helper;
    return helper.empty() ? kMailLibraryMissing : kMailSystemReady;
}

bool MailLogon() {
    {
        std::lock_guard<std::mutex> lock(gMailMutex);
        if (gHelperPath.empty()) return false;
    }
    gLogonHandle = ++gLogonCounter;
    return true;
}

std::uint64_t MailLogonHandle() { return gLogonHandle.load(); }

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

std::uint32_t SendFileByMail(const std::string& attachmentPath, const std::string& subject, const std::string& text) {
    std::vector<std::string> argv = MailHandOffArguments(SupportRecipient(), attachmentPath, subject, text);
    {
        std::lock_guard<std::mutex> lock(gMailMutex);
        if (!gHelperPath.empty()) argv[0] = gHelperPath;
    }
    return RunProgram(argv) == 0 ? 0u : kMailSendFailed;
}

bool MailFileToSupport(const std::string& attachmentPath, const std::string& subject, const std::string& text) {
    if (LoadMailSystem() != kMailSystemReady) {
        job::ShowMessage(kUnableToLoadMailText, job::MessageIcon::Error);
        return false;
    }
    if (!MailLogon()) return false;
    if (attachmentPath.empty() || !IsRegularFile(attachmentPath)) return false;
    SendFileByMail(attachmentPath, subject, text);  // the client reports its own failures
    return true;
}

}  // namespace records
