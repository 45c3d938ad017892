#include "InboxDecoder.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "AnswerParsing.h"
#include "MessageRead.h"
#include "ReplyShape.h"

namespace zorvel {

namespace {

constexpr std::size_t shownLength = 30;

// The header's fields by the modem's commas: index between the blank and the first
// comma, sender the third field, stamp everything after the fourth comma (its own
// commas included). The tests run in this order and each sees the state the earlier
// ones left, so no field keeps the comma that ends it.
void scanHeader(const std::string& header, std::string& index, std::string& sender,
                std::string& stamp)
{
    int state = 0;
    for (char c : header) {
        if (state == 5)
            stamp += c;
        if (state == 4 && c == ',')
            state = 5;
        if (state == 3 && c == ',')
            state = 4;
        if (state == 3)
            sender += c;
        if (state == 2 && c == ',')
            state = 3;
        if (state == 1 && c != ',')
            index += c;
        if (state == 1 && c == ',')
            state = 2;
        if (state == 0 && c == ' ')
            state = 1;
    }
}

std::string joined(const std::vector<std::string>& lines, std::size_t from, std::size_t to)
{
    std::string text;
    for (std::size_t i = from; i < to; ++i) {
        if (i > from)
            text += '\n';
        text += lines[i];
    }
    return text;
}

} // namespace

std::string ListCommand(MessageFormat format)
{
    return format == MessageFormat::Text ? "AT+CMGL=\"ALL\"\r\n" : "AT+CMGL=4\r\n";
}

std::string ShownText(const std::string& text)
{
    return text.size() > shownLength ? text.substr(0, shownLength) + "..." : text;
}

InboxList DecodeCMGLList(const std::string& reply, MessageFormat format)
{
    InboxList list;
    const std::vector<std::string> replyLines = ReplyLines(reply);
    // Only the last line can be the final result code: a text may hold an "OK" line.
    const std::size_t finalAt = FinalResultAt(replyLines);
    const bool ended = EndsWithOk(replyLines);
    const std::size_t limit = std::min(finalAt, replyLines.size());

    // The lines that may start an entry. A modem that echoes the LF of the command, or
    // an unsolicited line in front, moves the first one down from line 1. In text mode a
    // message's own text can imitate a header: such an entry is a candidate only, read on
    // its own before anything is sent or deleted.
    std::vector<std::size_t> headers;
    for (std::size_t i = 0; i < limit; ++i)
        if (IsListHeader(replyLines[i]))
            headers.push_back(i);

    for (std::size_t h = 0; h < headers.size(); ++h) {
        const bool last = h + 1 == headers.size();
        const std::size_t first = headers[h] + 1;
        std::size_t end = last ? limit : headers[h + 1];
        // Lines the modem dropped in on its own, each with the empty line in front of it,
        // belong to no message; and nothing else but them can stand in a PDU's place.
        std::vector<std::string> body;
        for (std::size_t i = first; i < end; ++i) {
            if (i + 1 < end && replyLines[i].empty() && IsUnsolicited(replyLines[i + 1])) {
                ++i;
                continue;
            }
            body.push_back(replyLines[i]);
        }
        // The empty line in front of the final result code, or the empty piece after the
        // last LF of a reply cut short, is no line of the text.
        if (last && !body.empty() && body.back().empty())
            body.pop_back();

        InboxEntry entry;
        scanHeader(replyLines[headers[h]], entry.index, entry.headerSender, entry.headerStamp);
        entry.headerSender = DropEnds(entry.headerSender);
        entry.headerTime = TimeOfStampField(entry.headerStamp);
        entry.headerStamp = DropEnds(entry.headerStamp);
        entry.text = joined(body, 0, body.size());
        entry.complete = !last || ended;
        entry.shownStamp = entry.headerSender + "    " + entry.headerStamp;
        entry.shownText = ShownText(entry.text);
        // PDU format: the labels show what the scan found, the request carries "PDU".
        entry.sender = format == MessageFormat::Pdu ? "PDU" : entry.headerSender;
        entry.stamp = format == MessageFormat::Pdu ? "PDU" : entry.headerStamp;
        list.entries.push_back(std::move(entry));
    }
    list.whole = ended;
    return list;
}

bool IsListHeader(const std::string& line)
{
    // "+CMGL: " and an index of one to five digits, then a comma: anything else in the
    // index's place would go into a delete command.
    constexpr std::string_view prefix = "+CMGL: ";
    if (!line.starts_with(prefix))
        return false;
    std::size_t digits = 0;
    while (prefix.size() + digits < line.size() && digits <= 5 &&
           line[prefix.size() + digits] >= '0' && line[prefix.size() + digits] <= '9')
        ++digits;
    return digits >= 1 && digits <= 5 && prefix.size() + digits < line.size() &&
           line[prefix.size() + digits] == ',';
}

std::optional<InboxEntry> DecodeCMGL(const std::string& reply, MessageFormat format)
{
    InboxList list = DecodeCMGLList(reply, format);
    if (list.entries.empty())
        return std::nullopt;
    return std::move(list.entries.front());
}

std::string DropEnds(const std::string& value)
{
    return value.size() > 1 ? value.substr(1, value.size() - 2) : value;
}

std::string DeleteCommand(const std::string& index)
{
    return index.empty() ? std::string() : "AT+CMGD=" + index + "\r\n";
}

} // namespace zorvel
