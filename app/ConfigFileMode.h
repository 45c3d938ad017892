#pragma once
// zorvel.ini holds the shared key, and whoever may change it can send every message
// elsewhere; zorvel.sqlite holds the messages not yet delivered. A file that other users
// can read or write, or a folder they can write (and so replace what is in it), gets a
// warning in the log.
#include <string>

namespace zorvel {

// Logs a warning (zorvel.config) when group or others may read or write `path`, which
// holds `what`; nothing when only the owner may, or when the file cannot be looked at.
void WarnIfOpenToOthers(const std::string& path, const char* what = "the key");
// Logs a warning when others may write the folder `path`, which holds `what`.
void WarnIfFolderOpenToOthers(const std::string& path, const char* what);
// Both for the store zorvel.sqlite in `folder` (SQLite gives its -wal and -shm its mode).
void WarnIfStoreOpenToOthers(const std::string& folder);

} // namespace zorvel
