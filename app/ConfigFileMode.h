#pragma once
// zorvel.ini holds the shared key, and whoever may change it can send every message
// elsewhere: a file that other users can read or write gets a warning in the log.
#include <string>

namespace zorvel {

// Logs a warning (zorvel.config) when group or others may read or write `path`; nothing
// when only the owner may, or when the file cannot be looked at.
void WarnIfOpenToOthers(const std::string& path);

} // namespace zorvel
