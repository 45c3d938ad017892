#pragma once
// What the --pending and --outbox listings share: columns for a terminal, and times.
#include <cstdint>
#include <string>
#include <vector>

namespace zorvel {

using ListingRow = std::vector<std::string>;

// Columns two spaces apart, a line a row; every cell printable ASCII by now.
std::string ListingTable(const std::vector<ListingRow>& rows);

// "2026-05-28 20:26:40" in local time.
std::string ListingTime(std::int64_t ms);

} // namespace zorvel
