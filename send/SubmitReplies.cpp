#include "SubmitReplies.h"

#include <algorithm>
#include <vector>

#include "ByteEscape.h"
#include "ReplyShape.h"

namespace zorvel {

namespace {

std::string trimmedRight(std::string line)
{
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

// "+CMGS: 17" or "+CMGS: 17,\"26/12/08,10:00:00+04\"": the reference, 0..255.
int referenceIn(const std::string& line)
{
    constexpr std::string_view head = "+CMGS:";
    if (!line.starts_with(head))
        return -1;
    std::size_t at = head.size();
    while (at < line.size() && line[at] == ' ')
        ++at;
    int value = 0, digits = 0;
    for (; at < line.size() && line[at] >= '0' && line[at] <= '9'; ++at) {
        value = value * 10 + (line[at] - '0');
        if (++digits > 3)
            return -1;
    }
    const bool ends = at == line.size() || line[at] == ',' || line[at] == ' ';
    return digits > 0 && ends && value <= 255 ? value : -1;
}

std::string shownLine(const std::string& line)
{
    return EscapeBytes(line.substr(0, 80));
}

} // namespace

bool PromptCame(const std::string& reply)
{
    const std::vector<std::string> lines = ReplyLines(reply);
    if (FinalResultAt(lines) < lines.size())
        return false;
    // The modem's own lines may come after the prompt; the echo comes before it.
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        if (line->empty() || IsUnsolicited(*line))
            continue;
        return trimmedRight(*line) == ">";
    }
    return false;
}

std::string NoPromptReason(const std::string& reply)
{
    const std::vector<std::string> lines = ReplyLines(reply);
    const std::size_t final = FinalResultAt(lines);
    return final < lines.size() ? shownLine(lines[final]) : "no prompt";
}

SubmitAnswer DecodeSubmitAnswer(const std::string& reply)
{
    const std::vector<std::string> lines = ReplyLines(reply);
    const std::size_t final = FinalResultAt(lines);
    SubmitAnswer answer;
    if (final == lines.size()) {
        const bool silent = std::all_of(lines.begin(), lines.end(),
                                        [](const std::string& l) { return l.empty(); });
        answer.detail = silent ? "no answer from the modem" : "no final result code from the modem";
        return answer;
    }
    if (lines[final] != "OK") {
        answer.kind = SubmitAnswer::Kind::Refused;
        answer.detail = shownLine(lines[final]);
        return answer;
    }
    int found = -1, headers = 0;
    for (std::size_t i = 0; i < final; ++i) {
        if (lines[i].starts_with("+CMGS:")) {
            ++headers;
            found = referenceIn(lines[i]);
        }
    }
    if (headers == 1 && found >= 0) {
        answer.kind = SubmitAnswer::Kind::Sent;
        answer.reference = found;
        return answer;
    }
    answer.detail = headers == 0 ? "OK without a message reference" : "an unreadable message reference";
    return answer;
}

} // namespace zorvel
