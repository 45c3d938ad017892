#pragma once
// How long a message the web application refused waits before its next try: its next
// turn after the first failure, then 30 s, doubling up to 10 minutes. The same for
// forwarding straight from the modem and for delivery from the store.
#include <algorithm>
#include <cstdint>

namespace zorvel {

inline std::int64_t RetryWaitMs(int failures)
{
    constexpr std::int64_t firstMs = 30'000;
    constexpr std::int64_t longestMs = 10 * 60'000;
    if (failures < 2)
        return 0;
    std::int64_t wait = firstMs;
    for (int i = 2; i < failures && wait < longestMs; ++i)
        wait *= 2;
    return std::min(wait, longestMs);
}

} // namespace zorvel
