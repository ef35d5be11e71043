// Fixed texts that identify the product.
#pragma once

namespace base {

inline constexpr const char* kProductTitle = "Tarvine For Novell NetWare";
inline constexpr const char* kVersionText = "Version 11.06.07";
inline constexpr const char* kProductKey = "TarvineNovell";
inline constexpr const char* kInstallFolderValue = "FilePath";
inline constexpr const char* kLanguageValue = "LngFile";
inline constexpr const char* kClassesRoot = "HKEY_CLASSES_ROOT";

}  // namespace base
