#include "ListingTable.h"

#include <algorithm>
#include <ctime>

namespace zorvel {

std::string ListingTable(const std::vector<ListingRow>& rows)
{
    std::vector<std::size_t> widths;
    for (const ListingRow& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    }
    std::string text;
    for (const ListingRow& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size())
                line += std::string(widths[i] - row[i].size() + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        text += line + '\n';
    }
    return text;
}

std::string ListingTime(std::int64_t ms)
{
    // Floor division: a time before 1970 (a damaged row) still lands on its second.
    const std::int64_t seconds = ms / 1000 - (ms % 1000 < 0 ? 1 : 0);
    const auto time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    char text[32];
    if (localtime_r(&time, &parts) == nullptr ||
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts) == 0)
        return "@" + std::to_string(ms);
    return text;
}

} // namespace zorvel
