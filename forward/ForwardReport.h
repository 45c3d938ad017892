#pragma once
// One forwarding request that ended, accepted or not: what the log and the window are
// told of it. Plain data, never the text itself.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zorvel {

struct ForwardReport {
    std::vector<std::string> indexes; // the modem's entries that make up the message
    std::string sender;               // as the request carried it ("PDU" in plain PDU mode)
    int parts = 1;                    // entries joined into this message
    std::size_t textLength = 0;       // characters of the text forwarded (never the text)
    int status = 0;                   // HTTP status; 0 when no response came
    std::string failure{};            // empty when accepted, else the window's reason
    std::int64_t elapsedMs = 0;       // from the request going out to its end
    std::int64_t nextTryMs = 0;       // not accepted: how long it waits (0: its next turn)
};

} // namespace zorvel
