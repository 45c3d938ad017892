#pragma once
// Writes what the poll cycle and the command exchange report into the log categories.
// At info level a message shows its sender and the length of its text, never the text;
// the destination shows its scheme and host, never the key, path or query. At debug
// level (zorvel.modem) every command and reply shows as escaped bytes, ready to paste
// into a bug report or into the simulated modem's --reply.
#include <string>
#include <string_view>

#include "ByteEscape.h"
#include "ReplyWindow.h"
#include "CycleEvents.h"

namespace zorvel {

// The log line of one forwarding that ended, accepted or not.
std::string DescribeForward(const ForwardReport& report);

// "https://example.org" or "http://127.0.0.1:8080" out of the forwarding address.
std::string DestinationForLog(const std::string& dest);

void LogCycleEvents(CycleEvents& events);
void LogExchange(Exchange& exchange);

} // namespace zorvel
