#pragma once
// The held link: the port is opened once and kept open, and an exchange ends as soon as
// its final result code ("OK", "ERROR", "+CMS ERROR: n", "+CME ERROR: n") or, for the
// recipient of an outgoing message, the "> " prompt has arrived, else at its ceiling.
// Between exchanges the modem's own lines are read: a "+CMTI" announcement is passed on.
//
// It heals itself: a port that fails or vanishes is closed and opened again every few
// seconds, and a modem that answers nothing to several commands in a row is closed and
// opened again at once; each time the owner hears it, so that the modem is set up anew.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Clock.h"
#include "ReplyWindow.h"
#include "Exchange.h"
#include "LineBuffer.h"
#include "ModemPort.h"
#include "ReplyEnd.h"

namespace zorvel {

struct HeldLinkTimes {
    std::int64_t queryCeilingMs = 2'000;
    std::int64_t listCeilingMs = 10'000;  // a list of many messages
    std::int64_t sendCeilingMs = 60'000;  // an outgoing message's text, until the network took it
    // Text mode: a message's text may hold a line "OK". A list or a read ends where the
    // lengths in its headers say its texts end. A modem that gives no lengths: after the
    // final result code the exchange waits this long for more (a modem writes a reply in
    // one go; a text's "OK" is followed at once), then sends a plain "AT": the modem
    // answers it only once the reply is out, so anything before that answer but the
    // modem's own lines shows the reply went on, and it decides nothing.
    bool textMode = false;
    std::int64_t textLingerMs = 0;
    std::int64_t reopenEveryMs = 5'000;
    int silentCommandsAtMost = 3;
    // After a command that reached its ceiling the modem may still answer it. Before the
    // next command a plain "AT" is sent, and once it is answered the exchange waits until
    // the modem was quiet this long: the late reply, if any, is then behind us.
    std::int64_t resyncQuietMs = 200;
};

class HeldLink : public Exchange {
public:
    HeldLink(ModemPort& port, Clock& clock, PortSettings settings, HeldLinkTimes times);
    ~HeldLink() override;

    // Opens the port for good. A port that cannot be opened at start ends the program as
    // with the reply window (onPortUnavailable, false returned); later losses heal.
    bool start();

    bool SendCommand(Command command, std::function<void()> done) override;
    void SetTimeoutFlag() override;
    bool waiting() const override { return waiting_; }
    const std::string& reply() const override { return reply_; }
    bool replySettled() const override { return settled_; }

    bool linkUp() const { return up_; }

    // A "+CMTI" line arrived outside a list or a read: a new message is stored.
    std::function<void()> onAnnounced;
    // The port was lost (`why`) and is now closed; it is tried again every few seconds.
    std::function<void(const std::string& why)> onLinkLost;
    // The port is open again after a loss: the modem may have been reset meanwhile.
    std::function<void()> onLinkBack;

private:
    enum class Ending { FinalResult, Ceiling, LinkLost };

    void collect();
    void writeCommand();
    bool carriesText() const;
    bool sendsText() const;
    // Writes `bytes` and waits for their answer, at most `ceilingMs`.
    void writeAndWait(const std::string& bytes, std::int64_t ceilingMs);
    void resyncHeard();
    void resyncQuiet();
    void readBetweenExchanges();
    void scanAnnouncements(const std::string& bytes);
    bool replyComplete() const;
    void textReplyEnded();
    void startLinger();
    void lingerOn();
    void startConfirm();
    void confirmHeard();
    void armCeiling();
    void ceilingReached();
    void finish(Ending ending);
    void lose(const std::string& why);
    void tryReopen();

    ModemPort& port_;
    Clock& clock_;
    PortSettings settings_;
    HeldLinkTimes times_;
    std::unique_ptr<OneShotTimer> timer_;        // ceiling and stamp refresh
    std::unique_ptr<OneShotTimer> linger_;
    std::unique_ptr<OneShotTimer> reopenTimer_;
    std::unique_ptr<OneShotTimer> nothingHeard_; // an exchange while the port is closed

    bool up_ = false;
    bool waiting_ = false;
    bool lingering_ = false;
    std::size_t lingerFrom_ = 0; // the reply's length when its final result code was whole
    std::int64_t startedMs_ = 0;
    std::int64_t ceilingMs_ = 0;
    std::int64_t lastPieceMs_ = 0;
    Command command_;
    std::string reply_;
    std::string lastPiece_;
    LineBuffer between_; // the modem's own lines between exchanges
    ReplyEnd end_;
    // Text mode: the lengths in the headers say a text goes on past the reply's final
    // result code (a text's own "OK" line, and a pause after it).
    bool framedShort_ = false;
    bool confirming_ = false;  // the "AT" after a text-bearing reply is under way
    bool wentOn_ = false;      // before its answer came more than the modem's own lines
    LineBuffer confirmHeard_;
    int confirmLines_ = 0;
    // The wait after a text-mode reply without lengths: doubled each time a reply went on
    // after it (a modem that pauses inside a text does so again), up to a query's ceiling.
    std::int64_t lingerMs_ = 0;
    bool settled_ = true;
    int silentInARow_ = 0;
    // The last command ended at its ceiling: its reply may still come, and would pass
    // for the next command's. Cleared by the "AT" sent before the next command.
    bool outOfStep_ = false;
    bool resyncing_ = false;
    bool resyncAnswered_ = false; // a final result code came since the "AT"
    LineBuffer resyncHeard_;
    std::function<void()> done_;
};

} // namespace zorvel
