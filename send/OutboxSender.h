#pragma once
// Sends the outbox's messages on the modem, one at a time, when the cycle gives it its
// turn: PDU format, then for each part "AT+CMGS=<length>", the "> " prompt, the PDU and
// Ctrl-Z, then "+CMGS: <reference>". Every change of state is committed before the next
// command goes out, so a crash never sends a part twice on its own:
// - an error before the prompt (or no prompt) sends nothing: the message waits with the
//   doubling back-off and fails after SendTries tries;
// - once a PDU went down the line, a missing or unreadable answer makes the message
//   unknown: it is never sent again unless an operator asks;
// - an explicit error after the PDU means the modem did not send that part: the parts
//   sent before it stay sent, and the next try goes on from this part.
// SendPerMinute and SendPerDay count parts; when reached, messages wait.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Clock.h"
#include "Exchange.h"
#include "OutboxStore.h"
#include "SmsSubmit.h"

namespace zorvel {

struct SendingSettings {
    int tries = 5;       // clean failures before a message fails
    int perMinute = 6;   // parts in any 60 s; 0: no cap
    int perDay = 0;      // parts in any 24 h; 0: no cap
    int maxParts = 10;
};

class OutboxSender {
public:
    OutboxSender(Exchange& exchange, OutboxStore& store, Clock& clock, SendingSettings settings);

    // At start: a message left in "sending" by a crash may have gone out.
    void recoverAfterCrash();
    // A message waits and the caps let it go now.
    bool due();
    // Sends the next due message (or what remains of it); `done` runs once its turn has
    // ended, whatever came of it. The message format is then PDU: the caller sets its own.
    void sendNext(std::function<void()> done);
    bool running() const { return static_cast<bool>(done_); }
    int maxParts() const { return settings_.maxParts; }

    std::function<void(const std::string&)> onNotice;
    std::function<void(const std::string&)> onWarning;
    // A message's turn ended: its state changed (state reports may be due).
    std::function<void()> onTurnEnded;

private:
    enum class Step { Format, Recipient, Pdu, Cancel };

    void run(Step step);
    void replyArrived();
    void nextPart();
    void partRefused(const std::string& why);
    void cannotTell(const std::string& why);
    void finish();
    bool commit(bool written, const std::string& what);
    std::optional<std::int64_t> capReachedUntil();
    void notice(const std::string& text);

    Exchange& exchange_;
    OutboxStore& store_;
    Clock& clock_;
    SendingSettings settings_;

    Step step_ = Step::Format;
    std::optional<OutboxMessage> message_;
    std::vector<SubmitPart> parts_;
    std::size_t part_ = 0;
    std::string refusal_; // why the part was refused before its prompt, for after the cancel
    std::function<void()> done_;
    std::deque<std::int64_t> sentTimes_; // parts sent in this run, the last 24 h
    std::int64_t capLoggedUntil_ = -1;
};

// The concatenation reference of a message's parts: the same for every try of the
// message, so a part sent again after a restart still joins the others.
int ConcatReference(const std::string& id);

} // namespace zorvel
