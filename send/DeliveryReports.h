#pragma once
// Status reports coming back for the parts the outbox sent, from the modem's list (or
// its "SR" storage, or a "+CDS" announcement): a report about a part we sent is
// recorded in the outbox and never forwarded; any other report is left to forwarding as
// before.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "Clock.h"
#include "OutboxStore.h"

namespace zorvel {

class DeliveryReports {
public:
    DeliveryReports(OutboxStore& store, Clock& clock) : store_(store), clock_(clock) {}

    // `pdu` as listed (SMSC part first). True when it is a report about a part the outbox
    // sent, and what it says is committed (a report that the centre still tries changes
    // nothing): its slot can go.
    bool take(const std::string& pdu);

    std::function<void(const std::string&)> onNotice;

private:
    OutboxStore& store_;
    Clock& clock_;
};

// "yy/MM/dd,hh:mm:ss+zz" (zone in quarter hours, signed) as milliseconds since 1970 UTC;
// nothing when it is not such a stamp.
std::optional<std::int64_t> StampToUtcMs(const std::string& stamp);

} // namespace zorvel
