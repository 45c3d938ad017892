#pragma once
// What the modem's replies to sending say: whether "AT+CMGS=<length>" brought the "> "
// prompt, and whether the PDU after it was taken. Pure functions over untrusted bytes.
#include <string>

namespace zorvel {

// The reply to "AT+CMGS=<length>" holds the prompt, and no final result code came
// instead (a "+CMS ERROR" means the modem will take no text).
bool PromptCame(const std::string& reply);

// Why there is no prompt, in a few words for the log and the state report:
// "+CMS ERROR: 38", "ERROR", "no prompt".
std::string NoPromptReason(const std::string& reply);

struct SubmitAnswer {
    enum class Kind {
        Sent,    // "+CMGS: <reference>" and OK: the network took the part
        Refused, // a final error code: the modem said the part was not sent
        Unknown, // nothing, or nothing that says either: it may have gone out
    };
    Kind kind = Kind::Unknown;
    int reference = -1; // Sent: 0..255
    std::string detail; // Refused, Unknown: why, printable
};

// The reply to the PDU and Ctrl-Z.
SubmitAnswer DecodeSubmitAnswer(const std::string& reply);

} // namespace zorvel
