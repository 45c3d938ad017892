#include "MessageRead.h"

#include "ReplyShape.h"

namespace zorvel {

namespace {

constexpr std::string_view readHeader = "+CMGR: ";

// "+CMGR: <stat>,<oa>,[<alpha>],<scts>..." has the list header's fields without the
// index: sender the second field, time stamp after the third comma.
void scanReadHeader(const std::string& line, std::string& sender, std::string& stampField)
{
    int comma = 0;
    for (std::size_t i = readHeader.size(); i < line.size(); ++i) {
        const char c = line[i];
        if (comma >= 3) {
            stampField += c;
        } else if (c == ',') {
            ++comma;
        } else if (comma == 1) {
            sender += c;
        }
    }
}

} // namespace

std::string ReadCommand(const std::string& index)
{
    return "AT+CMGR=" + index + "\r\n";
}

std::optional<ReadMessage> DecodeCMGR(const std::string& reply, MessageFormat format)
{
    const std::vector<std::string> lines = ReplyLines(reply);
    const std::size_t finalAt = FinalResultAt(lines);
    if (!EndsWithOk(lines))
        return std::nullopt;
    std::size_t header = 0;
    while (header < finalAt && !lines[header].starts_with(readHeader))
        ++header;
    if (header + 1 >= finalAt)
        return std::nullopt;
    // The empty line in front of "OK" ends the text; a modem that leaves it out ends it
    // at "OK" itself.
    const std::size_t end = lines[finalAt - 1].empty() && finalAt - 1 > header ? finalAt - 1 : finalAt;

    ReadMessage read;
    if (format == MessageFormat::Pdu) {
        if (end != header + 2)
            return std::nullopt; // a PDU is one line
        read.text = lines[header + 1];
        return read;
    }
    std::string stampField;
    scanReadHeader(lines[header], read.sender, stampField);
    read.sender = DropEnds(read.sender);
    read.time = TimeOfStampField(stampField);
    read.stamp = DropEnds(stampField);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (i > header + 1)
            read.text += '\n';
        read.text += lines[i];
    }
    return read;
}

std::string TimeOfStampField(const std::string& field)
{
    if (field.empty() || field.front() != '"')
        return field;
    const std::size_t close = field.find('"', 1);
    return close == std::string::npos ? field.substr(1) : field.substr(1, close - 1);
}

} // namespace zorvel
