#pragma once
// `zorvel --pending`: what waits in a folder's store, as text for a terminal. Reads the
// file only, beside a gateway running on it; never shows a message's text.
#include <cstdint>
#include <string>

namespace zorvel {

struct PendingListing {
    bool unreadable = false; // damaged, newer, another program's or unreadable: error says so
    std::string output;      // for standard output
    std::string error;       // for standard error, one line
};

// Times in local time; a next try not after `nowMs` shows as "now".
PendingListing ListPending(const std::string& folder, std::int64_t nowMs);

} // namespace zorvel
