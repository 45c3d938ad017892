#pragma once
// `zorvel --outbox`: the outgoing messages of a folder's store, newest first, as text for
// a terminal. Reads the file only, beside a gateway running on it; never shows a text.
#include <cstdint>
#include <string>

#include "PendingReport.h"

namespace zorvel {

// Times in local time; a queued message's next try not after `nowMs` shows as "now".
PendingListing ListOutbox(const std::string& folder, std::int64_t nowMs);

} // namespace zorvel
