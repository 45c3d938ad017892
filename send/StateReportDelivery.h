#pragma once
// Tells the web application what became of the messages it gave us: the store's state
// reports, oldest first, one request at a time, each
//   GET <OutboxUrl>?key=<Key>&id=<id>&state=<state>&time=<yy/MM/dd,hh:mm:ss±zz>&detail=<text>
// with `Idempotency-Key: "<id>:<state>"`, the same after a restart, until a 2xx. A report
// the web application refuses waits 1 s, doubling to a minute (the store keeps its
// tries); when the server itself fails (no answer, 502, 503, 504) every report waits as
// long, the oldest trying first.
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "Clock.h"
#include "HttpClient.h"
#include "OutboxStore.h"

namespace zorvel {

struct StateReportSettings {
    std::string outboxUrl; // OutboxUrl=, as written
    std::string key;       // Key=, sent as "key"
};

class StateReportDelivery {
public:
    // `utcOffsetSeconds` gives the local zone's offset at a moment (LocalUtcOffsetSeconds
    // in the program, a fixed one in tests).
    StateReportDelivery(OutboxStore& store, HttpClient& http, Clock& clock, StateReportSettings settings,
                        std::function<int(std::int64_t utcMs)> utcOffsetSeconds);
    ~StateReportDelivery();

    // Something may be due: a report was queued, or the program started.
    void wake();

    // One line each: a report refused (with its next try), a store that could not note it.
    std::function<void(const std::string&)> onWarning;
    // One line each: the web application took a report.
    std::function<void(const std::string&)> onNotice;

    bool sending() const { return inFlight_; }
    // The request of a report, for tests and the log's eyes: the address and its header.
    std::string urlOf(const StateReport& report) const;

private:
    void next();
    void ended(const StateReport& report, const HttpResult& result);
    void say(const std::function<void(const std::string&)>& hook, const std::string& text);

    OutboxStore& store_;
    HttpClient& http_;
    Clock& clock_;
    StateReportSettings settings_;
    std::function<int(std::int64_t)> utcOffsetSeconds_;
    std::unique_ptr<OneShotTimer> timer_;
    bool inFlight_ = false;
    std::int64_t pausedUntilMs_ = 0;
    std::set<std::int64_t> retryTimes_; // next tries of refused reports, to wake then
    int serverFailures_ = 0;
    // Taken by the web application, but the store could not note it yet: never sent
    // again, noted later.
    std::set<std::int64_t> unnoted_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace zorvel
