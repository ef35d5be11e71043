// Mail dispatch: one file, as an attachment, to the support address through
// the user's mail client. The desktop's mail hand-off (xdg-email) opens the
// client's compose window with recipient, subject, text and attachment
// filled in; the user always reviews and sends the message there.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "records/DirectoryListing.h"

namespace records {

// LoadMailSystem results.
constexpr int kMailSystemReady = 0;
constexpr int kMailLibraryMissing = 2;  // no mail hand-off program
constexpr int kMailEntryMissing = 4;
// SendFileByMail's failure code.
constexpr std::uint32_t kMailSendFailed = 0x80004005u;

inline constexpr const char* kMailHelperName = "xdg-email";
inline constexpr const char* kUnableToLoadMailText = "Unable to Load EmailMessaging SubSystem";
inline constexpr const char* kRecipientPrefix = "SMTP:";
// The support address lives in the settings store under the product key
// (the caller reads it); this value is used when none (or an unusable one)
// is configured.
inline constexpr const char* kSupportAddressValue = "SupportMail";
inline constexpr const char* kDefaultSupportAddress = "support@tarvine.example.com";

inline constexpr const char* kReportMailSubject = "Tarvine Log File";
inline constexpr const char* kReportMailText = "Attachment contains Tarvine Log File";
inline constexpr const char* kListingMailSubject = "Tarvine Folder List";
inline constexpr const char* kListingMailText = "Attachment contains list of folders that can be recovered";

// A plain address: one "@" with text on both sides, none of the characters
// that would change the meaning of a mailto: address (blanks, controls,
// ? & % , ; : < > " \ and a leading "-").
bool IsUsableMailAddress(const std::string& address);
// The configured support address when it is usable, else the default.
std::string SupportAddress(const std::string& configured);
// "SMTP:" + the support address: the recipient's name and address.
std::string SupportRecipient(const std::string& configured);

// The mail hand-off of one mail command: found, logged on, sent.
class MailSystem {
public:
    // 0 when the hand-off program is found on PATH, 2 when it is missing.
    int Load();
    // True when a mail hand-off is available; each logon gets a new handle.
    bool Logon();
    std::uint64_t LogonHandle() const { return logonHandle_; }
    // Hands the message to the mail client for `recipient`. 0 when the
    // hand-off program reports success, kMailSendFailed otherwise. Runs the
    // program directly (no shell) and waits for it.
    // `status` gets the program's exit status.
    std::uint32_t Send(const std::string& recipient, const std::string& attachmentPath, const std::string& subject,
                       const std::string& text, int* status = nullptr) const;

private:
    std::string helperPath_;  // found by the last Load
    std::uint64_t logonCounter_ = 0;
    std::uint64_t logonHandle_ = 0;
};

// The argument vector for the hand-off program (program name first): the
// subject, the text, the attachment as an absolute path, and the recipient
// as a mailto: address (the "SMTP:" prefix names the address type, which the
// mailto: form says itself).
std::vector<std::string> MailHandOffArguments(const std::string& recipient, const std::string& attachmentPath,
                                              const std::string& subject, const std::string& text);

// The sequence both mail commands use: load the mail system (else the
// message "Unable to Load EmailMessaging SubSystem"), log on (else stop
// silently), stop silently when the file does not exist, send to the
// support address (`supportAddress` when usable). done when the message was
// handed on; a hand-off program that ends with a failure leaves done false
// and its exit status in handOffStatus.
CommandResult MailFileToSupport(const std::string& attachmentPath, const std::string& subject,
                                const std::string& text, const std::string& supportAddress);

}  // namespace records
