#include "ReplyWindow.h"

#include <algorithm>

#include "ReplySettled.h"
#include "ReplyShape.h"

namespace zorvel {

std::string PortUnavailableText(const PortSettings& settings, const OpenResult& opened)
{
    if (!opened.settingsProblem.empty())
        return opened.settingsProblem;
    return "COM" + std::to_string(settings.COMport) + ": not available. Please check or change the port.";
}

ReplyWindow::ReplyWindow(ModemPort& port, Clock& clock, PortSettings settings)
    : port_(port), clock_(clock), settings_(std::move(settings)),
      timer_(clock.createTimer())
{
    port_.onBytesArrived = [this] { collect(); };
}

ReplyWindow::~ReplyWindow()
{
    port_.onBytesArrived = nullptr;
    if (waiting_)
        port_.close();
}

bool ReplyWindow::SendCommand(Command command, std::function<void()> done)
{
    if (waiting_)
        return false;
    setState(LinkState::Busy);
    checked();

    const OpenResult opened = port_.open(settings_.COMport, settings_.COMspeed);
    if (!opened.opened) {
        // The program ends after this message; Busy stays so that no tick starts anything.
        if (onPortUnavailable)
            onPortUnavailable(PortUnavailableText(settings_, opened));
        return true;
    }

    waiting_ = true;
    done_ = std::move(done);
    reply_.clear();
    pieces_.clear();
    port_.discardInput();
    port_.write(command.bytes);
    if (onCommandSent)
        onCommandSent(command.bytes);
    deadline_ = clock_.wholeSeconds() + 1;
    untilFinal_ = command.kind == CommandKind::Submit;
    startedMs_ = clock_.nowMs();
    armWindowTimer();
    // Bytes may already be waiting if the modem is quick and the port reported nothing.
    collect();
    return true;
}

void ReplyWindow::collect()
{
    if (!waiting_)
        return;
    std::string piece = port_.readAll();
    if (piece.empty())
        return;
    pieces_.push_back({clock_.nowMs(), reply_.size()});
    reply_ += piece;
    showReply(reply_);
    checked();
}

// Wakes at each whole-second boundary until the count has passed the deadline, so the
// time stamp stays current while the window runs.
void ReplyWindow::armWindowTimer()
{
    const std::int64_t now = clock_.nowMs();
    const std::int64_t nextSecondMs = (clock_.wholeSeconds() + 1) * 1000;
    timer_->start(nextSecondMs - now, [this] { windowTimerFired(); });
}

void ReplyWindow::windowTimerFired()
{
    if (!waiting_)
        return; // a stale wake-up from an exchange that already ended
    collect();
    checked();
    const std::int64_t seconds = clock_.wholeSeconds();
    if (seconds < deadline_ - 1)
        deadline_ = seconds + 1; // the clock was set back: keep the window short, not hours long
    if (seconds > deadline_ && !awaitsFinalResult())
        finish(true);
    else
        armWindowTimer();
}

// Whether an outbox message's answer, which tells whether it went out, may still come.
bool ReplyWindow::awaitsFinalResult() const
{
    constexpr std::int64_t submitCeilingMs = 60'000;
    if (!untilFinal_)
        return false;
    const std::vector<std::string> lines = ReplyLines(reply_);
    const std::int64_t elapsed = clock_.nowMs() - startedMs_;
    return FinalResultAt(lines) == lines.size() && elapsed >= 0 && elapsed < submitCeilingMs;
}

void ReplyWindow::SetTimeoutFlag()
{
    if (waiting_)
        finish(false);
}

void ReplyWindow::finish(bool runDone)
{
    // All that arrived in the window's last moments, from the first piece within them.
    const auto recent = std::find_if(pieces_.begin(), pieces_.end(), [this](const Piece& piece) {
        return clock_.nowMs() - piece.arrivedMs < settleQuietMs;
    });
    settled_ = recent == pieces_.end() || OnlyOwnLines(reply_.substr(recent->offset));
    timer_->stop();
    waiting_ = false;
    port_.close();
    checked();
    setState(LinkState::Ready);
    auto done = std::move(done_);
    done_ = nullptr;
    if (runDone && onReplyComplete)
        onReplyComplete(reply_);
    if (runDone && done)
        done();
}

} // namespace zorvel
