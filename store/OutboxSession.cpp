#include "OutboxSession.h"

namespace zorvel {

namespace {

// A message as OutboxMessage holds it; the counts are of its current round's parts.
#define OUTBOX_COLUMNS                                                                            \
    "SELECT o.id, o.recipient, o.parts, o.origin, o.state, o.tries, o.created_ms, o.changed_ms, " \
    "o.next_try_ms, o.last_error, "                                                               \
    "(SELECT count(*) FROM outbox_parts p WHERE p.message_id = o.id AND p.round = o.round), "     \
    "(SELECT count(*) FROM outbox_parts p WHERE p.message_id = o.id AND p.round = o.round "       \
    "AND p.report_status IS NOT NULL), o.text FROM outbox o "

// Delivered, failed and sent messages that have not changed for 7 days, unless a state
// report about them still waits.
#define PURGEABLE                                                                               \
    "SELECT id FROM outbox WHERE state IN ('delivered', 'failed', 'sent') AND changed_ms < ?1 " \
    "AND NOT EXISTS (SELECT 1 FROM state_reports r WHERE r.message_id = outbox.id)"

} // namespace

bool OutboxSession::prepare()
{
    struct Source {
        SqliteStatement* statement;
        const char* sql;
    };
    const Source sources[] = {
        {&insertMessage, "INSERT INTO outbox (id, recipient, text, parts, origin, state, created_ms, "
                         "changed_ms, next_try_ms) VALUES (?1, ?2, ?3, ?4, ?5, 'queued', ?6, ?6, ?6)"},
        {&selectRow, "SELECT state, origin, parts, round, tries, next_try_ms, last_error FROM outbox "
                     "WHERE id = ?1"},
        // A delivered message needs its text no more.
        {&writeRow, "UPDATE outbox SET state = ?2, changed_ms = ?3, round = ?4, tries = ?5, "
                    "next_try_ms = ?6, last_error = ?7, "
                    "text = CASE WHEN ?2 = 'delivered' THEN NULL ELSE text END WHERE id = ?1"},
        {&findMessage, OUTBOX_COLUMNS "WHERE o.id = ?1"},
        {&listMessages, OUTBOX_COLUMNS "ORDER BY o.seq DESC LIMIT ?1"},
        {&nextDue, OUTBOX_COLUMNS "WHERE o.state = 'queued' AND o.next_try_ms <= ?1 "
                                  "ORDER BY o.next_try_ms, o.seq LIMIT 1"},
        {&nextDueAt, "SELECT min(next_try_ms) FROM outbox WHERE state = 'queued'"},
        {&selectSending, "SELECT id FROM outbox WHERE state = 'sending' ORDER BY seq"},
        {&insertPart, "INSERT INTO outbox_parts (message_id, round, sequence, reference, sent_ms) "
                      "VALUES (?1, ?2, ?3, ?4, ?5)"},
        {&findPart, "SELECT report_status FROM outbox_parts WHERE message_id = ?1 AND round = ?2 "
                    "AND sequence = ?3"},
        {&roundParts, "SELECT count(*), coalesce(sum(report_status = 'delivered'), 0) FROM outbox_parts "
                      "WHERE message_id = ?1 AND round = ?2"},
        {&reportPart, "UPDATE outbox_parts SET report_status = ?4, report_ms = ?5 "
                      "WHERE message_id = ?1 AND round = ?2 AND sequence = ?3"},
        // Only a part of a message's current round: a report of a round given up is old news.
        {&findSentPart, "SELECT p.message_id, p.sequence, p.reference, p.sent_ms FROM outbox_parts p "
                        "JOIN outbox o ON o.id = p.message_id AND o.round = p.round "
                        "WHERE p.reference = ?1 AND o.recipient = ?2 AND p.sent_ms >= ?3 "
                        "ORDER BY p.sent_ms DESC, p.rowid DESC LIMIT 1"},
        {&partsSentSince, "SELECT count(*) FROM outbox_parts WHERE sent_ms >= ?1"},
        {&insertReport, "INSERT INTO state_reports (message_id, state, changed_ms, detail, next_try_ms) "
                        "VALUES (?1, ?2, ?3, ?4, ?3)"},
        // A message's reports go in the order of its changes: a later one waits for the
        // one before it.
        {&dueReports, "SELECT r.seq, r.message_id, r.state, r.changed_ms, r.detail, r.tries, r.next_try_ms "
                      "FROM state_reports r WHERE r.next_try_ms <= ?1 AND NOT EXISTS (SELECT 1 FROM "
                      "state_reports e WHERE e.message_id = r.message_id AND e.seq < r.seq) "
                      "ORDER BY r.seq LIMIT ?2"},
        {&deleteReport, "DELETE FROM state_reports WHERE seq = ?1"},
        {&refuseReport, "UPDATE state_reports SET tries = tries + 1, last_failure = ?2, next_try_ms = ?3 "
                        "WHERE seq = ?1"},
        {&purgeParts, "DELETE FROM outbox_parts WHERE message_id IN (" PURGEABLE ")"},
        {&purgeMessages, "DELETE FROM outbox WHERE id IN (" PURGEABLE ")"},
    };
    for (const Source& source : sources) {
        *source.statement = db.prepare(source.sql);
        if (!*source.statement)
            return false;
    }
    prepared = true;
    return true;
}

#undef OUTBOX_COLUMNS
#undef PURGEABLE

} // namespace zorvel
