// The inbox scan on arbitrary list replies, in text and in PDU format: no crash, no
// sanitizer report, the body made of the reply's own lines after the header, and a delete
// command that stays one command line of 1 to 5 digits whatever the modem printed as index.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "Check.h"
#include "InboxDecoder.h"
#include "ReplyEnd.h"
#include "ReplyShape.h"
#include "TextFraming.h"

using namespace zorvel;
using fuzz::Require;

namespace {

// The reply's lines as the answer rule cuts them: split at LF, bytes 0..30 dropped.
std::vector<std::string> answerLines(const std::string& reply) { return ReplyLines(reply); }

// Index of the first line that starts a list entry, or the line count when none.
std::size_t headerLine(const std::vector<std::string>& lines)
{
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (IsListHeader(lines[i]))
            return i;
    return lines.size();
}

void CheckEntry(const InboxEntry& e, const std::string& reply)
{
    Require(e.text.size() <= reply.size(), "body longer than the reply");
    for (char c : e.text)
        Require(c == '\n' || static_cast<unsigned char>(c) > 30, "body kept a byte 0..30 other than LF");
    Require(e.shownText.size() <= 33, "shownText longer than 30 bytes and the dots");
    Require(e.shownStamp.size() <= reply.size() + 4, "shownStamp longer than the reply");
    for (const std::string* s : {&e.index, &e.sender, &e.stamp})
        Require(s->size() <= reply.size() && !fuzz::HasControlByte(*s), "header field out of the header");
    Require(!e.index.empty() && e.index.size() <= 5 &&
                e.index.find_first_not_of("0123456789") == std::string::npos,
            "index is not 1 to 5 digits");

    const std::string del = DeleteCommand(e.index);
    if (!e.index.empty())
        Require(del.find_first_of("\r\n") == del.size() - 2, "delete command is not one command line");

    // The body is made of the reply's own lines after the header, in their order (lines
    // of unsolicited codes may be left out), joined with LF.
    if (e.text.empty())
        return;
    const std::vector<std::string> lines = answerLines(reply);
    std::size_t line = headerLine(lines) + 1;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = std::min(e.text.find('\n', start), e.text.size());
        const std::string bodyLine = e.text.substr(start, end - start);
        while (line < lines.size() && lines[line] != bodyLine)
            ++line;
        Require(line < lines.size(), "body line not among the reply's lines after the header");
        ++line;
        if (end == e.text.size())
            break;
        start = end + 1;
    }
}

// The held link's end of a reply, fed in pieces, agrees with the rule for a whole reply
// (lines of result code or own-line size: a longer one is neither); the text lengths only
// ever take bytes out of a header.
void CheckEnd(const std::string& reply)
{
    ReplyEnd end;
    for (std::size_t at = 0, step = 1; at < reply.size(); at += step, step = step % 7 + 1)
        end.feed(std::string_view(reply).substr(at, step));
    const std::vector<std::string> lines = ReplyLines(reply);
    const bool short_ = std::all_of(lines.begin(), lines.end(), [](const std::string& l) { return l.size() < 512; });
    if (short_)
        Require(end.final() == (!reply.empty() && reply.back() == '\n' && FinalResultAt(lines) < lines.size()),
                "ReplyEnd disagrees with FinalResultAt");
    FrameTextReply(reply);
    const std::string plain = WithoutTextParameters(reply);
    Require(plain.size() <= reply.size(), "WithoutTextParameters grew the reply");
    Require(std::count(plain.begin(), plain.end(), '\n') == std::count(reply.begin(), reply.end(), '\n'),
            "WithoutTextParameters changed the lines");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string reply = fuzz::Bytes(data, size);
    CheckEnd(reply);
    const auto text = DecodeCMGL(reply, MessageFormat::Text);
    const auto pdu = DecodeCMGL(reply, MessageFormat::Pdu);

    // An entry exactly when some answer line is a list header.
    const std::vector<std::string> lines = answerLines(reply);
    const bool header = headerLine(lines) < lines.size();
    Require(text.has_value() == header && pdu.has_value() == header, "entry found without a header, or missed");
    if (!text)
        return 0;
    CheckEntry(*text, reply);
    CheckEntry(*pdu, reply);

    // The format changes what the request carries, never what was scanned.
    Require(pdu->sender == "PDU" && pdu->stamp == "PDU", "PDU entry carries scanned fields");
    Require(pdu->index == text->index && pdu->text == text->text && pdu->complete == text->complete
                && pdu->shownStamp == text->shownStamp && pdu->shownText == text->shownText,
            "formats disagree on the scan");
    Require(text->shownStamp == text->sender + "    " + text->stamp, "shownStamp is not sender and stamp");
    return 0;
}
