#include "PollCycle.h"

#include <algorithm>

#include "ByteEscape.h"
#include "MessageRead.h"
#include "MessageText.h"
#include "ReplyShape.h"
#include "StatusDecoders.h"

namespace zorvel {

PollCycle::PollCycle(Exchange& exchange, HttpClient& http, Clock& clock,
                     ForwardingSettings settings, SetupSettings setup, LinkPace pace)
    : exchange_(exchange), http_(http), clock_(clock), settings_(std::move(settings)), pace_(pace),
      setup_(exchange, [&] {
          setup.formatCommand = formatCommand(); // settled by the forwarding settings
          return std::move(setup);
      }()),
      planner_(settings_.mode == MessageMode::Decoded, settings_.multipartWaitMs, messageFormat())
{
    setup_.events = &events;
    setup_.readings = &readings;
    setup_.onSimStopped = [this](const SimStop& stop) {
        step_ = Step::Idle;
        setupDue = false;
        simStopped_ = true; // no tick starts anything again
        if (readings.simStopped)
            readings.simStopped();
        if (onSimStopped)
            onSimStopped(stop);
    };
}

void PollCycle::tick()
{
    startIfDue();
    if (readings.count)
        readings.count(forwardedCount, waitingCount ? waitingCount() : 0);
}

void PollCycle::messageAnnounced()
{
    announced_ = true;
    if (pace_.held)
        startIfDue();
}

void PollCycle::startIfDue()
{
    if (exchange_.state() != LinkState::Ready || simStopped_ || running())
        return;
    if (setupDue) {
        setupDue = false; // before the first command: the block never runs twice
        step_ = Step::Setup;
        setup_.run([this] { setupEnded(); });
        return;
    }
    if (!pace_.held || sendPending || inboxDue() || (outbox_ && outbox_->due()))
        run(afterFirstCycleBlock());
}

// The held link's inbox: listed when announced, drained, or due by the clock.
bool PollCycle::inboxDue() const
{
    // Ticks come once a second: a list falls due at the tick before it would be late.
    constexpr std::int64_t tickMs = 1000;
    const std::int64_t sinceList = clock_.nowMs() - lastListMs_;
    // Announcements start a list at once, but not more than one a tick: a modem (or a
    // flood of messages) announcing without pause does not keep the link busy.
    const bool announcedDue = announced_ && (sinceList >= tickMs || sinceList < 0);
    return announcedDue || drainAgain_ || sinceList > pace_.listEveryMs - tickMs ||
           sinceList < 0; // or a clock set back
}

void PollCycle::outboxEnded()
{
    // The held link sends the next message at once unless the inbox is due; the format
    // the inbox needs is set again before its next list.
    if (pace_.held && !inboxDue()) {
        step_ = Step::Idle;
        return startIfDue();
    }
    run(statusOrInbox());
}

void PollCycle::setupEnded()
{
    fill_ = setup_.storageFill();
    fillWarned_ = false;
    if (fill_)
        checkStorageFill(static_cast<std::size_t>(fill_->used));
    statusAsked_ = false;
    run(afterFirstCycleBlock());
}

// The storage's fill is known from the first cycle; each list then tells how many
// messages it holds.
void PollCycle::checkStorageFill(std::size_t listed)
{
    if (!fill_)
        return;
    const bool nearlyFull = listed * 5 >= static_cast<std::size_t>(fill_->total) * 4;
    if (nearlyFull && !fillWarned_ && events.warning)
        events.warning("message storage 80% full: " + std::to_string(listed) + " of " +
                       std::to_string(fill_->total) + " used");
    fillWarned_ = nearlyFull;
}

// Sends the command of `step`; its reply is decoded in replyArrived().
void PollCycle::run(Step step)
{
    step_ = step;
    switch (step) {
    case Step::Idle:
    case Step::Setup: return;
    case Step::OutgoingFormat:
        formatChanged_ = true;
        return send(CommandKind::Query, outgoing_.format);
    case Step::OutgoingRecipient: return send(CommandKind::Recipient, outgoing_.recipient);
    case Step::OutgoingText: return send(CommandKind::MessageText, outgoing_.body);
    case Step::Outbox:
        formatChanged_ = true; // it sends in PDU format
        return outbox_->sendNext([this] { outboxEnded(); });
    case Step::Signal: return send(CommandKind::Query, "AT+CSQ\r\n");
    case Step::Operator: return send(CommandKind::Query, "AT+COPS?\r\n");
    case Step::Format:
        formatChanged_ = false;
        return send(CommandKind::Query, formatCommand());
    case Step::List:
        lastListMs_ = clock_.nowMs();
        announced_ = false;
        drainAgain_ = false;
        return send(CommandKind::List, ListCommand(messageFormat()));
    case Step::ReadBeforeForward: return send(CommandKind::Read, ReadCommand(message_->indexes.front()));
    case Step::Forward: return forwardEntry();
    case Step::ReadBeforeDelete: return send(CommandKind::Read, ReadCommand(deletes_.front().index));
    case Step::Delete: return continueInbox();
    case Step::IntakeSettle: return send(CommandKind::Query, StoreIntake::settleCommand);
    case Step::IntakeRead: return send(CommandKind::Read, ReadCommand(intakeReads_.front()));
    case Step::IntakeDelete: return send(CommandKind::Delete, DeleteCommand(intakeDeletes_.front()));
    }
}

// The status queries decode the shown reply (when the modem said nothing, the reply
// before it, shown again). The inbox steps read only their own exchange's bytes.
void PollCycle::replyArrived()
{
    const std::string& answer = exchange_.shownReply();
    const std::string& own = exchange_.reply();
    switch (step_) {
    case Step::Idle:
    case Step::Setup: return;
    case Step::OutgoingFormat: return run(Step::OutgoingRecipient);
    case Step::OutgoingRecipient: return run(Step::OutgoingText);
    case Step::OutgoingText: return run(statusOrInbox());
    case Step::Outbox: return; // ends in outboxEnded()
    case Step::Signal:
        if (readings.signal)
            readings.signal(DecodeCSQ(answer));
        return run(Step::Operator);
    case Step::Operator:
        if (readings.operatorName)
            readings.operatorName(DecodeCOPS(answer));
        return run(Step::Format);
    case Step::Format: return run(Step::List);
    case Step::List: return listArrived(own);
    case Step::ReadBeforeForward: return readBeforeForward(own);
    case Step::Forward: return; // ends in forwardingEnded()
    case Step::ReadBeforeDelete: return readBeforeDelete(own);
    case Step::Delete: return continueInbox();
    case Step::IntakeSettle: return intakeSettleArrived(own);
    case Step::IntakeRead: return intakeReadArrived(own);
    case Step::IntakeDelete: return intakeDeleteArrived(own);
    }
}

void PollCycle::listArrived(const std::string& answer)
{
    InboxList list = DecodeCMGLList(answer, messageFormat());
    if (fill_)
        checkStorageFill(list.entries.size());
    if (intake_) {
        const std::vector<std::string> reads = intake_->listed(list, exchange_.replySettled());
        intakeReads_.assign(reads.begin(), reads.end());
        intakeDeletes_.clear();
        intakeCommitted_ = false;
        intakeSettleTries_ = 0;
        return continueIntake();
    }
    listSettled_ = exchange_.replySettled();
    // In text mode a list that went on after it ended may have been cut at a line of its
    // last text that reads "OK": that entry, and whatever came after it, wait.
    if (!listSettled_ && messageFormat() == MessageFormat::Text && !list.entries.empty())
        list.entries.back().complete = false;
    CyclePlan plan = planner_.plan(list, clock_.nowMs());
    for (const std::string& notice : plan.notices)
        if (events.notice)
            events.notice(notice);
    for (const std::string& detail : plan.details)
        if (events.detail)
            events.detail(detail);
    message_ = std::move(plan.forward);
    deletes_.clear();
    // Accepted in an earlier cycle, but the delete did not take: deleted, not sent again.
    for (const PlannedDelete& again : plan.deleteAgain)
        deletes_.push_back({again.index, again.entryKey, true});
    if (message_ && message_->indexes.empty())
        message_.reset(); // nothing to read or delete it by
    forwardPending_ = message_.has_value();
    if (message_) {
        // In text mode it shows once its own read has shown what it is.
        if (messageFormat() != MessageFormat::Text)
            showMessage(message_->shownStamp, message_->shownText);
    } else if (plan.cutShort) {
        // The list was cut off inside this message's text: forwarding it now would send
        // (and delete) a shortened message. It stays for the next cycle.
        showMessage(plan.cutShort->shownStamp, plan.cutShort->shownText);
        showNotForwarded("list cut short");
        if (events.notice)
            events.notice("list cut short by the reply window; message " +
                          plan.cutShort->index + " waits for the next cycle");
    }
    continueInbox();
}

// The deletes waiting, each a read of the slot and then the delete, then this cycle's
// forwarding, then the end.
void PollCycle::continueInbox()
{
    if (!deletes_.empty())
        return run(Step::ReadBeforeDelete);
    if (forwardPending_) {
        forwardPending_ = false;
        // In text mode the list cannot say for sure where a text ends, nor whether an
        // entry is one: what goes out is the message read on its own.
        return run(messageFormat() == MessageFormat::Text ? Step::ReadBeforeForward : Step::Forward);
    }
    step_ = Step::Idle;
    if (pace_.held)
        startIfDue(); // the next message, an announcement or Send that came meanwhile
}

// Step 3 of every cycle: the operator's message when Send was pressed, else the signal.
PollCycle::Step PollCycle::afterFirstCycleBlock()
{
    if (!sendPending)
        return outbox_ && outbox_->due() ? Step::Outbox : statusOrInbox();
    sendPending = false;
    const OutgoingInput input = readOutgoingInput ? readOutgoingInput() : OutgoingInput{};
    outgoing_ = BuildOutgoingCommands(input.number, input.text);
    return Step::OutgoingFormat;
}

// Signal and operator: every cycle, or with the held link when they are due.
PollCycle::Step PollCycle::statusOrInbox()
{
    constexpr std::int64_t tickMs = 1000;
    const std::int64_t now = clock_.nowMs();
    if (pace_.held && statusAsked_ && now - lastStatusMs_ <= pace_.statusEveryMs - tickMs &&
        now >= lastStatusMs_) {
        // The held modem keeps its format; only an outgoing message changed it.
        return formatChanged_ ? Step::Format : Step::List;
    }
    statusAsked_ = true;
    lastStatusMs_ = now;
    return Step::Signal;
}

void PollCycle::forwardEntry()
{
    // No command goes out while the request runs: the cycle holds the gate until it ends.
    forwarder_.send({message_->indexes, message_->sender, message_->parts, message_->textLength},
                    message_->stamp, message_->text, {},
                    [this](const HttpResult& result, ForwardReport report) {
                        forwardingEnded(result, std::move(report));
                    });
}

void PollCycle::forwardingEnded(const HttpResult& result, ForwardReport report)
{
    if (!result.accepted()) {
        // Kept on the modem and tried again in its turn; the next listed message goes
        // first next cycle, so one the web application refuses holds up no other.
        showNotForwarded(result.describe());
        const std::int64_t wait = planner_.refused(*message_, clock_.nowMs());
        if (events.forwarded) {
            report.nextTryMs = wait;
            events.forwarded(report);
        }
        return continueInbox();
    }
    showNotForwarded("");
    ++forwardedCount;
    drainAgain_ = pace_.held;
    planner_.accepted(*message_);
    for (const std::string& index : message_->indexes)
        deletes_.push_back({index, {}, false});
    if (events.forwarded)
        events.forwarded(report);
    continueInbox();
}

void PollCycle::showMessage(const std::string& stamp, const std::string& text)
{
    if (readings.message)
        readings.message(stamp, text);
}

void PollCycle::showNotForwarded(const std::string& why)
{
    if (readings.notForwarded)
        readings.notForwarded(why);
}

void PollCycle::send(CommandKind kind, std::string bytes)
{
    exchange_.SendCommand({kind, std::move(bytes)}, [this] { replyArrived(); });
}

std::string PollCycle::formatCommand() const
{
    // Only "0" and "1" reach here; the configuration turns anything else into "0".
    return messageFormat() == MessageFormat::Pdu ? "AT+CMGF=0\r\n" : "AT+CMGF=1\r\n";
}

MessageFormat PollCycle::messageFormat() const
{
    return FormatOf(settings_.mode);
}

} // namespace zorvel
