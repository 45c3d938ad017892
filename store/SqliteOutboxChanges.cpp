// What changes the outbox: each call one transaction, committed before it says true, with
// the state reports of the web application's messages written in the same one.
#include "ByteEscape.h"
#include "OutboxSession.h"
#include "SqliteOutbox.h"

namespace zorvel {

namespace {

using Step = SqliteStatement::Step;

constexpr std::int64_t keepingTimeMs = 7LL * 24 * 60 * 60 * 1000;

std::string quoted(const std::string& id)
{
    return "message " + EscapeBytes(id);
}

// 1 to 64 of A-Z a-z 0-9 - _ . : what a web address and a terminal carry unchanged.
bool isMessageId(const std::string& id)
{
    if (id.empty() || id.size() > 64)
        return false;
    for (char c : id)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
              c == '_' || c == '.'))
            return false;
    return true;
}

} // namespace

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

namespace {

bool queueReport(OutboxSession& s, const std::string& id, OutboxState state, const std::string& detail,
                 std::int64_t nowMs)
{
    StatementUse use(s.insertReport);
    s.insertReport.bindText(1, id).bindText(2, OutboxStateName(state)).bind(3, nowMs).bindText(4, detail);
    return s.insertReport.step() == Step::Done;
}

} // namespace

OutboxStore::Added SqliteOutbox::add(const NewOutgoing& message, std::int64_t nowMs)
{
    Write write(*this);
    if (!write.begun())
        return Added::Failed;
    if (!isMessageId(message.id))
        return write.fail("the id \"" + EscapeBytes(message.id.substr(0, 80)) +
                          "\" is not 1 to 64 of A-Z a-z 0-9 - _ ."),
               Added::Failed;
    OutboxSession& s = write.session();
    {
        StatementUse use(s.selectRow);
        s.selectRow.bindText(1, message.id);
        const Step found = s.selectRow.step();
        if (found == Step::Error)
            return write.fail(), Added::Failed;
        if (found == Step::Row) {
            problem_.clear();
            return Added::AlreadyThere;
        }
    }
    {
        StatementUse use(s.insertMessage);
        s.insertMessage.bindText(1, message.id).bindText(2, message.recipient).bindText(3, message.text)
            .bind(4, message.parts).bindText(5, OutboxOriginName(message.origin)).bind(6, nowMs);
        if (s.insertMessage.step() != Step::Done)
            return write.fail(), Added::Failed;
    }
    if (message.origin == OutboxOrigin::Web && !queueReport(s, message.id, OutboxState::Queued, "", nowMs))
        return write.fail(), Added::Failed;
    return write.commit() ? Added::Added : Added::Failed;
}

std::optional<SqliteOutbox::Row> SqliteOutbox::readRow(Write& write, const std::string& id)
{
    OutboxSession& s = write.session();
    StatementUse use(s.selectRow);
    s.selectRow.bindText(1, id);
    const Step step = s.selectRow.step();
    if (step != Step::Row) {
        if (step == Step::Error)
            write.fail();
        else
            write.fail(quoted(id) + " is not in the outbox");
        return std::nullopt;
    }
    const std::optional<OutboxState> state = OutboxStateFromName(s.selectRow.text(0));
    if (!state) {
        write.fail(quoted(id) + " has an unknown state \"" + EscapeBytes(s.selectRow.text(0)) + "\"");
        return std::nullopt;
    }
    Row row;
    row.state = *state;
    row.origin = OutboxOriginFromName(s.selectRow.text(1)).value_or(OutboxOrigin::Api);
    row.parts = static_cast<int>(s.selectRow.integer(2));
    row.round = s.selectRow.integer(3);
    row.tries = static_cast<int>(s.selectRow.integer(4));
    row.nextTryMs = s.selectRow.integer(5);
    row.lastError = s.selectRow.text(6);
    return row;
}

bool SqliteOutbox::changeRow(Write& write, const std::string& id, Row& row, OutboxState to,
                             const std::string& detail, std::int64_t nowMs)
{
    OutboxSession& s = write.session();
    row.state = to;
    {
        StatementUse use(s.writeRow);
        s.writeRow.bindText(1, id).bindText(2, OutboxStateName(to)).bind(3, nowMs).bind(4, row.round)
            .bind(5, row.tries).bind(6, row.nextTryMs).bindText(7, row.lastError);
        if (s.writeRow.step() != Step::Done)
            return write.fail();
    }
    if (row.origin == OutboxOrigin::Web && !queueReport(s, id, to, detail, nowMs))
        return write.fail();
    return true;
}

bool SqliteOutbox::changeState(Write& write, const std::string& id, std::initializer_list<OutboxState> from,
                               OutboxState to, const std::string& detail, std::int64_t nowMs,
                               const std::function<void(Row&)>& change)
{
    std::optional<Row> row = readRow(write, id);
    if (!row)
        return false;
    bool allowed = false;
    for (OutboxState state : from)
        allowed = allowed || state == row->state;
    if (!allowed)
        return write.fail(quoted(id) + " is " + std::string(OutboxStateName(row->state)) + ", it cannot become " +
                          std::string(OutboxStateName(to)));
    if (change)
        change(*row);
    return changeRow(write, id, *row, to, detail, nowMs);
}

bool SqliteOutbox::markSending(const std::string& id, std::int64_t nowMs)
{
    Write write(*this);
    return write.begun() &&
           changeState(write, id, {OutboxState::Queued}, OutboxState::Sending, "", nowMs) && write.commit();
}

bool SqliteOutbox::partSent(const std::string& id, int sequence, int reference, std::int64_t nowMs)
{
    Write write(*this);
    if (!write.begun())
        return false;
    const std::optional<Row> row = readRow(write, id);
    if (!row)
        return false;
    // Failed: a report of an earlier part came while this one was sent; it counts all the same.
    if (row->state != OutboxState::Sending && row->state != OutboxState::Failed)
        return write.fail(quoted(id) + " is " + std::string(OutboxStateName(row->state)) + ", not sending");
    if (sequence < 1 || sequence > row->parts || reference < 0 || reference > 255)
        return write.fail("part " + std::to_string(sequence) + " with reference " + std::to_string(reference) +
                          " does not fit " + quoted(id) + " of " + std::to_string(row->parts) + " parts");
    OutboxSession& s = write.session();
    StatementUse use(s.insertPart);
    s.insertPart.bindText(1, id).bind(2, row->round).bind(3, sequence).bind(4, reference).bind(5, nowMs);
    if (s.insertPart.step() != Step::Done)
        return write.fail();
    return write.commit();
}

namespace {

struct RoundParts {
    int sent = 0;
    int delivered = 0;
};

std::optional<RoundParts> roundParts(OutboxSession& s, const std::string& id, std::int64_t round)
{
    StatementUse use(s.roundParts);
    s.roundParts.bindText(1, id).bind(2, round);
    if (s.roundParts.step() != Step::Row)
        return std::nullopt;
    return RoundParts{static_cast<int>(s.roundParts.integer(0)), static_cast<int>(s.roundParts.integer(1))};
}

} // namespace

bool SqliteOutbox::markSent(const std::string& id, std::int64_t nowMs)
{
    Write write(*this);
    if (!write.begun())
        return false;
    std::optional<Row> row = readRow(write, id);
    if (!row)
        return false;
    // A part's failure was reported before the last part went: failed it stays.
    if (row->state == OutboxState::Failed)
        return write.commit();
    if (row->state != OutboxState::Sending)
        return write.fail(quoted(id) + " is " + std::string(OutboxStateName(row->state)) + ", not sending");
    const std::optional<RoundParts> parts = roundParts(write.session(), id, row->round);
    if (!parts)
        return write.fail();
    if (parts->sent != row->parts)
        return write.fail(quoted(id) + " has " + std::to_string(parts->sent) + " of its " +
                          std::to_string(row->parts) + " parts sent");
    if (!changeRow(write, id, *row, OutboxState::Sent, "", nowMs))
        return false;
    // Every report came before this: nothing more to wait for.
    if (parts->delivered == row->parts && !changeRow(write, id, *row, OutboxState::Delivered, "", nowMs))
        return false;
    return write.commit();
}

bool SqliteOutbox::sendRefused(const std::string& id, const std::string& failure, std::int64_t nextTryMs,
                               std::int64_t nowMs)
{
    Write write(*this);
    // A new round: the parts taken before the refusal are sent again, and still count
    // towards the caps.
    return write.begun() &&
           changeState(write, id, {OutboxState::Sending}, OutboxState::Queued, failure, nowMs,
                       [&](Row& row) {
                           ++row.round;
                           ++row.tries;
                           row.nextTryMs = nextTryMs;
                           row.lastError = failure;
                       }) &&
           write.commit();
}

bool SqliteOutbox::markFailed(const std::string& id, const std::string& detail, std::int64_t nowMs)
{
    Write write(*this);
    return write.begun() &&
           changeState(write, id, {OutboxState::Queued, OutboxState::Sending, OutboxState::Sent, OutboxState::Unknown},
                       OutboxState::Failed, detail, nowMs, [&](Row& row) { row.lastError = detail; }) &&
           write.commit();
}

bool SqliteOutbox::markUnknown(const std::string& id, const std::string& detail, std::int64_t nowMs)
{
    Write write(*this);
    return write.begun() &&
           changeState(write, id, {OutboxState::Queued, OutboxState::Sending, OutboxState::Sent},
                       OutboxState::Unknown, detail, nowMs, [&](Row& row) { row.lastError = detail; }) &&
           write.commit();
}

int SqliteOutbox::sendingBecomesUnknown(const std::string& detail, std::int64_t nowMs)
{
    Write write(*this);
    if (!write.begun())
        return -1;
    OutboxSession& s = write.session();
    std::vector<std::string> ids;
    {
        StatementUse use(s.selectSending);
        Step step;
        while ((step = s.selectSending.step()) == Step::Row)
            ids.push_back(s.selectSending.text(0));
        if (step == Step::Error)
            return write.fail(), -1;
    }
    for (const std::string& id : ids)
        if (!changeState(write, id, {OutboxState::Sending}, OutboxState::Unknown, detail, nowMs,
                         [&](Row& row) { row.lastError = detail; }))
            return -1;
    return write.commit() ? static_cast<int>(ids.size()) : -1;
}

bool SqliteOutbox::resend(const std::string& id, std::int64_t nowMs)
{
    Write write(*this);
    return write.begun() &&
           changeState(write, id, {OutboxState::Unknown, OutboxState::Failed}, OutboxState::Queued, "", nowMs,
                       [&](Row& row) {
                           ++row.round;
                           row.tries = 0;
                           row.nextTryMs = nowMs;
                           row.lastError.clear();
                       }) &&
           write.commit();
}

bool SqliteOutbox::partReported(const SentPart& part, bool delivered, const std::string& detail,
                                std::int64_t nowMs)
{
    Write write(*this);
    if (!write.begun())
        return false;
    std::optional<Row> row = readRow(write, part.messageId);
    if (!row)
        return false;
    OutboxSession& s = write.session();
    {
        StatementUse use(s.findPart);
        s.findPart.bindText(1, part.messageId).bind(2, row->round).bind(3, part.sequence);
        const Step found = s.findPart.step();
        if (found == Step::Error)
            return write.fail();
        if (found == Step::Done)
            return write.fail("part " + std::to_string(part.sequence) + " of " + quoted(part.messageId) +
                              " was not sent");
        // A report heard twice (the modem told it again): the first one stands.
        if (!s.findPart.isNull(0))
            return write.commit();
    }
    {
        StatementUse use(s.reportPart);
        s.reportPart.bindText(1, part.messageId).bind(2, row->round).bind(3, part.sequence)
            .bindText(4, delivered ? "delivered" : "failed").bind(5, nowMs);
        if (s.reportPart.step() != Step::Done)
            return write.fail();
    }
    const bool open = row->state == OutboxState::Sending || row->state == OutboxState::Sent ||
                      row->state == OutboxState::Unknown;
    if (!delivered && open) {
        row->lastError = detail;
        if (!changeRow(write, part.messageId, *row, OutboxState::Failed, detail, nowMs))
            return false;
    } else if (delivered && (row->state == OutboxState::Sent || row->state == OutboxState::Unknown)) {
        const std::optional<RoundParts> parts = roundParts(s, part.messageId, row->round);
        if (!parts)
            return write.fail();
        if (parts->delivered == row->parts &&
            !changeRow(write, part.messageId, *row, OutboxState::Delivered, detail, nowMs))
            return false;
    }
    return write.commit();
}

bool SqliteOutbox::stateReportDelivered(std::int64_t seq)
{
    Write write(*this);
    if (!write.begun())
        return false;
    OutboxSession& s = write.session();
    StatementUse use(s.deleteReport);
    s.deleteReport.bind(1, seq);
    // Gone already (a commit that looked failed): done all the same.
    if (s.deleteReport.step() != Step::Done)
        return write.fail();
    return write.commit();
}

bool SqliteOutbox::stateReportRefused(std::int64_t seq, const std::string& failure, std::int64_t nextTryMs)
{
    Write write(*this);
    if (!write.begun())
        return false;
    OutboxSession& s = write.session();
    StatementUse use(s.refuseReport);
    s.refuseReport.bind(1, seq).bindText(2, failure).bind(3, nextTryMs);
    if (s.refuseReport.step() != Step::Done)
        return write.fail();
    if (s.db.changes() != 1)
        return write.fail("state report " + std::to_string(seq) + " is not waiting");
    return write.commit();
}

bool SqliteOutbox::purge(std::int64_t nowMs)
{
    Write write(*this);
    if (!write.begun())
        return false;
    OutboxSession& s = write.session();
    for (SqliteStatement* statement : {&s.purgeParts, &s.purgeMessages}) {
        StatementUse use(*statement);
        statement->bind(1, nowMs - keepingTimeMs);
        if (statement->step() != Step::Done)
            return write.fail();
    }
    return write.commit();
}

} // namespace zorvel
