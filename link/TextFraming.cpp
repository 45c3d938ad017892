#include "TextFraming.h"

#include <vector>

#include "InboxDecoder.h"
#include "ReplySettled.h"
#include "ReplyShape.h"

namespace zorvel {

namespace {

bool isDigits(std::string_view field, std::size_t atMost)
{
    return !field.empty() && field.size() <= atMost &&
           field.find_first_not_of("0123456789") == std::string_view::npos;
}

// ",145,23" or ",145,4,0,0,\"+1555000\",145,23": numbers, quoted values and empty places
// after the time stamp, the first a type of address, the last the length.
std::optional<std::size_t> lengthOfParameters(std::string_view rest)
{
    if (rest.size() < 2 || rest.front() != ',')
        return std::nullopt;
    std::string_view first;
    std::string_view last;
    std::size_t fields = 0;
    std::size_t i = 1;
    for (;;) {
        const std::size_t start = i;
        if (i < rest.size() && rest[i] == '"') {
            const std::size_t close = rest.find('"', i + 1);
            if (close == std::string_view::npos)
                return std::nullopt;
            i = close + 1;
        } else {
            while (i < rest.size() && rest[i] >= '0' && rest[i] <= '9')
                ++i;
        }
        last = rest.substr(start, i - start);
        if (fields++ == 0)
            first = last;
        if (i == rest.size())
            break;
        if (rest[i] != ',')
            return std::nullopt;
        ++i;
    }
    // A length of six digits is far beyond any text a modem stores.
    if (fields < 2 || !isDigits(first, 3) || !isDigits(last, 6))
        return std::nullopt;
    return static_cast<std::size_t>(std::stoul(std::string(last)));
}

// A line as ReplyLines gives it: bytes 0..30 (CR among them) dropped.
std::string cleanLine(std::string_view raw)
{
    return ReplyLines(std::string(raw)).front();
}

bool isHeader(const std::string& line)
{
    return IsListHeader(line) || line.starts_with("+CMGR: ");
}

} // namespace

TextHeader SplitTextParameters(const std::string& line)
{
    // The time stamp follows the fourth comma of a list header, the third of a read's.
    int commas = 0;
    if (line.starts_with("+CMGL: "))
        commas = 4;
    else if (line.starts_with("+CMGR: "))
        commas = 3;
    else
        return {line, std::nullopt};
    std::size_t at = 0;
    for (int i = 0; i < commas && at != std::string::npos; ++i)
        at = line.find(',', at == 0 ? 0 : at + 1);
    if (at == std::string::npos)
        return {line, std::nullopt};
    const std::size_t stamp = at + 1;
    std::size_t rest = std::string::npos;
    if (stamp < line.size() && line[stamp] == '"') {
        const std::size_t close = line.find('"', stamp + 1);
        if (close != std::string::npos)
            rest = close + 1;
    } else if (stamp < line.size() && line[stamp] == ',') {
        rest = stamp; // no time stamp: a message stored to be sent
    }
    if (rest == std::string::npos)
        return {line, std::nullopt};
    const std::optional<std::size_t> length = lengthOfParameters(std::string_view(line).substr(rest));
    if (!length)
        return {line, std::nullopt};
    return {line.substr(0, rest), length};
}

namespace {

struct Span {
    std::size_t start;
    std::size_t end; // before the line's LF
};

bool isHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// Where the text that starts at `at` ends: after `length` bytes, or, for a text the
// modem writes as hex digits (UCS-2, 8-bit data) whose length counts octets or
// characters, at the end of its one line of digits. npos when the reply is too short.
std::size_t textEnd(std::string_view reply, std::size_t at, std::size_t length, bool& fits)
{
    fits = true;
    if (reply.size() - at < length + 2)
        return std::string_view::npos;
    if (reply.substr(at + length, 2) == "\r\n")
        return at + length;
    std::size_t end = at;
    while (end < reply.size() && isHex(reply[end]))
        ++end;
    if (end == reply.size())
        return std::string_view::npos;
    fits = end - at >= length && end > at && reply.substr(end, 2) == "\r\n";
    return end;
}

// Walks the reply header by header, each text skipped by its length; `headers` gets
// the header lines it met.
TextFrame walk(std::string_view reply, std::vector<Span>& headers)
{
    std::size_t pos = 0;
    while (pos < reply.size()) {
        const std::size_t lf = reply.find('\n', pos);
        if (lf == std::string_view::npos)
            return TextFrame::Incomplete;
        const std::string line = cleanLine(reply.substr(pos, lf - pos));
        const Span span{pos, lf};
        pos = lf + 1;
        if (isHeader(line)) {
            const std::optional<std::size_t> length = SplitTextParameters(line).length;
            if (!length)
                return TextFrame::Unframed;
            headers.push_back(span);
            bool fits = true;
            const std::size_t end = textEnd(reply, pos, *length, fits);
            if (end == std::string_view::npos)
                return TextFrame::Incomplete;
            if (!fits)
                return TextFrame::Unframed;
            pos = end + 2; // the line end that closes the text
            continue;
        }
        if (!IsFinalResult(line))
            continue; // the echo, an empty line, a line of the modem's own
        // Only the modem's own lines may follow the final result code.
        return OnlyOwnLines(std::string(reply.substr(pos))) ? TextFrame::Whole : TextFrame::Unframed;
    }
    return TextFrame::Incomplete;
}

} // namespace

TextFrame FrameTextReply(std::string_view reply)
{
    std::vector<Span> headers;
    return walk(reply, headers);
}

std::string WithoutTextParameters(const std::string& reply)
{
    std::vector<Span> headers;
    if (walk(reply, headers) != TextFrame::Whole) {
        headers.clear();
        bool readSeen = false;
        for (std::size_t pos = 0, lf; (lf = reply.find('\n', pos)) != std::string::npos; pos = lf + 1) {
            const std::string line = cleanLine(std::string_view(reply).substr(pos, lf - pos));
            const bool read = line.starts_with("+CMGR: ");
            if (IsListHeader(line) || (read && !readSeen))
                headers.push_back({pos, lf});
            readSeen = readSeen || read;
        }
    }
    std::string out;
    std::size_t copied = 0;
    for (const Span& span : headers) {
        const std::string raw = reply.substr(span.start, span.end - span.start);
        // The line's own CR stays; bytes the modem put inside a header are rare enough
        // that such a header is left as it came.
        const bool cr = raw.ends_with('\r');
        const std::string line = cr ? raw.substr(0, raw.size() - 1) : raw;
        const TextHeader header = SplitTextParameters(line);
        if (!header.length || cleanLine(line) != line)
            continue;
        out.append(reply, copied, span.start - copied);
        out += header.line;
        if (cr)
            out += '\r';
        copied = span.end;
    }
    out.append(reply, copied, std::string::npos);
    return out;
}

} // namespace zorvel
