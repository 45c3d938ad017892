#include "InboxDecoder.h"

#include <string_view>
#include <vector>

#include "AnswerParsing.h"

namespace zorvel {

namespace {

constexpr std::size_t shownLength = 30;

// Every line of the reply as GetAnswerLine gives it: split at LF, bytes 0..30 dropped.
// The piece after the last LF counts as a line too, as it does for GetAnswerLine.
std::vector<std::string> answerLines(const std::string& reply)
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

bool startsWith(const std::string& text, std::string_view prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Lines a modem sends on its own, framed by CR LF on both sides, that some modems (Huawei's
// ^RSSI, a +CMTI for a message that just came in) drop into the middle of a list.
bool isUnsolicited(const std::string& line)
{
    static constexpr std::string_view prefixes[] = {
        "+CMTI:", "+CDSI:", "+CMT:", "+CDS:", "+CBM:", "+CREG:", "+CGREG:", "+CEREG:",
        "+CUSD:", "+CRING:", "+CLIP:", "RING", "^RSSI:", "^HCSQ:", "^BOOT:", "^MODE:",
        "^SRVST:", "^SIMST:", "^SYSSTART", "^DSFLOWRPT:", "^SMMEMFULL:", "^STIN:"};
    for (std::string_view prefix : prefixes)
        if (startsWith(line, prefix))
            return true;
    return false;
}

bool isFinalResult(const std::string& line)
{
    return line == "OK" || line == "ERROR" || startsWith(line, "+CMS ERROR:");
}

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

// Removes the surrounding quotes by position: a value printed without quotes still
// loses its first and last byte.
std::string dropEnds(const std::string& value)
{
    return value.size() > 1 ? value.substr(1, value.size() - 2) : value;
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

InboxList DecodeCMGLList(const std::string& reply, MessageFormat format)
{
    InboxList list;
    const std::vector<std::string> replyLines = answerLines(reply);
    // The first entry's header is normally line 1, after the echo. A modem that echoes
    // the LF of the command too, or an unsolicited line in front, moves it further down;
    // looking only at line 1 would leave such a modem's messages unforwarded for ever.
    std::size_t headerAt = 0;
    while (headerAt < replyLines.size() && !startsWith(replyLines[headerAt], "+CMGL: "))
        ++headerAt;
    if (headerAt == replyLines.size())
        return list;

    // From the header on, without unsolicited lines (with the empty line in front of
    // each): they belong to no message, and must not end up in one that is then deleted.
    std::vector<std::string> lines{replyLines[headerAt - (headerAt > 0 ? 1 : 0)]};
    for (std::size_t i = headerAt; i < replyLines.size(); ++i) {
        if (i + 1 < replyLines.size() && replyLines[i].empty() && isUnsolicited(replyLines[i + 1])) {
            ++i;
            continue;
        }
        lines.push_back(replyLines[i]);
    }

    std::size_t header = 1;
    while (header < lines.size()) {
        InboxEntry entry;
        scanHeader(lines[header], entry.index, entry.headerSender, entry.headerStamp);
        entry.headerSender = dropEnds(entry.headerSender);
        entry.headerStamp = dropEnds(entry.headerStamp);

        // The body runs to the next entry's header, or to the empty line in front of the
        // final result code. Of several such pairs we take the last one, so that a text
        // which itself holds an empty line and "OK" keeps it; an unsolicited line after
        // the final result code has no such pair and stays out.
        const std::size_t first = header + 1;
        std::size_t next = first;
        while (next < lines.size() && !startsWith(lines[next], "+CMGL:"))
            ++next;
        std::size_t end = next;
        bool complete = next < lines.size();
        for (std::size_t i = first; i + 1 < next; ++i) {
            if (lines[i].empty() && isFinalResult(lines[i + 1])) {
                end = i;
                complete = true;
            }
        }
        if (!complete && end > first && lines[end - 1].empty())
            --end; // the piece after the last LF of a reply cut short is no line of the text

        entry.text = joined(lines, first, end);
        entry.complete = complete;
        entry.lblSMSstamp = entry.headerSender + "    " + entry.headerStamp;
        entry.lblSMS = entry.text.size() > shownLength ? entry.text.substr(0, shownLength) + "..."
                                                       : entry.text;
        // PDU format: the labels show what the scan found, the request carries "PDU".
        entry.sender = format == MessageFormat::Pdu ? "PDU" : entry.headerSender;
        entry.stamp = format == MessageFormat::Pdu ? "PDU" : entry.headerStamp;
        list.whole = complete && next == lines.size();
        list.entries.push_back(std::move(entry));
        header = next;
    }
    return list;
}

std::optional<InboxEntry> DecodeCMGL(const std::string& reply, MessageFormat format)
{
    InboxList list = DecodeCMGLList(reply, format);
    if (list.entries.empty())
        return std::nullopt;
    return std::move(list.entries.front());
}

std::string DeleteCommand(const std::string& index)
{
    return index.empty() ? std::string() : "AT+CMGD=" + index + "\r\n";
}

} // namespace zorvel
