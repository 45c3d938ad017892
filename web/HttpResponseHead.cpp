#include "HttpResponseHead.h"

#include <algorithm>

namespace zorvel {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A header name's characters (a "token").
bool IsTokenChar(char c)
{
    if (IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
        return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

// "HTTP/1.1 200 OK" -> 200; 0 when the line is no HTTP/1.x status line.
int StatusOf(std::string_view line)
{
    if (line.size() < 12 || !line.starts_with("HTTP/1.") || !IsDigit(line[7]) || line[8] != ' ')
        return 0;
    if (!IsDigit(line[9]) || !IsDigit(line[10]) || !IsDigit(line[11]))
        return 0;
    if (line.size() > 12 && line[12] != ' ')
        return 0;
    const int status = (line[9] - '0') * 100 + (line[10] - '0') * 10 + (line[11] - '0');
    return status >= 100 && status <= 599 ? status : 0;
}

bool IsHeaderLine(std::string_view line)
{
    const std::size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos)
        return false;
    return std::all_of(line.begin(), line.begin() + colon, IsTokenChar);
}

} // namespace

ResponseHead ParseResponseHead(std::string_view bytes)
{
    ResponseHead head;
    constexpr std::string_view start = "HTTP/1.";
    const std::size_t known = std::min(bytes.size(), start.size());
    if (bytes.substr(0, known) != start.substr(0, known)) {
        head.outcome = ResponseHead::Outcome::Malformed;
        return head;
    }
    std::size_t pos = 0;
    for (int number = 0;; ++number) {
        const std::size_t lf = bytes.find('\n', pos);
        if (lf == std::string_view::npos)
            return {}; // the line has not ended yet
        std::string_view line = bytes.substr(pos, lf - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        pos = lf + 1;
        bool fine;
        if (number == 0)
            fine = (head.status = StatusOf(line)) != 0;
        else if (line.empty())
            break;
        else if (line.front() == ' ' || line.front() == '\t')
            fine = number > 1; // a folded continuation, never right after the status line
        else
            fine = IsHeaderLine(line);
        // A CR inside a line is no line end: a server could hide a second head behind it.
        if (!fine || line.find('\r') != std::string_view::npos) {
            head.outcome = ResponseHead::Outcome::Malformed;
            head.status = 0;
            return head;
        }
    }
    head.outcome = ResponseHead::Outcome::Complete;
    head.length = pos;
    return head;
}

} // namespace zorvel
