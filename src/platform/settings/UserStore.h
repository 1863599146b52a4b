// The per-user store: one string value per key path, kept by QSettings under the organisation
// "MORVALEN" and the application "Orvantis" (on Windows the registry key
// HKEY_CURRENT_USER\Software\MORVALEN\Orvantis).
#pragma once

#include <string>

namespace orv {

enum class RegRoot { CurrentUser };

inline constexpr const char* kRegKeyPath = "Software\\MORVALEN\\Orvantis";
inline constexpr const char* kRegSelPath = "SelPath";

// Text of the value (UTF-8) up to its first NUL; empty when nothing is stored, or the value is
// longer than 1024 bytes. Creates nothing.
std::string RegReadString(RegRoot root, const std::string& keyPath, const std::string& valueName);

// Stores the value; true on success.
bool RegWriteString(RegRoot root, const std::string& keyPath, const std::string& valueName, const std::string& value);

} // namespace orv
