#pragma once
// A wait that doubles with each failure in a row, up to a longest one; the first few
// failures may cost no wait at all. Pure, so that every back-off counts alike.
#include <algorithm>
#include <cstdint>

namespace zorvel {

struct DoublingWait {
    std::int64_t firstMs;
    std::int64_t longestMs;
    int freeFailures = 0; // failures in a row that wait for nothing

    // How long to wait after `failures` failures in a row.
    constexpr std::int64_t afterFailures(int failures) const
    {
        if (failures <= freeFailures)
            return 0;
        std::int64_t wait = firstMs;
        for (int i = freeFailures + 1; i < failures && wait < longestMs; ++i)
            wait *= 2;
        return std::min(wait, longestMs);
    }
};

// A message the web application refused: its next turn after the first failure, then
// 30 s, doubling up to 10 minutes; the same straight from the modem and from the store.
inline constexpr DoublingWait messageRetryWait{30'000, 10 * 60'000, 1};
// Delivery, when the server and not the message failed: 1 s, doubling up to a minute.
inline constexpr DoublingWait serverPauseWait{1'000, 60'000};

} // namespace zorvel
