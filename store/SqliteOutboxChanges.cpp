// What changes a message's state: each call one transaction, committed before it says
// true, with the state reports of the web application's messages written in the same one.
#include "OutboxWrite.h"

namespace zorvel {

namespace {

using Step = SqliteStatement::Step;

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
            write.fail(OutboxMessageName(id) + " is not in the outbox");
        return std::nullopt;
    }
    const std::optional<OutboxState> state = OutboxStateFromName(s.selectRow.text(0));
    if (!state) {
        write.fail(OutboxMessageName(id) + " has an unknown state \"" + EscapeBytes(s.selectRow.text(0)) + "\"");
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
        return write.fail(OutboxMessageName(id) + " is " + std::string(OutboxStateName(row->state)) + ", it cannot become " +
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
        return write.fail(OutboxMessageName(id) + " is " + std::string(OutboxStateName(row->state)) + ", not sending");
    const std::optional<RoundParts> parts = CountRoundParts(write.session(), id, row->round);
    if (!parts)
        return write.fail();
    if (parts->sent != row->parts)
        return write.fail(OutboxMessageName(id) + " has " + std::to_string(parts->sent) + " of its " +
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
    // The parts the modem took stay taken: the next try goes on from the first it did
    // not take, with the same concatenation reference, so the recipient gets each once.
    return write.begun() &&
           changeState(write, id, {OutboxState::Sending}, OutboxState::Queued, failure, nowMs,
                       [&](Row& row) {
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

} // namespace zorvel
