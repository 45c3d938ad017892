#pragma once
// What the poll cycle did with each message, told to whoever keeps a log. Plain data:
// the cycle knows nothing of how or where it is written. Every hook may be left empty.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zorvel {

// One forwarding request that ended, accepted or not.
struct ForwardReport {
    std::vector<std::string> indexes; // the modem's entries that make up the message
    std::string sender;               // as the request carried it ("PDU" in plain PDU mode)
    int parts = 1;                    // entries joined into this message
    std::size_t textLength = 0;       // characters of the text forwarded (never the text)
    int status = 0;                   // HTTP status; 0 when no response came
    std::string failure;              // empty when accepted, else the window's reason
    std::int64_t elapsedMs = 0;       // from the request going out to its end
    std::int64_t nextTryMs = 0;       // not accepted: how long it waits (0: its next turn)
};

struct CycleEvents {
    std::function<void(const ForwardReport&)> forwarded;
    // An "AT+CMGD=" goes out for `index`; `alreadyForwarded` when the web application had
    // accepted the message in an earlier cycle and only its delete had failed.
    std::function<void(const std::string& index, bool alreadyForwarded)> deleting;
    // Anything else worth a line: a long message waiting for its parts, a list cut short.
    std::function<void(const std::string& what)> notice;
    // Worth a line at warning level: the SIM or the storage needs a look.
    std::function<void(const std::string& what)> warning;
    // Worth a line at debug level: why a PDU did not decode.
    std::function<void(const std::string& what)> detail;
};

} // namespace zorvel
