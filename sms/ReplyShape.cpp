#include "ReplyShape.h"

#include <string_view>

namespace zorvel {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Values as modems print them after an unsolicited line's name: numbers (a sign or
// hexadecimal digits allowed), quoted strings without a quote inside, empty places,
// separated by commas. Nothing else: no blanks between values, no words.
bool plainValues(std::string_view values)
{
    std::size_t i = 0;
    for (;;) {
        if (i < values.size() && values[i] == '"') {
            const std::size_t close = values.find('"', i + 1);
            if (close == std::string_view::npos)
                return false;
            i = close + 1;
        } else {
            if (i < values.size() && values[i] == '-')
                ++i;
            while (i < values.size() && (isDigit(values[i]) || (values[i] >= 'A' && values[i] <= 'F')))
                ++i;
        }
        if (i == values.size())
            return true;
        if (values[i] != ',')
            return false;
        ++i;
    }
}

} // namespace

std::vector<std::string> ReplyLines(const std::string& reply)
{
    std::vector<std::string> lines(1);
    for (char c : reply) {
        if (static_cast<unsigned char>(c) > 30)
            lines.back() += c;
        if (c == '\n')
            lines.emplace_back();
    }
    return lines;
}

bool IsFinalResult(const std::string& line)
{
    if (line == "OK" || line == "ERROR")
        return true;
    for (std::string_view prefix : {"+CMS ERROR: ", "+CME ERROR: "}) {
        if (line.starts_with(prefix) && line.size() > prefix.size())
            return true;
    }
    return false;
}

bool IsUnsolicited(const std::string& line)
{
    // Lines without values.
    if (line == "RING" || line == "^SYSSTART")
        return true;
    // Names a modem follows with values: 27.005/27.007 ones with ": ", Huawei's with ":"
    // (some of those with a blank too).
    static constexpr std::string_view names[] = {
        "+CMTI:", "+CDSI:", "+CBMI:", "+CREG:", "+CGREG:", "+CEREG:", "+CRING:", "+CLIP:",
        "+CUSD:", "^RSSI:", "^HCSQ:", "^BOOT:", "^MODE:", "^SRVST:", "^SIMST:",
        "^DSFLOWRPT:", "^SMMEMFULL:", "^STIN:"};
    for (std::string_view name : names) {
        if (!line.starts_with(name))
            continue;
        std::string_view values = std::string_view(line).substr(name.size());
        if (!values.empty() && values.front() == ' ')
            values.remove_prefix(1);
        // "+CRING: VOICE" names the call's kind in words.
        if (name == "+CRING:")
            return !values.empty() && values.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ/ ") ==
                                          std::string_view::npos;
        return !values.empty() && plainValues(values);
    }
    return false;
}

std::size_t FinalResultAt(const std::vector<std::string>& lines)
{
    std::size_t end = lines.size();
    if (end > 0 && lines[end - 1].empty())
        --end; // the empty piece after the last LF
    // Unsolicited lines after the result, each "\r\n<line>\r\n": <line> then its empty line.
    while (end >= 2 && IsUnsolicited(lines[end - 1]) && lines[end - 2].empty())
        end -= 2;
    if (end == 0 || !IsFinalResult(lines[end - 1]))
        return lines.size();
    return end - 1;
}

bool EndsWithOk(const std::vector<std::string>& lines)
{
    const std::size_t at = FinalResultAt(lines);
    return at < lines.size() && lines[at] == "OK";
}

} // namespace zorvel
