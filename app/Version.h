#pragma once
// The program's version, shown in the window and printed by --version.
#define ZORVEL_VERSION_NUMBER "1.24"

namespace zorvel {

inline constexpr const char* versionNumber = ZORVEL_VERSION_NUMBER;
inline constexpr const char* versionText = "V " ZORVEL_VERSION_NUMBER;

} // namespace zorvel
