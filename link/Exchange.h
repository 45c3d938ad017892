#pragma once
// One AT command and its reply, as the poll cycle sees it. Two ways stand behind it: the
// reply window (the port opened for each command, every reply given one to two seconds)
// and the held link (the port kept open, a reply ending with its final result code).
#include <functional>
#include <string>

#include "Command.h"

namespace zorvel {

// Whether the link can take a command: Ready lets the cycle start one, Busy while one
// runs, Down while the held link's port is lost and being opened again. Unavailable: the
// port could not be opened at start, and the program ends.
enum class LinkState { Ready, Busy, Down, Unavailable };

class Exchange {
public:
    virtual ~Exchange() = default;

    // Starts one exchange; `done` runs once it has ended and the link is Ready again. The
    // reply is then in shownReply() (unchanged when nothing arrived). While an exchange
    // runs, a second call is refused (returns false).
    virtual bool SendCommand(Command command, std::function<void()> done) = 0;
    // The program is ending: end the wait now, without running `done`.
    virtual void SetTimeoutFlag() = 0;

    virtual bool waiting() const = 0;
    // This exchange's own bytes (empty when the modem said nothing), unlike shownReply().
    virtual const std::string& reply() const = 0;
    // The last reply the modem gave, with any PIN hidden: this exchange's bytes, or when
    // the modem said nothing, the reply before. A status query decodes this one, so a
    // silent modem shows its older reply again rather than blanks.
    const std::string& shownReply() const { return shown_; }
    LinkState state() const { return state_; }
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

    // For whoever shows the link: its state, each moment it was last seen working (a
    // command out, bytes in, a wait going on), and the reply so far as it grows.
    std::function<void(LinkState)> onState;
    std::function<void()> onChecked;
    std::function<void(const std::string& shown)> onReplyShown;

protected:
    void setState(LinkState state)
    {
        state_ = state;
        if (onState)
            onState(state);
    }
    void checked()
    {
        if (onChecked)
            onChecked();
    }
    void showReply(const std::string& reply);

private:
    LinkState state_ = LinkState::Ready;
    std::string shown_;
};

} // namespace zorvel
