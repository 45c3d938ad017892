#pragma once
// The three writes that send the operator's message, always in text format and without
// waiting for the modem's "> " prompt, plus the conversion of what was typed into the
// bytes that go down the line.
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

// UTF-8 as typed to Latin-1 bytes: "caf\xC3\xA9 \xE2\x82\xAC" -> "caf\xE9 ?". A character
// outside Latin-1 becomes one '?', each byte of malformed UTF-8 becomes '?'.
std::string Utf8ToLatin1(const std::string& utf8);

} // namespace zorvel
