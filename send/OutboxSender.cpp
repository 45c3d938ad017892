#include "OutboxSender.h"

#include <algorithm>

#include "ByteEscape.h"
#include "DoublingWait.h"
#include "ReplyShape.h"
#include "SubmitReplies.h"

namespace zorvel {

namespace {

// A message refused before its prompt: 30 s, doubling up to 10 minutes.
constexpr DoublingWait sendRetryWait{30'000, 10 * 60'000};
constexpr std::int64_t minuteMs = 60'000;
constexpr std::int64_t dayMs = 24 * 60 * minuteMs;

} // namespace

int ConcatReference(const std::string& id)
{
    std::uint32_t hash = 2166136261u; // FNV-1a: stable across runs and builds
    for (const unsigned char c : id)
        hash = (hash ^ c) * 16777619u;
    return static_cast<int>(hash & 0xFF);
}

OutboxSender::OutboxSender(Exchange& exchange, OutboxStore& store, Clock& clock,
                           SendingSettings settings)
    : exchange_(exchange), store_(store), clock_(clock), settings_(settings)
{
}

void OutboxSender::recoverAfterCrash()
{
    const int left = store_.sendingBecomesUnknown(
        "the program stopped while sending: the modem may have sent it", clock_.nowMs());
    if (left < 0 || !store_.problem().empty()) {
        if (onWarning)
            onWarning("outbox: could not mark messages left sending: " + store_.problem());
    } else if (left > 0 && onWarning) {
        onWarning("outbox: " + std::to_string(left) +
                  " message(s) were being sent when the program stopped; they are now unknown "
                  "and are not sent again unless resent with --resend");
    }
}

bool OutboxSender::due()
{
    if (running())
        return false;
    const std::int64_t now = clock_.nowMs();
    const std::optional<std::int64_t> dueAt = store_.nextDueAt();
    if (!dueAt || *dueAt > now)
        return false;
    const std::optional<std::int64_t> until = capReachedUntil();
    if (!until)
        return true;
    if (*until != capLoggedUntil_) {
        capLoggedUntil_ = *until;
        notice("outbox: sending waits " + std::to_string((*until - now + 999) / 1000) +
               " s for the sending cap (SendPerMinute " + std::to_string(settings_.perMinute) +
               ", SendPerDay " + std::to_string(settings_.perDay) + ")");
    }
    return false;
}

// When a cap is reached: the moment the oldest part in its span leaves it (as far as
// this run knows; a span's whole length after a restart).
std::optional<std::int64_t> OutboxSender::capReachedUntil()
{
    const std::int64_t now = clock_.nowMs();
    while (!sentTimes_.empty() && (now - sentTimes_.front() >= dayMs || sentTimes_.front() > now))
        sentTimes_.pop_front();
    std::optional<std::int64_t> until;
    for (const auto& limit : {std::pair{settings_.perMinute, minuteMs}, std::pair{settings_.perDay, dayMs}}) {
        const int cap = limit.first;
        const std::int64_t span = limit.second;
        if (cap <= 0 || store_.partsSentSince(now - span + 1) < cap)
            continue;
        std::int64_t freed = now + span;
        const auto inSpan = std::find_if(sentTimes_.begin(), sentTimes_.end(),
                                         [&](std::int64_t t) { return now - t < span; });
        const auto counted = static_cast<std::size_t>(sentTimes_.end() - inSpan);
        if (counted >= static_cast<std::size_t>(cap))
            freed = *(sentTimes_.end() - cap) + span;
        until = std::max(until.value_or(0), freed);
    }
    return until;
}

void OutboxSender::sendNext(std::function<void()> done)
{
    done_ = std::move(done);
    message_ = store_.nextDue(clock_.nowMs());
    if (!message_)
        return finish();
    SubmitPlan plan = BuildSubmitParts(message_->recipient, message_->text, settings_.maxParts,
                                       ConcatReference(message_->id));
    if (plan.parts.empty()) {
        commit(store_.markFailed(message_->id, plan.whyNot, clock_.nowMs()), "mark it failed");
        notice("outbox message " + message_->id + " failed: " + plan.whyNot);
        return finish();
    }
    parts_ = std::move(plan.parts);
    // A try after an error goes on from the first part the modem did not take.
    part_ = static_cast<std::size_t>(std::max(0, message_->partsSent));
    if (part_ >= parts_.size()) {
        commit(store_.markSent(message_->id, clock_.nowMs()), "mark it sent");
        return finish();
    }
    if (!commit(store_.markSending(message_->id, clock_.nowMs()), "mark it sending"))
        return finish();
    run(Step::Format);
}

void OutboxSender::run(Step step)
{
    step_ = step;
    Command command;
    switch (step) {
    case Step::Format: command = {CommandKind::Query, "AT+CMGF=0\r\n"}; break;
    case Step::Recipient:
        command = {CommandKind::Recipient, "AT+CMGS=" + std::to_string(parts_[part_].tpduLength) + "\r"};
        break;
    case Step::Pdu: command = {CommandKind::Submit, parts_[part_].hex + "\x1a"}; break;
    case Step::Cancel: command = {CommandKind::Query, "\x1b"}; break;
    }
    if (!exchange_.SendCommand(std::move(command), [this] { replyArrived(); }))
        partRefused("the link was busy"); // nothing was written
}

void OutboxSender::replyArrived()
{
    const std::string& reply = exchange_.reply();
    switch (step_) {
    case Step::Format:
        if (!EndsWithOk(ReplyLines(reply)))
            return partRefused("the modem did not take PDU format (" + NoPromptReason(reply) + ")");
        return run(Step::Recipient);
    case Step::Recipient:
        if (PromptCame(reply))
            return run(Step::Pdu);
        // A prompt that comes late would take the next command as the message's text:
        // ESC ends the text entry without sending anything.
        refusal_ = NoPromptReason(reply);
        return run(Step::Cancel);
    case Step::Cancel: return partRefused(refusal_);
    case Step::Pdu: break;
    }
    const SubmitAnswer answer = DecodeSubmitAnswer(reply);
    const std::string which = "part " + std::to_string(part_ + 1) + " of " + std::to_string(parts_.size());
    switch (answer.kind) {
    case SubmitAnswer::Kind::Refused: return partRefused(which + ": " + answer.detail);
    case SubmitAnswer::Kind::Unknown: return cannotTell(which + ": " + answer.detail);
    case SubmitAnswer::Kind::Sent: break;
    }
    const std::int64_t now = clock_.nowMs();
    if (!store_.partSent(message_->id, static_cast<int>(part_) + 1, answer.reference, now))
        return cannotTell(which + " went out, but the store could not record it: " + store_.problem());
    sentTimes_.push_back(now);
    if (++part_ < parts_.size())
        return run(Step::Recipient);
    if (commit(store_.markSent(message_->id, now), "mark it sent"))
        notice("outbox message " + message_->id + " sent (" + std::to_string(parts_.size()) + " part(s))");
    finish();
}

void OutboxSender::partRefused(const std::string& why)
{
    const std::int64_t now = clock_.nowMs();
    const int tries = message_->tries + 1;
    if (tries >= settings_.tries) {
        const std::string detail = why + " (" + std::to_string(tries) + " tries)";
        commit(store_.markFailed(message_->id, detail, now), "mark it failed");
        notice("outbox message " + message_->id + " failed: " + detail);
    } else {
        const std::int64_t wait = sendRetryWait.afterFailures(tries);
        commit(store_.sendRefused(message_->id, why, now + wait, now), "count the try");
        notice("outbox message " + message_->id + " not sent: " + why + "; next try in " +
               std::to_string(wait / 1000) + " s");
    }
    finish();
}

void OutboxSender::cannotTell(const std::string& why)
{
    commit(store_.markUnknown(message_->id, why, clock_.nowMs()), "mark it unknown");
    if (onWarning)
        onWarning("outbox message " + message_->id + ": it cannot be known whether the modem sent it (" +
                  why + "); it is not sent again unless resent with --resend");
    finish();
}

bool OutboxSender::commit(bool written, const std::string& what)
{
    if (!written && onWarning)
        onWarning("outbox: could not " + what + " for " + message_->id + ": " + store_.problem());
    return written;
}

void OutboxSender::notice(const std::string& text)
{
    if (onNotice)
        onNotice(text);
}

void OutboxSender::finish()
{
    message_.reset();
    parts_.clear();
    auto done = std::move(done_);
    done_ = nullptr;
    if (onTurnEnded)
        onTurnEnded();
    if (done)
        done();
}

} // namespace zorvel
