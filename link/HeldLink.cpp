#include "HeldLink.h"

#include <algorithm>

#include "ReplySettled.h"
#include "ReplyShape.h"
#include "SimReplies.h"
#include "TextFraming.h"

namespace zorvel {

namespace {

// No reply of the commands sent comes near this (a list of 150 messages is under 100 KB);
// a modem that streams on is cut here rather than filling memory.
constexpr std::size_t longestReply = 1 << 20;

} // namespace

HeldLink::HeldLink(ModemPort& port, Clock& clock, PortSettings settings,
                           HeldLinkTimes times)
    : port_(port), clock_(clock), settings_(std::move(settings)), times_(times),
      timer_(clock.createTimer()), linger_(clock.createTimer()), reopenTimer_(clock.createTimer()),
      nothingHeard_(clock.createTimer())
{
    port_.onBytesArrived = [this] { collect(); };
    port_.onFailure = [this](const std::string& why) { lose(why); };
}

HeldLink::~HeldLink()
{
    port_.onBytesArrived = nullptr;
    port_.onFailure = nullptr;
    if (up_)
        port_.close();
}

bool HeldLink::start()
{
    const OpenResult opened = port_.open(settings_.COMport, settings_.COMspeed);
    if (!opened.opened) {
        setState(LinkState::Unavailable); // no tick starts anything before the end
        if (onPortUnavailable)
            onPortUnavailable(PortUnavailableText(settings_, opened));
        return false;
    }
    up_ = true;
    port_.discardInput();
    return true;
}

bool HeldLink::SendCommand(Command command, std::function<void()> done)
{
    if (waiting_)
        return false;
    waiting_ = true;
    done_ = std::move(done);
    reply_.clear();
    end_.clear();
    lastPiece_.clear();
    lingering_ = false;
    framedShort_ = false;
    confirming_ = false;
    wentOn_ = false;
    command_ = std::move(command);
    checked();
    if (!up_) {
        // Nothing can be heard; the cycle goes on as with a silent modem and the next
        // one waits for the port.
        nothingHeard_->start(0, [this] { finish(Ending::LinkLost); });
        return true;
    }
    setState(LinkState::Busy);

    readBetweenExchanges(); // an announcement that waits is not lost with the discard
    port_.discardInput();
    // An outgoing message's text goes as it is: after a prompt that came late the modem
    // would take an "AT" for part of the message.
    if (!outOfStep_ || sendsText()) {
        writeCommand();
        return true;
    }
    // A late reply of the command before must not pass for this one's.
    resyncing_ = true;
    resyncAnswered_ = false;
    resyncHeard_.clear();
    writeAndWait("AT\r\n", times_.queryCeilingMs);
    return true;
}

void HeldLink::writeCommand()
{
    writeAndWait(command_.bytes, command_.kind == CommandKind::List          ? times_.listCeilingMs
                                 : sendsText()                                ? times_.sendCeilingMs
                                                                             : times_.queryCeilingMs);
}

bool HeldLink::sendsText() const
{
    return command_.kind == CommandKind::MessageText || command_.kind == CommandKind::Submit;
}

// A list's or a read's reply may carry a message's text, and a text may imitate any line.
bool HeldLink::carriesText() const
{
    return command_.kind == CommandKind::List || command_.kind == CommandKind::Read;
}

void HeldLink::writeAndWait(const std::string& bytes, std::int64_t ceilingMs)
{
    ceilingMs_ = ceilingMs;
    startedMs_ = clock_.nowMs();
    if (onCommandSent)
        onCommandSent(bytes);
    port_.write(bytes);
    if (waiting_) { // the write may have failed and ended the exchange
        armCeiling();
        collect();
    }
}

// While resyncing, the command waits for a final result code (the late reply's, or the
// "AT"'s own) and then for a quiet spell: every byte starts it anew, as the "AT"'s own
// answer may still be on its way behind the late reply. A line that never falls quiet
// ends the wait at the "AT"'s ceiling. What is heard answers nothing of the cycle's.
void HeldLink::resyncHeard()
{
    const std::string piece = port_.readAll();
    if (piece.empty())
        return;
    for (const std::string& line : resyncHeard_.feed(piece))
        resyncAnswered_ = resyncAnswered_ || IsFinalResult(ReplyLines(line).front());
    if (resyncAnswered_)
        linger_->start(times_.resyncQuietMs, [this] { resyncQuiet(); });
}

void HeldLink::resyncQuiet()
{
    resyncing_ = false;
    outOfStep_ = false;
    timer_->stop();
    linger_->stop();
    port_.discardInput();
    writeCommand();
}

void HeldLink::collect()
{
    if (!waiting_) {
        readBetweenExchanges();
        return;
    }
    if (resyncing_)
        return resyncHeard();
    if (confirming_)
        return confirmHeard();
    std::string piece = port_.readAll();
    if (piece.empty())
        return;
    lastPieceMs_ = clock_.nowMs();
    lastPiece_ = piece;
    reply_ += piece;
    end_.feed(piece);
    showReply(reply_);
    checked();
    // A text can imitate an announcement; only replies without message text count.
    if (!carriesText())
        scanAnnouncements(piece);
    if (reply_.size() > longestReply)
        return finish(Ending::Ceiling);
    if (lingering_)
        return lingerOn();
    if (!replyComplete())
        return;
    if (carriesText() && times_.textMode)
        return textReplyEnded();
    finish(Ending::FinalResult);
}

// The reply ends with a whole final result code line (unsolicited lines may follow it),
// or with the prompt for an outgoing message's text.
bool HeldLink::replyComplete() const
{
    if (command_.kind == CommandKind::Recipient && reply_.ends_with("> "))
        return true;
    if (reply_.empty() || reply_.back() != '\n')
        return false;
    return end_.final();
}

void HeldLink::readBetweenExchanges()
{
    if (!up_)
        return;
    const std::string bytes = port_.readAll();
    if (!bytes.empty())
        scanAnnouncements(bytes);
}

void HeldLink::scanAnnouncements(const std::string& bytes)
{
    for (std::string line : between_.feed(bytes)) {
        while (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.starts_with("+CMTI:") && IsUnsolicited(line) && onAnnounced)
            onAnnounced();
    }
}

// Wakes at the ceiling, and at each whole second before it so that the time stamp stays
// current during a long wait.
void HeldLink::armCeiling()
{
    const std::int64_t now = clock_.nowMs();
    const std::int64_t deadline = startedMs_ + ceilingMs_;
    const std::int64_t nextSecond = (now / 1000 + 1) * 1000;
    timer_->start(std::max<std::int64_t>(0, std::min(deadline, nextSecond) - now),
                  [this] { ceilingReached(); });
}

void HeldLink::ceilingReached()
{
    if (!waiting_)
        return;
    collect();
    if (!waiting_)
        return;
    checked();
    // A wall clock set back does not stretch the wait: the ceiling counts from the start
    // as the clock gives it, and a start in the future means the clock moved.
    const std::int64_t now = clock_.nowMs();
    if (now < startedMs_)
        startedMs_ = now;
    if (now - startedMs_ < ceilingMs_)
        return armCeiling();
    if (resyncing_ && resyncAnswered_)
        return resyncQuiet(); // answered, on a line that does not fall quiet
    // A text-mode reply that ended with a final result code, yet the lengths said more
    // was due (they may be wrong) or the wait for more had not passed: the modem's
    // answer to "AT" tells whether it went on.
    if (!confirming_ && (framedShort_ || lingering_) && replyComplete()) {
        linger_->stop();
        lingering_ = false;
        framedShort_ = false;
        return startConfirm();
    }
    finish(Ending::Ceiling);
}

void HeldLink::SetTimeoutFlag()
{
    if (!waiting_)
        return;
    timer_->stop();
    linger_->stop();
    nothingHeard_->stop();
    waiting_ = false;
    lingering_ = false;
    resyncing_ = false;
    confirming_ = false;
    done_ = nullptr;
}

void HeldLink::finish(Ending ending)
{
    if (!waiting_)
        return;
    timer_->stop();
    linger_->stop();
    nothingHeard_->stop();
    lingering_ = false;
    waiting_ = false;
    // A resync that heard no answer leaves the command unsent and the link out of step.
    resyncing_ = false;
    // A reply that went on past what ended it may still be coming.
    outOfStep_ = outOfStep_ || ending == Ending::Ceiling || wentOn_;
    const bool confirmUnanswered = confirming_ && ending != Ending::FinalResult;
    if (wentOn_)
        lingerMs_ = std::min(std::max<std::int64_t>(lingerMs_, 100) * 2, times_.queryCeilingMs);
    confirming_ = false;
    switch (ending) {
    case Ending::FinalResult:
        settled_ = !wentOn_;
        break;
    case Ending::LinkLost:
        settled_ = false;
        break;
    case Ending::Ceiling:
        // As at the end of a reply window: settled when the modem had fallen quiet, or
        // only announced something of its own.
        settled_ = !confirmUnanswered && !framedShort_ &&
                   (clock_.nowMs() - lastPieceMs_ >= settleQuietMs || OnlyOwnLines(lastPiece_));
        break;
    }
    const bool heardNothing = reply_.empty() && ending == Ending::Ceiling;
    silentInARow_ = heardNothing ? silentInARow_ + 1 : (reply_.empty() ? silentInARow_ : 0);
    checked();
    if (up_ && silentInARow_ >= times_.silentCommandsAtMost) {
        silentInARow_ = 0;
        lose("the modem answered nothing to " + std::to_string(times_.silentCommandsAtMost) +
             " commands in a row");
        tryReopen(); // at once: the port itself is there
    }
    if (up_)
        setState(LinkState::Ready);
    auto done = std::move(done_);
    done_ = nullptr;
    if (ending != Ending::LinkLost && onReplyComplete)
        onReplyComplete(reply_);
    // The lengths asked for served to find the reply's end; the cycle reads the headers
    // as a modem writes them without.
    if (carriesText() && times_.textMode)
        reply_ = WithoutTextParameters(reply_);
    if (done)
        done();
}

void HeldLink::lose(const std::string& why)
{
    if (!up_)
        return;
    up_ = false;
    between_.clear();
    port_.close();
    setState(LinkState::Down);
    if (onLinkLost)
        onLinkLost(why);
    // An exchange under way ends with what it heard.
    if (waiting_)
        nothingHeard_->start(0, [this] { finish(Ending::LinkLost); });
    reopenTimer_->start(times_.reopenEveryMs, [this] { tryReopen(); });
}

void HeldLink::tryReopen()
{
    if (up_)
        return;
    const OpenResult opened = port_.open(settings_.COMport, settings_.COMspeed);
    if (!opened.opened) {
        reopenTimer_->start(times_.reopenEveryMs, [this] { tryReopen(); });
        return;
    }
    reopenTimer_->stop();
    up_ = true;
    silentInARow_ = 0;
    port_.discardInput();
    if (!waiting_)
        setState(LinkState::Ready);
    if (onLinkBack)
        onLinkBack();
}

} // namespace zorvel
