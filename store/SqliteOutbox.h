#pragma once
// The outbox in the file zorvel.sqlite of the working folder (see OutboxStore.h and the
// schema in StoreSchema.cpp). It has a connection of its own and takes no folder lock:
// the command line adds to the outbox of a gateway running on the same folder, and the
// gateway beside its SqliteStore. SQLite's locks keep the writes apart; a write that
// finds the file busy fails at once (problem() says so) and is tried again by whoever asked.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

#include "OutboxStore.h"

namespace zorvel {

class SqliteOutbox;
class SqliteStatement;
struct OutboxSession;
struct StoreFile;

struct OutboxOpening {
    enum class Outcome {
        Ready,      // reads (and, opened for writing, writes) work
        Unwritable, // for writing: every write fails for now and opens the file again first;
                    // for reading: nothing to read (no file, unreadable). text says why
        Fatal,      // damaged, from a newer Zorvel or another program's: left as it is
    };
    Outcome outcome = Outcome::Fatal;
    std::unique_ptr<SqliteOutbox> outbox; // Ready and Unwritable
    std::string text;                     // Unwritable and Fatal: one sentence naming the file
};

class SqliteOutbox final : public OutboxStore {
public:
    // Opens or creates the file, upgrading a store of an older schema.
    static OutboxOpening open(const std::string& folder);
    // For listing only: nothing created or upgraded, every write fails. A store from
    // before the outbox reads as an empty outbox.
    static OutboxOpening openForReading(const std::string& folder);

    ~SqliteOutbox() override;

    const std::string& path() const { return path_; }
    // For a command-line run, which may wait: a write that finds the file busy (the
    // gateway writing) waits up to `ms` instead of failing at once.
    void waitWhenBusy(int ms);

    const std::string& problem() const override { return problem_; }
    Added add(const NewOutgoing& message, std::int64_t nowMs) override;
    std::optional<OutboxMessage> find(const std::string& id) override;
    std::vector<OutboxMessage> list(std::size_t limit) override;
    std::optional<OutboxMessage> nextDue(std::int64_t nowMs) override;
    std::optional<std::int64_t> nextDueAt() override;
    bool markSending(const std::string& id, std::int64_t nowMs) override;
    bool partSent(const std::string& id, int sequence, int reference, std::int64_t nowMs) override;
    bool markSent(const std::string& id, std::int64_t nowMs) override;
    bool sendRefused(const std::string& id, const std::string& failure, std::int64_t nextTryMs,
                     std::int64_t nowMs) override;
    bool markFailed(const std::string& id, const std::string& detail, std::int64_t nowMs) override;
    bool markUnknown(const std::string& id, const std::string& detail, std::int64_t nowMs) override;
    // -1 when the write failed (problem() says why).
    int sendingBecomesUnknown(const std::string& detail, std::int64_t nowMs) override;
    bool resend(const std::string& id, std::int64_t nowMs) override;
    std::optional<SentPart> findSentPart(int reference, const std::string& recipient,
                                         std::int64_t sinceMs) override;
    bool partReported(const SentPart& part, bool delivered, const std::string& detail,
                      std::int64_t nowMs) override;
    int partsSentSince(std::int64_t sinceMs) override;
    std::vector<StateReport> dueStateReports(std::int64_t nowMs, std::size_t limit) override;
    bool stateReportDelivered(std::int64_t seq) override;
    bool stateReportRefused(std::int64_t seq, const std::string& failure, std::int64_t nextTryMs) override;

    // Delivered, failed and sent messages unchanged for 7 days go, with their parts (as
    // the incoming ones do 7 days after delivery); never while a state report about one
    // still waits. Queued, sending and unknown messages stay however old.
    bool purge(std::int64_t nowMs);

private:
    class Write;
    struct Row;

    SqliteOutbox(std::string folder, bool forListing);
    OutboxOpening::Outcome adopt(StoreFile& file, std::string& text);
    bool writable();
    bool readable();
    template <typename Result>
    Result readFailed(Result empty);
    std::vector<OutboxMessage> readMessages(SqliteStatement& select, bool withText);

    // One message's change of state inside `write`, from one of the states `from` to
    // `to`: `change` may set more of its row; the web application's messages queue a
    // state report with `detail`.
    bool changeState(Write& write, const std::string& id, std::initializer_list<OutboxState> from,
                     OutboxState to, const std::string& detail, std::int64_t nowMs,
                     const std::function<void(Row&)>& change = {});
    bool changeRow(Write& write, const std::string& id, Row& row, OutboxState to,
                   const std::string& detail, std::int64_t nowMs);
    std::optional<Row> readRow(Write& write, const std::string& id);

    std::string folder_;
    std::string path_;
    bool forListing_;
    std::unique_ptr<OutboxSession> session_;
    bool sessionWritable_ = false;
    std::string problem_;
};

} // namespace zorvel
