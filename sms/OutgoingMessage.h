#pragma once
// The three writes that send the operator's message, always in text format and without
// waiting for the modem's "> " prompt.
#include <string>

namespace zorvel {

struct OutgoingCommands {
    std::string format;    // "AT+CMGF=1\r\n"
    std::string recipient; // "AT+CMGS=\"<number>\"\r\n"
    std::string body;      // the text and Ctrl-Z (26), no CR or LF after it
};

// ("+447700900123", "Hi") -> "AT+CMGF=1\r\n", "AT+CMGS=\"+447700900123\"\r\n", "Hi\x1a".
// Number and text are Latin-1 bytes, used exactly as typed.
OutgoingCommands BuildOutgoingCommands(const std::string& number, const std::string& text);

} // namespace zorvel
