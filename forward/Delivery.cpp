#include "Delivery.h"

#include <algorithm>

#include "DoublingWait.h"
#include "MessageText.h"

namespace zorvel {

namespace {

// Even with nothing due, the store is looked at again now and then: a read that failed
// must not stop delivery for good.
constexpr std::int64_t lookAgainMs = 30'000;
constexpr std::int64_t storeTroublePauseMs = 5'000;

} // namespace

Delivery::Delivery(LocalStore& store, HttpClient& http, Clock& clock, const ForwardingSettings& settings)
    : store_(store), clock_(clock), forwarder_(http, clock, settings), timer_(clock.createTimer())
{
}

void Delivery::wake()
{
    if (!inFlight_)
        next();
}

void Delivery::next()
{
    for (auto it = unrecorded_.begin(); it != unrecorded_.end();)
        it = store_.delivered(it->first, it->second, clock_.nowMs()) ? unrecorded_.erase(it) : std::next(it);

    const std::int64_t now = clock_.nowMs();
    if (now < pausedUntilMs_) {
        timer_->start(pausedUntilMs_ - now, [this] { next(); });
        return;
    }
    // Each message unrecorded or unnoted may come before the one due first.
    std::vector<WaitingMessage> waiting = store_.waiting(unrecorded_.size() + unnoted_.size() + 1);
    std::erase_if(waiting, [&](const WaitingMessage& w) { return unrecorded_.count(w.message.id) > 0; });
    for (WaitingMessage& w : waiting) {
        const auto unnoted = unnoted_.find(w.message.id);
        if (unnoted == unnoted_.end())
            continue;
        if (w.nextTryMs >= unnoted->second.nextTryMs) {
            unnoted_.erase(unnoted);
            continue;
        }
        w.tries = std::max(w.tries, unnoted->second.tries);
        w.nextTryMs = unnoted->second.nextTryMs;
    }
    const auto due = std::min_element(waiting.begin(), waiting.end(), [](const WaitingMessage& a,
                                                                          const WaitingMessage& b) {
        return a.nextTryMs < b.nextTryMs;
    });
    if (due == waiting.end()) {
        timer_->start(lookAgainMs, [this] { next(); });
        return;
    }
    if (due->nextTryMs > now) {
        timer_->start(std::min(due->nextTryMs - now, lookAgainMs), [this] { next(); });
        return;
    }
    timer_->stop();
    const WaitingMessage message = *due;
    if (onStarted)
        onStarted(message);
    inFlight_ = true;
    const NewMessage& m = message.message;
    forwarder_.send({{}, m.sender, m.parts, Utf8Characters(m.text)}, m.stamp, m.text,
                    {{"Idempotency-Key", '"' + m.id + '"'}},
                    [this, message](const HttpResult& result, ForwardReport sent) {
                        ended(message, result, std::move(sent));
                    });
}

void Delivery::ended(const WaitingMessage& message, const HttpResult& result, ForwardReport sent)
{
    inFlight_ = false;
    const std::int64_t now = clock_.nowMs();
    const NewMessage& m = message.message;
    DeliveryReport report{std::move(sent), m.id, message.tries + 1};
    if (result.accepted()) {
        serverFailures_ = 0;
        unnoted_.erase(m.id);
        if (!store_.delivered(m.id, result.status, now)) {
            unrecorded_[m.id] = result.status;
            report.recorded = false;
        }
    } else {
        // The server's fault: the message keeps its place, so the oldest probes again.
        std::int64_t notBefore = message.nextTryMs;
        if (result.serverFailed()) {
            pausedUntilMs_ = now + serverPauseWait.afterFailures(++serverFailures_);
            report.nextTryMs = pausedUntilMs_ - now;
        } else {
            serverFailures_ = 0;
            report.nextTryMs = messageRetryWait.afterFailures(report.tries);
            notBefore = now + report.nextTryMs;
        }
        // A store that cannot note the failure would offer the same message again at
        // once: wait a little instead of knocking in a loop.
        if (!store_.refused(m.id, report.failure, notBefore)) {
            pausedUntilMs_ = std::max(pausedUntilMs_, now + storeTroublePauseMs);
            unnoted_[m.id] = Unnoted{report.tries, notBefore};
        }
    }
    if (onEnded)
        onEnded(report);
    next();
}

} // namespace zorvel
