#pragma once
// What the poll cycle did with each message, told to whoever keeps a log. Plain data:
// the cycle knows nothing of how or where it is written. Every hook may be left empty.
#include <functional>
#include <string>

#include "Forwarder.h"

namespace zorvel {

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
