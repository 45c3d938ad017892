#pragma once
// The messages taken off the modem and not yet accepted by the web application, kept
// on disk (Store=1). The cycle writes what it listed in one transaction and deletes an
// entry from the modem only after that commit; delivery reads what waits, oldest first,
// and marks each message delivered or refused. The program keeps it in an SQLite file;
// the tests use the same file on a temporary folder.
//
// Every write is one transaction: it all happens or none of it does. A write that fails
// returns false and leaves the reason in problem(); nothing is half done.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zorvel {

// A message ready for the web application: what its request carries.
struct NewMessage {
    std::string id;     // given at intake, never changes (a joined long message has one)
    std::string sender; // the request's values, as forwarding without the store sends them
    std::string stamp;
    std::string text;
    int parts = 1;      // parts joined (missing ones not counted)
};

// Decoded mode: one part of a long message, kept until its message is joined.
struct NewPart {
    std::string longKey; // sender, reference and count: the parts of one message share it
    int sequence = 0;
    int count = 0;
    std::string pdu;     // the part's PDU, hexadecimal, decoded again when joining
};

// One cycle's intake: written in one transaction.
struct Intake {
    // What identifies each modem entry taken in (see ContentKey), with the id of the
    // message or part it went into: such an entry is deleted, never stored again.
    struct Entry {
        std::string content;
        std::string messageId; // empty for a part not joined yet
    };
    std::vector<Entry> entries;
    std::vector<NewMessage> messages;
    std::vector<NewPart> parts;
};

struct StoredPart {
    std::int64_t id = 0; // the store's own number for it
    NewPart part;
    std::int64_t receivedMs = 0; // its intake
};

// A message waiting for delivery.
struct WaitingMessage {
    NewMessage message;
    std::int64_t receivedMs = 0; // intake (a long message: its first part's)
    int tries = 0;               // requests so far
    std::int64_t nextTryMs = 0;  // not before this
    std::string lastFailure;     // the last try's reason, empty before the first
};

class LocalStore {
public:
    virtual ~LocalStore() = default;

    // Why the last write or read failed, for the log and the window ("disk full",
    // "database is locked", ...); empty after one that worked.
    virtual const std::string& problem() const = 0;

    // An entry with this content was taken in earlier (its delete had not taken).
    virtual bool holdsEntry(const std::string& content) = 0;
    // One cycle's intake, committed durably before this returns true.
    virtual bool keep(const Intake& intake, std::int64_t nowMs) = 0;
    // The modem answered the delete of these entries with OK: they are no longer needed
    // to recognise an entry listed again.
    virtual bool entriesDeleted(const std::vector<std::string>& contents) = 0;

    // Decoded mode: the parts waiting to be joined, in intake order.
    virtual std::vector<StoredPart> parts() = 0;
    // One transaction: the message is stored (received at `receivedMs`, its first part's
    // intake), the parts it was joined from are removed.
    virtual bool join(const NewMessage& message, std::int64_t receivedMs,
                      const std::vector<std::int64_t>& partIds) = 0;

    // Waiting messages, the one due first first (ties: intake order); at most `limit`.
    virtual std::vector<WaitingMessage> waiting(std::size_t limit) = 0;
    // How many messages wait (parts of a long message not joined yet count as one).
    virtual int waitingCount() = 0;
    // A 2xx: the text is removed at once; the id, sender and times stay 7 days.
    virtual bool delivered(const std::string& id, int status, std::int64_t nowMs) = 0;
    // Not accepted: one more try counted, the reason kept, not tried before `nextTryMs`.
    virtual bool refused(const std::string& id, const std::string& failure,
                         std::int64_t nextTryMs) = 0;
    // Removes what is older than its keeping time: delivered messages after 7 days, and
    // entries whose delete was never confirmed after 7 days gone from the modem. Entries
    // with a content in `stillListed` are on the modem still: their 7 days start again.
    // Without it (no list came) every entry stays, as nothing says any is gone.
    virtual bool purge(std::int64_t nowMs,
                       const std::optional<std::vector<std::string>>& stillListed) = 0;
    // Every cycle: finishes what an earlier write had to leave for later.
    virtual void catchUp() = 0;
};

} // namespace zorvel
