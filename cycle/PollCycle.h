#pragma once
// What each tick of the one-second timer does with the modem. A tick starts a cycle only
// when the link is Ready and no cycle is under way (a cycle also holds the gate while
// its forwarding request runs); every tick ends by handing out the count.
//
// A cycle is a chain of exchanges, one command in flight at a time: on the first cycle
// reset, message format, own number, network summary, IMEI and IMSI; then the operator's
// message when Send was pressed; signal, operator, the message format again, and the
// inbox: the first stored message is forwarded and, once the web application accepted
// it, counted and deleted. Which listed message goes out, and how the parts of a long one
// are joined, is the forwarding queue's choice.
//
// The inbox steps decide only by the bytes of their own exchange: a command the modem
// did not answer lists nothing and deletes nothing. Each delete comes right after a read
// of the same slot that shows a message the web application accepted; in text mode a
// message is also read on its own before it is forwarded, and that read is what goes out.
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "Exchange.h"
#include "CycleEvents.h"
#include "CycleReadings.h"
#include "ForwardingPlanner.h"
#include "Forwarder.h"
#include "InboxDecoder.h"
#include "MessageMode.h"
#include "MessageRead.h"
#include "ModemSetup.h"
#include "OutboxSender.h"
#include "OutgoingMessage.h"
#include "StoreIntake.h"

namespace zorvel {

// The held link's pace. Without it every tick while READY runs a whole cycle; with it a
// cycle runs when a message was announced, the inbox is due (at least every 10 s) or the
// operator pressed Send, and asks signal, operator and the message format only every 30 s
// (the format also after an outgoing message, which sets its own). A cycle that
// forwarded a message is followed at once by another, until the inbox is drained.
struct LinkPace {
    bool held = false;
    std::int64_t listEveryMs = 10'000;
    std::int64_t statusEveryMs = 30'000;
};

// What the operator typed, as Latin-1 bytes, read when the send step runs.
struct OutgoingInput {
    std::string number;
    std::string text;
};

class PollCycle {
public:
    PollCycle(Exchange& exchange, HttpClient& http, Clock& clock, ForwardingSettings settings,
              SetupSettings setup = {}, LinkPace pace = {});

    void tick();
    // The Send button only raises the flag; the next cycle sends.
    void sendRequested() { sendPending = true; }
    // The modem announced a new message: with the held link a cycle starts now (or right
    // after the one under way).
    void messageAnnounced();
    // The held link was reopened: the modem may have been reset, so the first cycle's
    // block runs again.
    void linkReopened() { setupDue = true; }
    // The SIM cannot be used without a person: polling has stopped.
    std::function<void(const SimStop&)> onSimStopped;
    bool simStopped() const { return simStopped_; }
    // With the local store the inbox steps keep every listed message on disk and empty
    // the modem; forwarding is then delivery's, not the cycle's.
    void useStore(StoreIntake& intake) { intake_ = &intake; }
    // With the outbox, a cycle first sends the message due, if any (one a cycle); with the
    // held link a cycle starts as soon as one is due, and the next follows at once.
    void useOutbox(OutboxSender& sender) { outbox_ = &sender; }
    // Messages waiting in the store, shown after the count while there are any.
    std::function<int()> waitingCount;

    std::function<OutgoingInput()> readOutgoingInput;
    CycleEvents events;
    CycleReadings readings;

    std::int32_t forwardedCount = 0;
    bool sendPending = false;
    bool setupDue = true;

    bool running() const { return step_ != Step::Idle; }

private:
    enum class Step {
        Idle,
        Setup,
        OutgoingFormat, OutgoingRecipient, OutgoingText, Outbox,
        Signal, Operator, Format, List, ReadBeforeForward, Forward, ReadBeforeDelete, Delete,
        IntakeSettle, IntakeRead, IntakeDelete,
    };
    struct PendingDelete {
        std::string index;
        std::optional<EntryKey> entryKey; // as listed, when planned from the list
        bool forwardedBefore = false; // accepted in an earlier cycle
    };

    void run(Step step);
    void startIfDue();
    void setupEnded();
    bool inboxDue() const;
    void outboxEnded();
    Step statusOrInbox();
    void checkStorageFill(std::size_t listed);
    void replyArrived();
    Step afterFirstCycleBlock();
    void listArrived(const std::string& answer);
    void continueInbox();
    void continueIntake();
    void intakeReadArrived(const std::string& answer);
    void intakeSettleArrived(const std::string& answer);
    void intakeDeleteArrived(const std::string& answer);
    void readBeforeForward(const std::string& answer);
    void readBeforeDelete(const std::string& answer);
    std::optional<ReadMessage> readOnItsOwn(const std::string& answer) const;
    void forwardEntry();
    void forwardingEnded(const HttpResult& result, ForwardReport report);
    void send(CommandKind kind, std::string bytes);
    void showMessage(const std::string& stamp, const std::string& text);
    void showNotForwarded(const std::string& why);
    std::string formatCommand() const;
    MessageFormat messageFormat() const;

    Exchange& exchange_;
    HttpClient& http_;
    Clock& clock_;
    ForwardingSettings settings_;
    Forwarder forwarder_{http_, clock_, settings_};

    LinkPace pace_;
    bool simStopped_ = false;
    ModemSetup setup_;
    std::optional<StorageFill> fill_;
    bool fillWarned_ = false;
    bool announced_ = false;
    bool drainAgain_ = false;
    std::int64_t lastListMs_ = 0;
    std::int64_t lastStatusMs_ = 0;
    bool statusAsked_ = false;
    bool formatChanged_ = false; // the outgoing message's text format is in force

    Step step_ = Step::Idle;
    OutgoingCommands outgoing_;
    ForwardingPlanner planner_;
    std::optional<ListedMessage> message_; // this cycle's message, until its request ends
    bool forwardPending_ = false;
    std::deque<PendingDelete> deletes_;
    bool listSettled_ = true; // the modem had fallen quiet when this cycle's list ended

    StoreIntake* intake_ = nullptr;
    OutboxSender* outbox_ = nullptr;
    std::deque<std::string> intakeReads_;
    std::deque<std::string> intakeDeletes_;
    bool intakeCommitted_ = false;
    int intakeSettleTries_ = 0;
};

} // namespace zorvel
