#include "PortNumber.h"

#include <algorithm>
#include <limits>
#include <string_view>

namespace zorvel {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

} // namespace

std::optional<std::int16_t> ParsePortNumber(const std::string& text)
{
    std::string_view t = text;
    while (!t.empty() && IsBlank(t.front()))
        t.remove_prefix(1);
    while (!t.empty() && IsBlank(t.back()))
        t.remove_suffix(1);

    const bool negative = !t.empty() && t.front() == '-';
    if (!t.empty() && (t.front() == '-' || t.front() == '+'))
        t.remove_prefix(1);

    // Any magnitude above this is out of range whatever the fraction; capping it
    // keeps a long run of digits from overflowing.
    constexpr std::int32_t cap = 100000;
    std::int32_t magnitude = 0;
    std::size_t i = 0;
    for (; i < t.size() && IsDigit(t[i]); ++i)
        magnitude = std::min(cap, magnitude * 10 + (t[i] - '0'));
    if (i == 0)
        return std::nullopt;

    if (i < t.size() && t[i] == '.') {
        const std::size_t first = ++i;
        bool restNonZero = false;
        for (; i < t.size() && IsDigit(t[i]); ++i)
            if (i > first && t[i] != '0')
                restNonZero = true;
        if (i == first)
            return std::nullopt;
        // Decide on the decimal digits themselves: no binary rounding error at .5.
        const int firstDigit = t[first] - '0';
        const bool above = firstDigit > 5 || (firstDigit == 5 && restNonZero);
        const bool half = firstDigit == 5 && !restNonZero;
        if (above || (half && magnitude % 2 != 0))
            ++magnitude;
    }
    if (i != t.size())
        return std::nullopt;

    const std::int32_t value = negative ? -magnitude : magnitude;
    if (value < std::numeric_limits<std::int16_t>::min() || value > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(value);
}

} // namespace zorvel
