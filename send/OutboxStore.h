#pragma once
// The outgoing messages kept in zorvel.sqlite, as the sending side sees them. Every call
// that changes a state commits it durably before it returns true, so the next step acts
// only on what a crash would leave behind. A change of state of a message that came
// from the web application queues its state report in the same transaction.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvel {

// queued -> sending -> sent -> delivered | failed; unknown when it cannot be known
// whether the modem sent it (never sent again on its own).
enum class OutboxState { Queued, Sending, Sent, Delivered, Failed, Unknown };

// "queued", "sending", "sent", "delivered", "failed", "unknown": the names the store,
// the listing and the state reports use.
std::string_view OutboxStateName(OutboxState state);
std::optional<OutboxState> OutboxStateFromName(std::string_view name);

// Where a message came from: only the web application's hear of their states.
enum class OutboxOrigin { CommandLine, Web, Window, Api };
std::string_view OutboxOriginName(OutboxOrigin origin);
std::optional<OutboxOrigin> OutboxOriginFromName(std::string_view name);

// A message to add. `id` is the web application's own (1 to 64 of A-Z a-z 0-9 - _ .)
// or one the program made; `recipient` passed CheckRecipient, `text` is UTF-8 and
// `parts` what CountSubmitParts gave.
struct NewOutgoing {
    std::string id;
    std::string recipient;
    std::string text;
    int parts = 1;
    OutboxOrigin origin = OutboxOrigin::CommandLine;
};

// One message as kept. `text` is filled only by nextDue (the listing never shows it).
struct OutboxMessage {
    std::string id;
    std::string recipient;
    std::string text;
    int parts = 1;
    OutboxOrigin origin = OutboxOrigin::CommandLine;
    OutboxState state = OutboxState::Queued;
    int tries = 0;               // clean failures before the prompt so far
    std::int64_t createdMs = 0;
    std::int64_t changedMs = 0;  // the last change of state
    std::int64_t nextTryMs = 0;
    std::string lastError;       // empty when none
    int partsSent = 0;           // parts the modem took (a +CMGS reference each)
    int partsReported = 0;       // parts whose final status report came
};

// A part the modem took, as a status report finds it again.
struct SentPart {
    std::string messageId;
    int sequence = 1;            // 1..parts
    int reference = 0;           // the TP-MR the modem answered with "+CMGS:"
    std::int64_t sentMs = 0;
};

// A state report waiting for the web application's 2xx, oldest first.
struct StateReport {
    std::int64_t seq = 0;
    std::string id;
    OutboxState state = OutboxState::Queued;
    std::int64_t changedMs = 0;
    std::string detail;
    int tries = 0;
    std::int64_t nextTryMs = 0;
};

class OutboxStore {
public:
    virtual ~OutboxStore() = default;

    // Why the last write or read failed, printable; empty after one that worked.
    virtual const std::string& problem() const = 0;

    enum class Added { Added, AlreadyThere, Failed };
    // Queued, due at once; an id already in the outbox is left as it is.
    virtual Added add(const NewOutgoing& message, std::int64_t nowMs) = 0;
    virtual std::optional<OutboxMessage> find(const std::string& id) = 0;
    // Every message, newest first, at most `limit`; texts left out.
    virtual std::vector<OutboxMessage> list(std::size_t limit) = 0;

    // The queued message due first (next_try_ms <= nowMs; ties: the oldest), with its text.
    virtual std::optional<OutboxMessage> nextDue(std::int64_t nowMs) = 0;
    // The earliest next_try_ms of a queued message, to know when to look again.
    virtual std::optional<std::int64_t> nextDueAt() = 0;

    // queued -> sending, before the first "AT+CMGS" of its parts goes down the line.
    virtual bool markSending(const std::string& id, std::int64_t nowMs) = 0;
    // The modem answered "+CMGS: <reference>" and OK for this part.
    virtual bool partSent(const std::string& id, int sequence, int reference, std::int64_t nowMs) = 0;
    // sending -> sent, once every part was taken.
    virtual bool markSent(const std::string& id, std::int64_t nowMs) = 0;
    // An error before the prompt: sending -> queued, one more try counted, not tried
    // before `nextTryMs`; the parts the modem took stay taken. The caller decides when
    // tries are spent (markFailed).
    virtual bool sendRefused(const std::string& id, const std::string& failure,
                             std::int64_t nextTryMs, std::int64_t nowMs) = 0;
    // -> failed or unknown, with the reason (the state report's detail).
    virtual bool markFailed(const std::string& id, const std::string& detail, std::int64_t nowMs) = 0;
    virtual bool markUnknown(const std::string& id, const std::string& detail, std::int64_t nowMs) = 0;
    // At start: every message left in `sending` by a crash becomes unknown. How many.
    virtual int sendingBecomesUnknown(const std::string& detail, std::int64_t nowMs) = 0;
    // An operator's resend: unknown or failed -> queued, tries and parts sent cleared.
    // False when the id is unknown or in another state.
    virtual bool resend(const std::string& id, std::int64_t nowMs) = 0;

    // The part a status report is about: the latest part sent to `recipient` with this
    // reference at or after `sinceMs`.
    virtual std::optional<SentPart> findSentPart(int reference, const std::string& recipient,
                                                 std::int64_t sinceMs) = 0;
    // A final report for a part: kept; the message becomes delivered when every part is,
    // failed (with `detail`) when this one failed.
    virtual bool partReported(const SentPart& part, bool delivered, const std::string& detail,
                              std::int64_t nowMs) = 0;

    // Parts the modem took at or after `sinceMs`: for SendPerMinute and SendPerDay.
    virtual int partsSentSince(std::int64_t sinceMs) = 0;

    // State reports for the web application, oldest first, due at `nowMs`; at most `limit`.
    virtual std::vector<StateReport> dueStateReports(std::int64_t nowMs, std::size_t limit) = 0;
    virtual bool stateReportDelivered(std::int64_t seq) = 0;
    virtual bool stateReportRefused(std::int64_t seq, const std::string& failure,
                                    std::int64_t nextTryMs) = 0;
};

} // namespace zorvel
