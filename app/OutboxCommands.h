#pragma once
// The outbox from the command line: --send, --outbox and --resend on a folder, whether or
// not a gateway runs on it. Each needs Store=1 and Decode=1 in the folder's zorvel.ini,
// and ends with an exit code of ExitCodes.h.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "MessageId.h"

namespace zorvel {

struct CommandOutcome {
    int exitCode = 0;
    std::string output; // for standard output
    std::string error;  // for standard error, whole lines
};

// Puts `text` (UTF-8) to `recipient` (as typed) in the outbox with a new id from `newId`;
// the output is that id.
CommandOutcome SendFromCommandLine(const std::string& folder, const std::string& recipient,
                                   const std::string& text, std::int64_t nowMs,
                                   const MessageIdSource& newId);
CommandOutcome ListOutboxFromCommandLine(const std::string& folder, std::int64_t nowMs);
CommandOutcome ResendFromCommandLine(const std::string& folder, const std::string& id, std::int64_t nowMs);

// The most a text read from standard input may have: far more than any SMS of 255 parts.
constexpr std::size_t longestInputText = 64 * 1024;

// The text of `input` up to its end, without the line end after its last line: nothing,
// and `why` set, when it is longer than longestInputText or not valid UTF-8.
std::optional<std::string> ReadInputText(std::FILE* input, std::string& why);

} // namespace zorvel
