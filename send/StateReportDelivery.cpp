#include "StateReportDelivery.h"

#include <algorithm>
#include <vector>

#include "DoublingWait.h"
#include "ForwardUrl.h"
#include "ModemTimeStamp.h"

namespace zorvel {

namespace {

// With nothing due the store is looked at again now and then: a report whose next try
// came, or a read that failed.
constexpr std::int64_t lookAgainMs = 30'000;
constexpr std::int64_t storeTroublePauseMs = 5'000;

} // namespace

StateReportDelivery::StateReportDelivery(OutboxStore& store, HttpClient& http, Clock& clock,
                                         StateReportSettings settings,
                                         std::function<int(std::int64_t)> utcOffsetSeconds)
    : store_(store), http_(http), clock_(clock), settings_(std::move(settings)),
      utcOffsetSeconds_(std::move(utcOffsetSeconds)), timer_(clock.createTimer())
{
}

StateReportDelivery::~StateReportDelivery()
{
    *alive_ = false;
}

void StateReportDelivery::wake()
{
    if (!inFlight_)
        next();
}

std::string StateReportDelivery::urlOf(const StateReport& report) const
{
    return WithQuery(settings_.outboxUrl,
                     {{"key", settings_.key},
                      {"id", report.id},
                      {"state", std::string(OutboxStateName(report.state))},
                      {"time", ModemTimeStamp(report.changedMs, utcOffsetSeconds_(report.changedMs))},
                      {"detail", report.detail}});
}

void StateReportDelivery::next()
{
    for (auto it = unnoted_.begin(); it != unnoted_.end();)
        it = store_.stateReportDelivered(*it) ? unnoted_.erase(it) : std::next(it);

    const std::int64_t now = clock_.nowMs();
    if (now < pausedUntilMs_) {
        timer_->start(pausedUntilMs_ - now, [this] { next(); });
        return;
    }
    std::vector<StateReport> due = store_.dueStateReports(now, unnoted_.size() + 1);
    std::erase_if(due, [this](const StateReport& r) { return unnoted_.count(r.seq) > 0; });
    if (due.empty()) {
        // A refused report is looked for again when its next try comes.
        retryTimes_.erase(retryTimes_.begin(), retryTimes_.upper_bound(now));
        const std::int64_t wait = retryTimes_.empty() ? lookAgainMs : std::min(lookAgainMs, *retryTimes_.begin() - now);
        timer_->start(wait, [this] { next(); });
        return;
    }
    timer_->stop();
    const StateReport report = due.front();
    inFlight_ = true;
    std::weak_ptr<bool> alive = alive_;
    const HttpHeaders headers{
        {"Idempotency-Key", '"' + report.id + ':' + std::string(OutboxStateName(report.state)) + '"'}};
    http_.get(urlOf(report), headers, [this, alive, report](const HttpResult& result) {
        if (const auto here = alive.lock(); here && *here)
            ended(report, result);
    });
}

void StateReportDelivery::ended(const StateReport& report, const HttpResult& result)
{
    inFlight_ = false;
    const std::int64_t now = clock_.nowMs();
    const std::string what = "state report \"" + std::string(OutboxStateName(report.state)) + "\" of \""
                             + report.id + "\"";
    if (result.accepted()) {
        serverFailures_ = 0;
        if (!store_.stateReportDelivered(report.seq)) {
            unnoted_.insert(report.seq);
            say(onWarning, what + " taken, but the store could not note it (" + store_.problem() + ")");
        } else {
            say(onNotice, what + " taken: " + result.describe());
        }
    } else {
        const int tries = report.tries + 1;
        std::int64_t wait = serverPauseWait.afterFailures(tries);
        if (result.serverFailed()) {
            wait = std::max(wait, serverPauseWait.afterFailures(++serverFailures_));
            pausedUntilMs_ = now + wait;
        } else {
            serverFailures_ = 0;
        }
        say(onWarning, what + " not taken: " + result.describe() + "; again in " + std::to_string(wait / 1000)
                           + " s");
        // A store that cannot note the failure would offer the same report at once.
        retryTimes_.insert(now + wait);
        if (!store_.stateReportRefused(report.seq, result.describe(), now + wait))
            pausedUntilMs_ = std::max(pausedUntilMs_, now + std::max(wait, storeTroublePauseMs));
    }
    next();
}

void StateReportDelivery::say(const std::function<void(const std::string&)>& hook, const std::string& text)
{
    if (hook)
        hook(text);
}

} // namespace zorvel
