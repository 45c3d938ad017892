#pragma once
// The inbox step's view of the message list: the command that lists, the entries of the
// reply (index, sender, time stamp, text and the two label texts) and the command that
// deletes one.
#include <optional>
#include <string>
#include <vector>

namespace zorvel {

enum class MessageFormat { Text, Pdu };

// A text as the window's message label shows it: cut to 30 bytes, "..." when longer.
std::string ShownText(const std::string& text);

struct InboxEntry {
    std::string index;  // as printed between "+CMGL: " and the first comma
    std::string sender; // what the request carries: the scanned sender, or "PDU"
    std::string stamp;  // likewise: the scanned time stamp, or "PDU"
    std::string text;   // the whole body, its lines joined with LF
    std::string shownStamp; // scanned sender, four blanks, scanned stamp
    std::string shownText;      // the body, cut to 30 bytes and "..." when longer
    std::string headerSender; // the sender and stamp as the header scan found them
    std::string headerStamp;
    std::string headerTime;   // the quoted time stamp alone (for comparing with a read)
    // False when the reply stops inside the body (no next entry, no "OK" as the reply's
    // last line): the text may be missing its end.
    bool complete = false;
};

// "AT+CMGL=\"ALL\"\r\n" in text format, "AT+CMGL=4\r\n" in PDU format.
std::string ListCommand(MessageFormat format);

// AT+CMGL, "\r\n+CMGL: 3,\"REC UNREAD\",\"+447700900123\",,\"17/11/19,14:05:09+00\"\r\n"
// "Hello there\r\n\r\nOK\r\n" -> index 3, sender +447700900123, stamp 17/11/19,14:05:09+00,
// text "Hello there". Nothing when line 1 does not start with "+CMGL: ".
std::optional<InboxEntry> DecodeCMGL(const std::string& reply, MessageFormat format);

struct InboxList {
    std::vector<InboxEntry> entries; // in the modem's order
    // The reply reached its final result code after the last entry: every stored message
    // is in it. A reply cut short by the reply window may have left some out.
    bool whole = false;
};

// Every entry of the reply, each read as DecodeCMGL reads the first. An entry starts at
// a line IsListHeader accepts; its text runs to the next such line, the last one's to
// the empty line in front of the final result code, which only the reply's last line
// can be. Unsolicited lines (with the empty line in front) are left out.
InboxList DecodeCMGLList(const std::string& reply, MessageFormat format);

// "+CMGL: " followed by an index of 1 to 5 digits and a comma.
bool IsListHeader(const std::string& line);

// A header field without its surrounding quotes, removed by position: a value printed
// without quotes still loses its first and last byte, as list and read headers always did.
std::string DropEnds(const std::string& value);

// "AT+CMGD=3\r\n" for index "3"; empty (send nothing) for an empty index.
std::string DeleteCommand(const std::string& index);

} // namespace zorvel
