// The maker's contact details shown by the Support commands and the About box.
#pragma once

namespace app::support {

inline constexpr const char* kWebSite = "https://www.tarvine.example.com/";
inline constexpr const char* kSupportMail = "support@tarvine.example.com";
inline constexpr const char* kTelephoneLines = "+1 555 0100\n+1 555 0199";
inline constexpr const char* kMakerLines =
    "Kelmora Data Recovery\n"
    "Recovery of NetWare traditional volumes\n"
    "Web: www.tarvine.example.com\n"
    "Mail: support@tarvine.example.com\n"
    "Telephone: +1 555 0100";

}  // namespace app::support
