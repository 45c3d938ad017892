#pragma once
// One stored message read on its own ("AT+CMGR=<index>"): what a slot holds right now.
// The list alone never decides a delete: in text mode a message's text can imitate list
// entries, and a list may be old. Before a delete the slot is read and must hold a
// message the web application accepted; in text mode a message is also read on its own
// before it is forwarded, since only then is it sure where its text ends.
#include <optional>
#include <string>

#include "InboxDecoder.h"

namespace zorvel {

struct ReadMessage {
    std::string sender; // text mode: as the list's header scan gives it, quotes removed
    std::string time;   // text mode: the quoted time stamp alone, for comparing
    std::string text;   // text mode: the text, lines joined with LF; PDU mode: the PDU
    std::string stamp;  // text mode: the time field as the list's header scan gives it
};

// "AT+CMGR=3\r\n".
std::string ReadCommand(const std::string& index);

// The message of a "+CMGR: " reply; nothing unless the reply's last line is "OK": a reply
// cut short, an error ("+CMS ERROR: 321", an empty slot) or no reply says nothing.
// Text mode: "+CMGR: \"REC READ\",\"+447700900123\",,\"17/11/19,14:05:09+00\"\r\nHi\r\n\r\nOK\r\n"
// -> +447700900123, 17/11/19,14:05:09+00, "Hi"; the text is every line up to the empty
// line before "OK", whatever those lines look like. PDU mode: the one line after the header.
std::optional<ReadMessage> DecodeCMGR(const std::string& reply, MessageFormat format);

// The quoted value at the start of a header's time field ("\"17/11/19,14:05:09+00\",145,5"
// -> 17/11/19,14:05:09+00); the field as it is when it does not start with a quote.
std::string TimeOfStampField(const std::string& field);

} // namespace zorvel
