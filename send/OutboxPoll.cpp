#include "OutboxPoll.h"

#include "ForwardUrl.h"
#include "OutboxAnswer.h"

namespace zorvel {

OutboxPoll::OutboxPoll(OutboxStore& store, HttpClient& http, Clock& clock, OutboxPollSettings settings)
    : store_(store), http_(http), clock_(clock), settings_(std::move(settings)), timer_(clock.createTimer())
{
}

OutboxPoll::~OutboxPoll()
{
    *alive_ = false;
}

void OutboxPoll::start()
{
    if (!inFlight_)
        poll();
}

std::string OutboxPoll::describeAddress() const
{
    return WithQuery(settings_.outboxUrl, {{"key", "..."}});
}

void OutboxPoll::poll()
{
    inFlight_ = true;
    startedMs_ = clock_.nowMs();
    std::weak_ptr<bool> alive = alive_;
    http_.get(WithQuery(settings_.outboxUrl, {{"key", settings_.key}}), {}, HttpRequestOptions{answerLimit},
              [this, alive](const HttpResult& result) {
                  if (const auto here = alive.lock(); here && *here)
                      answered(result);
              });
}

void OutboxPoll::answered(const HttpResult& result)
{
    inFlight_ = false;
    if (result.status == 200)
        takeIn(result.body);
    else
        failed(result.describe());
    // A period from the start of this poll; an answer slower than that waits a whole
    // period, so a slow server is never asked again the moment it answers.
    const std::int64_t now = clock_.nowMs();
    const std::int64_t sinceStart = now - startedMs_;
    const std::int64_t wait = sinceStart >= 0 && sinceStart < settings_.periodMs ? settings_.periodMs - sinceStart
                                                                                  : settings_.periodMs;
    timer_->start(wait, [this] { poll(); });
}

void OutboxPoll::takeIn(const std::string& body)
{
    if (!lastFailure_.empty()) {
        lastFailure_.clear();
        say(onNotice, "outbox poll: the web application answers again");
    }
    const OutboxOffer offer = ReadOutboxAnswer(body, settings_.maxParts);
    for (const std::string& problem : offer.problems)
        say(onWarning, "outbox poll: " + problem);
    int added = 0;
    for (const OfferedMessage& m : offer.messages) {
        switch (store_.add({m.id, m.recipient, m.text, m.parts, OutboxOrigin::Web}, clock_.nowMs())) {
        case OutboxStore::Added::Added: ++added; break;
        case OutboxStore::Added::AlreadyThere: break;
        case OutboxStore::Added::Failed:
            say(onWarning, "outbox poll: message \"" + m.id + "\" could not be stored (" + store_.problem()
                               + "); it is asked for again next poll");
            break;
        }
    }
    if (added > 0) {
        say(onNotice, "outbox poll: " + std::to_string(added) + (added == 1 ? " new message" : " new messages")
                          + " queued");
        if (onQueued)
            onQueued();
    }
}

void OutboxPoll::failed(const std::string& why)
{
    // A failure that lasts is one line, not one every period.
    if (why == lastFailure_)
        return;
    lastFailure_ = why;
    say(onWarning, "outbox poll failed: " + why + "; trying again every "
                       + std::to_string(settings_.periodMs / 1000) + " s");
}

void OutboxPoll::say(const std::function<void(const std::string&)>& hook, const std::string& text)
{
    if (hook)
        hook(text);
}

} // namespace zorvel
