// The parts the modem took and their status reports, the state reports the web
// application accepts or refuses, and the purge.
#include "OutboxWrite.h"

namespace zorvel {

namespace {

using Step = SqliteStatement::Step;

constexpr std::int64_t keepingTimeMs = 7LL * 24 * 60 * 60 * 1000;

} // namespace

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
        return write.fail(OutboxMessageName(id) + " is " + std::string(OutboxStateName(row->state)) + ", not sending");
    if (sequence < 1 || sequence > row->parts || reference < 0 || reference > 255)
        return write.fail("part " + std::to_string(sequence) + " with reference " + std::to_string(reference) +
                          " does not fit " + OutboxMessageName(id) + " of " + std::to_string(row->parts) + " parts");
    OutboxSession& s = write.session();
    StatementUse use(s.insertPart);
    s.insertPart.bindText(1, id).bind(2, row->round).bind(3, sequence).bind(4, reference).bind(5, nowMs);
    if (s.insertPart.step() != Step::Done)
        return write.fail();
    return write.commit();
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
            return write.fail("part " + std::to_string(part.sequence) + " of " + OutboxMessageName(part.messageId) +
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
        const std::optional<RoundParts> parts = CountRoundParts(s, part.messageId, row->round);
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
