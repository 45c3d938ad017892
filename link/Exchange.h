#pragma once
// One AT command and its reply, as the poll cycle sees it. Two ways stand behind it: the
// reply window (the port opened for each command, every reply given one to two seconds)
// and the held link (the port kept open, a reply ending with its final result code).
#include <functional>
#include <string>

namespace zorvel {

class Exchange {
public:
    virtual ~Exchange() = default;

    // Starts one exchange; `done` runs once it has ended and READY shows. The reply is
    // then in txtStatus (unchanged when nothing arrived). While an exchange runs, a
    // second call is refused (returns false).
    virtual bool SendCommand(std::string command, std::function<void()> done) = 0;
    // The program is ending: end the wait now, without running `done`.
    virtual void SetTimeoutFlag() = 0;

    virtual bool waiting() const = 0;
    // This exchange's own bytes (empty when the modem said nothing), unlike txtStatus.
    virtual const std::string& reply() const = 0;
    // The modem had finished: a reply still streaming in when the exchange ended may
    // lack its end, or may have ended at a line of a message's text that reads "OK".
    virtual bool replySettled() const = 0;

    // The port cannot be opened, or the layer refused the settings: the text to show
    // before the program ends. Nothing else of the exchange runs.
    std::function<void(const std::string& message)> onPortUnavailable;
    // For a log: the bytes of each command as written, and the whole reply once the
    // exchange has ended (not when it is cut short). Either may be left empty.
    std::function<void(const std::string& command)> onCommandSent;
    std::function<void(const std::string& reply)> onReplyComplete;
};

} // namespace zorvel
