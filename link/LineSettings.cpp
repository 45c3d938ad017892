#include "LineSettings.h"

#include <charconv>
#include <vector>

namespace zorvel {

namespace {

std::string trimmed(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

std::vector<std::string> splitFields(const std::string& text)
{
    std::vector<std::string> fields;
    std::string::size_type start = 0;
    for (;;) {
        const auto comma = text.find(',', start);
        fields.push_back(trimmed(text.substr(start, comma - start)));
        if (comma == std::string::npos)
            return fields;
        start = comma + 1;
    }
}

std::optional<int> wholeNumber(const std::string& s)
{
    int value = 0;
    const auto* end = s.data() + s.size();
    const auto [ptr, ec] = std::from_chars(s.data(), end, value);
    if (s.empty() || ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<LineSettings> ParseLineSettings(const std::string& text)
{
    const auto fields = splitFields(text);
    if (fields.size() != 4)
        return std::nullopt;

    LineSettings settings;
    const auto baud = wholeNumber(fields[0]);
    if (!baud || *baud < 50 || *baud > 4000000)
        return std::nullopt;
    settings.baud = *baud;

    if (fields[1].size() != 1)
        return std::nullopt;
    switch (fields[1][0]) {
    case 'n': case 'N': settings.parity = LineSettings::Parity::None; break;
    case 'e': case 'E': settings.parity = LineSettings::Parity::Even; break;
    case 'o': case 'O': settings.parity = LineSettings::Parity::Odd; break;
    case 'm': case 'M': settings.parity = LineSettings::Parity::Mark; break;
    case 's': case 'S': settings.parity = LineSettings::Parity::Space; break;
    default: return std::nullopt;
    }

    const auto data = wholeNumber(fields[2]);
    if (!data || *data < 4 || *data > 8)
        return std::nullopt;
    settings.dataBits = *data;

    if (fields[3] == "1")
        settings.stopBits = LineSettings::StopBits::One;
    else if (fields[3] == "1.5")
        settings.stopBits = LineSettings::StopBits::OneAndHalf;
    else if (fields[3] == "2")
        settings.stopBits = LineSettings::StopBits::Two;
    else
        return std::nullopt;
    return settings;
}

} // namespace zorvel
