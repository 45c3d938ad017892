// The inbox scan on arbitrary list replies, in text and in PDU format: no crash, no
// sanitizer report, the body made of the reply's own lines, and a delete command that
// stays one command line whatever the modem printed as index.
#include <algorithm>
#include <cstdint>

#include "AnswerParsing.h"
#include "Check.h"
#include "InboxDecoder.h"

using namespace zorvel;
using fuzz::Require;

namespace {

void CheckEntry(const InboxEntry& e, const std::string& reply)
{
    Require(e.text.size() <= reply.size(), "body longer than the reply");
    for (char c : e.text)
        Require(c == '\n' || static_cast<unsigned char>(c) > 30, "body kept a byte 0..30 other than LF");
    Require(e.lblSMS.size() <= 33, "lblSMS longer than 30 bytes and the dots");
    Require(e.lblSMSstamp.size() <= reply.size() + 4, "lblSMSstamp longer than the reply");
    for (const std::string* s : {&e.index, &e.sender, &e.stamp})
        Require(s->size() <= reply.size() && !fuzz::HasControlByte(*s), "header field out of the header");
    Require(e.index.find(',') == std::string::npos, "index holds a comma");

    const std::string del = DeleteCommand(e.index);
    if (!e.index.empty())
        Require(del.find_first_of("\r\n") == del.size() - 2, "delete command is not one command line");

    // The body is answer lines 2, 3, ... joined with LF, as the answer rule cuts them.
    const std::size_t bodyLines = std::count(e.text.begin(), e.text.end(), '\n') + 1;
    if (bodyLines <= 32) {
        std::string expected;
        for (std::size_t i = 0; i < bodyLines; ++i)
            expected += (i ? "\n" : "") + GetAnswerLine(reply, int(2 + i));
        Require(e.text == expected || (e.text.empty() && bodyLines == 1), "body is not the reply's lines");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string reply = fuzz::Bytes(data, size);
    const auto text = DecodeCMGL(reply, MessageFormat::Text);
    const auto pdu = DecodeCMGL(reply, MessageFormat::Pdu);

    // An entry exactly when answer line 1 is a list header.
    const bool header = GetAnswerLine(reply, 1).starts_with("+CMGL: ");
    Require(text.has_value() == header && pdu.has_value() == header, "entry found without a header, or missed");
    if (!text)
        return 0;
    CheckEntry(*text, reply);
    CheckEntry(*pdu, reply);

    // The format changes what the request carries, never what was scanned.
    Require(pdu->sender == "PDU" && pdu->stamp == "PDU", "PDU entry carries scanned fields");
    Require(pdu->index == text->index && pdu->text == text->text && pdu->complete == text->complete
                && pdu->lblSMSstamp == text->lblSMSstamp && pdu->lblSMS == text->lblSMS,
            "formats disagree on the scan");
    Require(text->lblSMSstamp == text->sender + "    " + text->stamp, "lblSMSstamp is not sender and stamp");
    return 0;
}
