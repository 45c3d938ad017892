#pragma once
// Asks the web application what to send: every period a GET of
// "<OutboxUrl>?key=<Key>", one request at a time, and each message its answer offers goes
// into the outbox (an id already there is left as it is: the web application offers a
// message again until its state reports tell it the message was taken). Any failure is
// logged and the next period tries again.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Clock.h"
#include "HttpClient.h"
#include "OutboxStore.h"

namespace zorvel {

struct OutboxPollSettings {
    std::string outboxUrl;              // OutboxUrl=, as written
    std::string key;                    // Key=, sent as "key"
    std::int64_t periodMs = 30'000;     // OutboxPoll= seconds
    int maxParts = 10;                  // a longer text is refused
};

class OutboxPoll {
public:
    static constexpr std::size_t answerLimit = 64 * 1024;

    OutboxPoll(OutboxStore& store, HttpClient& http, Clock& clock, OutboxPollSettings settings);
    ~OutboxPoll();

    // Polls now, then every period.
    void start();

    // One line each: messages taken in, a poll that works again.
    std::function<void(const std::string&)> onNotice;
    // One line each: a failed poll (once while the same failure lasts), an entry left out,
    // a message the store could not take.
    std::function<void(const std::string&)> onWarning;
    // New messages are in the outbox (and their "queued" reports): wake the sender and
    // the state reports.
    std::function<void()> onQueued;

    bool polling() const { return inFlight_; }
    // The address polled, for the log at start; the key is left out.
    std::string describeAddress() const;

private:
    void poll();
    void answered(const HttpResult& result);
    void takeIn(const std::string& body);
    void failed(const std::string& why);
    void say(const std::function<void(const std::string&)>& hook, const std::string& text);

    OutboxStore& store_;
    HttpClient& http_;
    Clock& clock_;
    OutboxPollSettings settings_;
    std::unique_ptr<OneShotTimer> timer_;
    bool inFlight_ = false;
    std::int64_t startedMs_ = 0;
    std::string lastFailure_; // empty while polls work
    // Answers that come after the poll has gone are dropped.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace zorvel
