#include "Trace.h"

#include <cstdio>

#include "ByteEscape.h"

namespace zorvel::model {

namespace {
constexpr std::size_t keptLines = 120;
constexpr std::size_t longestShown = 700;
} // namespace

Trace::Trace(const Clock& clock) : clock_(clock), startMs_(clock.nowMs()) {}

void Trace::add(std::string_view line)
{
    const std::int64_t ms = clock_.nowMs() - startMs_;
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%7lld.%03lld  ", static_cast<long long>(ms / 1000),
                  static_cast<long long>(ms % 1000));
    lines_.push_back(stamp + std::string(line));
    if (lines_.size() > keptLines)
        lines_.pop_front();
}

std::string Trace::shown(std::string_view bytes)
{
    const std::string escaped = EscapeBytes(bytes);
    if (escaped.size() <= longestShown)
        return '"' + escaped + '"';
    const std::size_t half = longestShown / 2;
    return '"' + escaped.substr(0, half) + "\" ... \"" + escaped.substr(escaped.size() - half) +
           "\" (" + std::to_string(bytes.size()) + " bytes)";
}

void Trace::violation(const std::string& what)
{
    if (broken())
        return;
    violation_ = what;
    snapshot_ = lines();
}

std::string Trace::report() const
{
    if (!broken())
        return {};
    return "RULE BROKEN: " + violation_ + "\nlast events (seconds since the start):\n" + snapshot_;
}

std::string Trace::lines() const
{
    std::string out;
    for (const std::string& line : lines_)
        out += "  " + line + '\n';
    return out;
}

} // namespace zorvel::model
