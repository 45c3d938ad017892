#pragma once
// With the local store, forwarding runs on its own, apart from the modem's cycle: the
// message due first goes out, one request in flight, the next as soon as it ends, with
// no reply window to wait for. Every try of a message carries its id as
// `Idempotency-Key: "<id>"`, the same after a restart.
//
// A message the web application refuses (any answer but a 2xx) waits on its own: its
// next turn after the first failure, then 30 s doubling to 10 minutes; the others keep
// going. A failure that is the server's, not the message's (no answer at all, or 502,
// 503, 504 from a proxy in front of it), pauses all delivery instead: 1 s doubling to
// a minute, the oldest message trying first, so that everything flows again soon after
// the server is back and nothing knocks on a dead server in a loop.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "Clock.h"
#include "Forwarder.h"
#include "LocalStore.h"

namespace zorvel {

// One request that ended, for the log and the window: what any forwarding reports (no
// indexes: the modem holds none of it; paused, nextTryMs is until any goes again), the
// message's id and which try it was.
struct DeliveryReport : ForwardReport {
    std::string id;
    int tries = 1;        // this one included
    bool recorded = true; // accepted, and the store noted it (else it is noted later)
};

class Delivery {
public:
    Delivery(LocalStore& store, HttpClient& http, Clock& clock, const ForwardingSettings& settings);

    // Something may be due: a message was stored, or the program started.
    void wake();

    // Before a request goes out: the message it carries (for the window).
    std::function<void(const WaitingMessage& message)> onStarted;
    std::function<void(const DeliveryReport& report)> onEnded;

private:
    void next();
    void ended(const WaitingMessage& message, const HttpResult& result, ForwardReport sent);

    LocalStore& store_;
    Clock& clock_;
    Forwarder forwarder_;
    std::unique_ptr<OneShotTimer> timer_;
    bool inFlight_ = false;
    std::int64_t pausedUntilMs_ = 0;
    int serverFailures_ = 0;
    // Accepted, but the store could not note it yet: never sent again, noted later.
    std::map<std::string, int> unrecorded_;
    // Refused, but the store could not note it (a read-only folder): its tries and next
    // try, which win over the store's until it holds a next try as late.
    struct Unnoted {
        int tries = 0;
        std::int64_t nextTryMs = 0;
    };
    std::map<std::string, Unnoted> unnoted_;
};

} // namespace zorvel
