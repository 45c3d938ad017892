#pragma once
// What the files that change the outbox share: its write transaction, a message's row as
// a change of state reads it, and the count of a round's parts.
#include <optional>
#include <string>

#include "ByteEscape.h"
#include "OutboxSession.h"
#include "SqliteOutbox.h"

namespace zorvel {

inline std::string OutboxMessageName(const std::string& id)
{
    return "message " + EscapeBytes(id);
}

// One message's row as a change of state reads and writes it.
struct SqliteOutbox::Row {
    OutboxState state = OutboxState::Queued;
    OutboxOrigin origin = OutboxOrigin::CommandLine;
    int parts = 1;
    std::int64_t round = 1;
    int tries = 0;
    std::int64_t nextTryMs = 0;
    std::string lastError;
};

// One write transaction, as the store's own: nothing of it stays unless commit() says so.
class SqliteOutbox::Write {
public:
    explicit Write(SqliteOutbox& outbox) : outbox_(outbox)
    {
        if (!outbox_.writable())
            return;
        begun_ = db().exec("BEGIN IMMEDIATE");
        if (!begun_)
            fail(db().error());
    }
    ~Write()
    {
        if (outbox_.sessionWritable_)
            db().rollback();
    }
    Write(const Write&) = delete;
    Write& operator=(const Write&) = delete;

    bool begun() const { return begun_; }
    OutboxSession& session() { return *outbox_.session_; }

    bool fail()
    {
        db().noteError();
        return fail(db().error());
    }
    bool fail(const std::string& why)
    {
        db().rollback();
        outbox_.problem_ = "cannot write " + EscapeBytes(outbox_.path_) + ": " + why;
        return false;
    }
    bool commit()
    {
        if (!db().exec("COMMIT"))
            return fail(db().error());
        outbox_.problem_.clear();
        return true;
    }

private:
    SqliteDatabase& db() { return outbox_.session_->db; }

    SqliteOutbox& outbox_;
    bool begun_ = false;
};

struct RoundParts {
    int sent = 0;
    int delivered = 0;
};

// The parts of a message's current round sent, and reported delivered.
inline std::optional<RoundParts> CountRoundParts(OutboxSession& s, const std::string& id, std::int64_t round)
{
    StatementUse use(s.roundParts);
    s.roundParts.bindText(1, id).bind(2, round);
    if (s.roundParts.step() != SqliteStatement::Step::Row)
        return std::nullopt;
    return RoundParts{static_cast<int>(s.roundParts.integer(0)), static_cast<int>(s.roundParts.integer(1))};
}

} // namespace zorvel
