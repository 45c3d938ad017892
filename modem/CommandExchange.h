#pragma once
// One AT command over the serial line: show BUSY, open the port, discard what waits,
// write, collect every byte that arrives until the reply window ends, close, show READY.
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
#include "ModemPort.h"
#include "StatusFields.h"

namespace zorvel {

struct PortSettings {
    int COMport = 0;
    std::string COMspeed;
};

class CommandExchange {
public:
    CommandExchange(ModemPort& port, Clock& clock, StatusFields& fields, PortSettings settings);
    ~CommandExchange();

    // Starts one exchange; `done` runs once the window has passed and READY shows. The
    // reply is then in txtStatus (unchanged when nothing arrived). While an exchange
    // runs, a second call is refused (returns false): txtReady's BUSY is the gate.
    bool SendCommand(std::string command, std::function<void()> done);

    // The window is closing: end the wait now, without running `done`.
    void SetTimeoutFlag();

    bool waiting() const { return waiting_; }
    // This exchange's own bytes (empty when the modem said nothing), unlike txtStatus.
    const std::string& reply() const { return reply_; }
    // The modem had fallen quiet before the window closed: nothing but whole unsolicited
    // lines arrived in its last 200 ms. A reply still streaming in when the window closed
    // may lack its end.
    bool replySettled() const { return settled_; }

    // The port cannot be opened, or the layer refused the settings: the text to show
    // before the program ends. Nothing else of the exchange runs.
    std::function<void(const std::string& message)> onPortUnavailable;

    // For a log: the bytes of each command as written, and the whole reply once its
    // window has run out (not when the window is cut short). Either may be left empty.
    std::function<void(const std::string& command)> onCommandSent;
    std::function<void(const std::string& reply)> onReplyComplete;

private:
    void collect();
    void armWindowTimer();
    void windowTimerFired();
    void finish(bool runDone);

    ModemPort& port_;
    Clock& clock_;
    StatusFields& fields_;
    PortSettings settings_;
    std::unique_ptr<OneShotTimer> timer_;

    bool waiting_ = false;
    std::int64_t deadline_ = 0;
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
