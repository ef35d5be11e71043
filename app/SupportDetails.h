// The maker's contact details for the Support commands, configurable in the
// settings store under the product key ("SupportWeb", "SupportMail",
// "SupportTelephone"); the built-in values stand in when none is set or a
// value cannot be used.
#pragma once

#include <QString>

namespace workflow {
class SettingsStore;
}

namespace app::support {

inline constexpr const char* kWebSiteValue = "SupportWeb";
inline constexpr const char* kTelephoneValue = "SupportTelephone";  // numbers separated by ";"

// An http or https address; other schemes are not opened.
QString WebSite(workflow::SettingsStore& store);
QString MailAddress(workflow::SettingsStore& store);
// The telephone numbers, one per line.
QString TelephoneLines(workflow::SettingsStore& store);

}  // namespace app::support
