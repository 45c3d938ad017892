#pragma once
// One AT command over the serial line: Busy, open the port, discard what waits, write,
// collect every byte that arrives until the reply window ends, close, Ready again.
// The window always runs its full length: it ends at the first moment the whole-second
// count exceeds (count at the write + 1), so it lasts more than one and at most two
// seconds whatever the modem sends. Nothing blocks: the wait is a timer plus the port's
// arrival notifications.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Clock.h"
#include "Exchange.h"
#include "ModemPort.h"

namespace zorvel {

struct PortSettings {
    int COMport = 0;
    std::string COMspeed;
};

// What the user reads when the port cannot be opened at start: the layer's own problem
// with the settings, or "COM3: not available. Please check or change the port."
std::string PortUnavailableText(const PortSettings& settings, const OpenResult& opened);

class ReplyWindow : public Exchange {
public:
    ReplyWindow(ModemPort& port, Clock& clock, PortSettings settings);
    ~ReplyWindow();

    // `done` runs once the window has passed; the Busy state is the gate. The window is
    // the same whatever the command's kind, except an outbox message's PDU (Submit): its
    // window stays open until the final result code, at most a minute.
    bool SendCommand(Command command, std::function<void()> done) override;
    // The window is closing.
    void SetTimeoutFlag() override;

    bool waiting() const override { return waiting_; }
    const std::string& reply() const override { return reply_; }
    // Nothing but whole unsolicited lines arrived in the window's last 200 ms.
    bool replySettled() const override { return settled_; }

private:
    void collect();
    void armWindowTimer();
    void windowTimerFired();
    void finish(bool runDone);
    bool awaitsFinalResult() const;

    ModemPort& port_;
    Clock& clock_;
    PortSettings settings_;
    std::unique_ptr<OneShotTimer> timer_;

    bool waiting_ = false;
    std::int64_t deadline_ = 0;
    bool untilFinal_ = false;
    std::int64_t startedMs_ = 0;
    std::string reply_;
    struct Piece {
        std::int64_t arrivedMs;
        std::size_t offset;
    };
    std::vector<Piece> pieces_;
    bool settled_ = true;
    std::function<void()> done_;
};

} // namespace zorvel
