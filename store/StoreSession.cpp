#include "StoreSession.h"

namespace zorvel {

bool StoreSession::prepare()
{
    struct Source {
        SqliteStatement* statement;
        const char* sql;
    };
    const Source sources[] = {
        {&findEntry, "SELECT 1 FROM entries WHERE content IN (?1, ?2) LIMIT 1"},
        {&insertEntry, "INSERT INTO entries (content, message_id, kept_ms) VALUES (?1, ?2, ?3)"},
        // One row per confirmed delete: another slot holding the same SMS keeps its own.
        {&deleteEntry, "DELETE FROM entries WHERE rowid = (SELECT rowid FROM entries "
                       "WHERE content IN (?1, ?2) ORDER BY rowid LIMIT 1)"},
        {&insertMessage, "INSERT INTO messages (id, received_ms, sender, stamp, text, parts, "
                         "next_try_ms) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?2)"},
        {&insertPart, "INSERT INTO parts (long_key, sequence, count, pdu, received_ms) "
                      "VALUES (?1, ?2, ?3, ?4, ?5)"},
        {&selectParts, "SELECT id, long_key, sequence, count, pdu, received_ms FROM parts ORDER BY id"},
        {&deletePart, "DELETE FROM parts WHERE id = ?1"},
        {&selectWaiting, "SELECT id, sender, stamp, text, parts, received_ms, tries, next_try_ms, "
                         "last_failure FROM messages WHERE delivered_ms IS NULL "
                         "ORDER BY next_try_ms, seq LIMIT ?1"},
        {&countWaiting, "SELECT (SELECT count(*) FROM messages WHERE delivered_ms IS NULL) + "
                        "(SELECT count(DISTINCT long_key) FROM parts)"},
        {&markDelivered, "UPDATE messages SET text = NULL, delivered_ms = ?2, status = ?3 "
                         "WHERE id = ?1 AND delivered_ms IS NULL"},
        {&findDelivered, "SELECT 1 FROM messages WHERE id = ?1 AND delivered_ms IS NOT NULL"},
        {&markRefused, "UPDATE messages SET tries = tries + 1, last_failure = ?2, next_try_ms = ?3 "
                       "WHERE id = ?1 AND delivered_ms IS NULL"},
        {&purgeMessages, "DELETE FROM messages WHERE delivered_ms < ?1"},
        {&purgeEntries, "DELETE FROM entries WHERE kept_ms < ?1"},
        // Listed again: kept another 7 days, and re-keyed if it was stored before keys.
        {&refreshEntry, "UPDATE entries SET content = ?1, kept_ms = ?3 WHERE content IN (?1, ?2)"},
        {&checkpoint, "PRAGMA wal_checkpoint(TRUNCATE)"},
    };
    for (const Source& source : sources) {
        *source.statement = db.prepare(source.sql);
        if (!*source.statement)
            return false;
    }
    // Absent only from a store from before keys that could not be upgraded (read only).
    SqliteStatement key = db.prepare("SELECT key FROM content_key WHERE id = 1");
    if (key && key.step() == SqliteStatement::Step::Row)
        contentKey = key.text(0);
    return true;
}

} // namespace zorvel
