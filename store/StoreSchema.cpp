#include "StoreSchema.h"

#include <sqlite3.h>

#include "ByteEscape.h"
#include "EntryDigest.h"
#include "SqliteDatabase.h"

namespace zorvel {

namespace {

// Times are milliseconds since 1970 (UTC). Texts are stored as the bytes the program got,
// so a store can be read with the sqlite3 tool.
//
// messages: one SMS (a long one once joined) from intake until 7 days after its delivery.
//   seq is the intake order; id is given at intake and sent with every try. text becomes
//   NULL when the web application accepts it (delivered_ms and its HTTP status set);
//   sender, stamp and the times stay for the 7 days. next_try_ms: not tried before.
// parts: decoded mode, one part of a long message until its message is joined.
// entries: a modem entry taken in, until the modem confirms its delete (or 7 days after
//   it was last listed): content is the HMAC-SHA256, under content_key's key, of what
//   identifies it (its text among it), so a delivered message leaves no text behind. One
//   row per entry: two slots holding the same SMS are two rows. Rows from schema 1 hold
//   the plain SHA-256 until listed again or purged.
// content_key: one row, the random key of those digests, made with the store.
// outbox: one SMS to send, from the web application, the command line or the window.
//   seq is the order it was added in; id is the web application's own or one the program
//   made. state is one of OutboxStateName's names; round counts the sends from the start
//   (a resend, or a send refused before its prompt, starts the next one). text stays
//   while the message may be sent again (queued, sending, sent, unknown, failed) and
//   becomes NULL when it is delivered; a delivered, failed or sent message leaves 7 days
//   after its last change.
// outbox_parts: each part the modem took ("+CMGS: <reference>"), of every round, so that
//   the caps on parts a minute and a day count them all; report_status ('delivered' or
//   'failed') and report_ms once its final status report came.
// state_reports: changes of state of the web application's messages, until it accepts
//   them with a 2xx.
const char* const schema = R"sql(
CREATE TABLE messages (
    seq INTEGER PRIMARY KEY,
    id TEXT NOT NULL UNIQUE CHECK (id <> ''),
    received_ms INTEGER NOT NULL,
    sender TEXT NOT NULL,
    stamp TEXT NOT NULL,
    text TEXT,
    parts INTEGER NOT NULL,
    tries INTEGER NOT NULL DEFAULT 0,
    next_try_ms INTEGER NOT NULL,
    last_failure TEXT NOT NULL DEFAULT '',
    delivered_ms INTEGER,
    status INTEGER
);
CREATE INDEX messages_due ON messages (next_try_ms, seq) WHERE delivered_ms IS NULL;
CREATE INDEX messages_delivered ON messages (delivered_ms) WHERE delivered_ms IS NOT NULL;
CREATE TABLE parts (
    id INTEGER PRIMARY KEY,
    long_key TEXT NOT NULL,
    sequence INTEGER NOT NULL,
    count INTEGER NOT NULL,
    pdu TEXT NOT NULL,
    received_ms INTEGER NOT NULL
);
CREATE TABLE entries (
    content BLOB NOT NULL,
    message_id TEXT NOT NULL,
    kept_ms INTEGER NOT NULL
);
CREATE INDEX entries_content ON entries (content);
CREATE INDEX entries_kept ON entries (kept_ms);
)sql";

const char* const outboxTables = R"sql(
CREATE TABLE outbox (
    seq INTEGER PRIMARY KEY,
    id TEXT NOT NULL UNIQUE CHECK (length(id) BETWEEN 1 AND 64),
    recipient TEXT NOT NULL,
    text TEXT,
    parts INTEGER NOT NULL CHECK (parts >= 1),
    origin TEXT NOT NULL,
    state TEXT NOT NULL,
    round INTEGER NOT NULL DEFAULT 1,
    tries INTEGER NOT NULL DEFAULT 0,
    created_ms INTEGER NOT NULL,
    changed_ms INTEGER NOT NULL,
    next_try_ms INTEGER NOT NULL,
    last_error TEXT NOT NULL DEFAULT ''
);
CREATE INDEX outbox_due ON outbox (next_try_ms, seq) WHERE state = 'queued';
CREATE INDEX outbox_changed ON outbox (changed_ms);
CREATE TABLE outbox_parts (
    message_id TEXT NOT NULL,
    round INTEGER NOT NULL,
    sequence INTEGER NOT NULL,
    reference INTEGER NOT NULL,
    sent_ms INTEGER NOT NULL,
    report_status TEXT,
    report_ms INTEGER,
    PRIMARY KEY (message_id, round, sequence)
);
CREATE INDEX outbox_parts_reference ON outbox_parts (reference, sent_ms);
CREATE INDEX outbox_parts_sent ON outbox_parts (sent_ms);
CREATE TABLE state_reports (
    seq INTEGER PRIMARY KEY,
    message_id TEXT NOT NULL,
    state TEXT NOT NULL,
    changed_ms INTEGER NOT NULL,
    detail TEXT NOT NULL DEFAULT '',
    tries INTEGER NOT NULL DEFAULT 0,
    next_try_ms INTEGER NOT NULL,
    last_failure TEXT NOT NULL DEFAULT ''
);
CREATE INDEX state_reports_due ON state_reports (next_try_ms, seq);
CREATE INDEX state_reports_message ON state_reports (message_id, seq);
)sql";

const char* const keyTable = R"sql(
CREATE TABLE content_key (
    id INTEGER PRIMARY KEY CHECK (id = 1),
    key BLOB NOT NULL CHECK (length(key) = 32)
);
)sql";

// What the program reads and writes of each table: a file lacking any of it is damaged.
const char* const tableChecks[] = {
    "SELECT seq, id, received_ms, sender, stamp, text, parts, tries, next_try_ms, last_failure, "
    "delivered_ms, status FROM messages LIMIT 0",
    "SELECT id, long_key, sequence, count, pdu, received_ms FROM parts LIMIT 0",
    "SELECT content, message_id, kept_ms FROM entries LIMIT 0",
};
const char* const outboxChecks[] = {
    "SELECT seq, id, recipient, text, parts, origin, state, round, tries, created_ms, changed_ms, "
    "next_try_ms, last_error FROM outbox LIMIT 0",
    "SELECT message_id, round, sequence, reference, sent_ms, report_status, report_ms "
    "FROM outbox_parts LIMIT 0",
    "SELECT seq, message_id, state, changed_ms, detail, tries, next_try_ms, last_failure "
    "FROM state_reports LIMIT 0",
};
const char* const keyCheck = "SELECT count(*) FROM content_key WHERE id = 1 AND length(key) = 32";

bool isDamage(int code)
{
    const int primary = code & 0xFF;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

SchemaState failure(const SqliteDatabase& db)
{
    SchemaState state;
    state.kind = isDamage(db.errorCode()) ? SchemaState::Kind::Damaged : SchemaState::Kind::Unreadable;
    state.detail = db.error();
    return state;
}

} // namespace

SchemaState CheckSchema(SqliteDatabase& db)
{
    std::int64_t applicationId = 0, version = 0, tables = 0;
    if (!db.queryInteger("PRAGMA application_id", applicationId) ||
        !db.queryInteger("PRAGMA user_version", version) ||
        !db.queryInteger("SELECT count(*) FROM sqlite_schema", tables))
        return failure(db);
    SchemaState state;
    if (applicationId == 0 && version == 0 && tables == 0) {
        state.kind = SchemaState::Kind::Empty;
        return state;
    }
    if (applicationId != storeApplicationId) {
        state.kind = SchemaState::Kind::Foreign;
        state.applicationId = applicationId;
        return state;
    }
    if (version > storeSchemaVersion) {
        state.kind = SchemaState::Kind::Newer;
        state.version = version;
        return state;
    }
    state.kind = SchemaState::Kind::Damaged;
    if (version < 1) {
        state.detail = "schema " + std::to_string(version) + " is unknown";
        return state;
    }
    SqliteStatement check = db.prepare("PRAGMA quick_check(1)");
    if (!check)
        return failure(db);
    if (check.step() != SqliteStatement::Step::Row)
        return failure(db);
    const std::string verdict = check.text(0);
    if (verdict != "ok") {
        state.detail = EscapeBytes(verdict.substr(0, 200));
        return state;
    }
    auto lacksTable = [&](const char* sql) {
        if (db.prepare(sql))
            return false;
        if ((db.errorCode() & 0xFF) != SQLITE_ERROR)
            state = failure(db);
        else
            state.detail = db.error();
        return true;
    };
    for (const char* sql : tableChecks)
        if (lacksTable(sql))
            return state;
    if (version >= outboxSchemaVersion)
        for (const char* sql : outboxChecks)
            if (lacksTable(sql))
                return state;
    state.version = version;
    // Schema 1 has no key yet: its upgrade makes one.
    if (version < 2) {
        state.kind = SchemaState::Kind::Older;
        return state;
    }
    std::int64_t keys = 0;
    if (!db.queryInteger(keyCheck, keys)) {
        if ((db.errorCode() & 0xFF) != SQLITE_ERROR)
            return failure(db);
        state.detail = db.error();
        return state;
    }
    if (keys != 1) {
        state.detail = "no key in content_key";
        return state;
    }
    state.kind = version < storeSchemaVersion ? SchemaState::Kind::Older : SchemaState::Kind::Ours;
    return state;
}

namespace {

// `sql` (which must leave the transaction open), a new key when `newKey`, and the schema
// version, then the commit; nothing of it stays when any part fails.
bool inOneTransaction(SqliteDatabase& db, const std::string& sql, bool newKey)
{
    static const std::string version = "PRAGMA user_version = " + std::to_string(storeSchemaVersion);
    bool done = db.exec(("BEGIN IMMEDIATE;" + sql).c_str());
    if (done && newKey) {
        SqliteStatement insert = db.prepare("INSERT INTO content_key (id, key) VALUES (1, ?1)");
        const std::string key = NewContentKey();
        done = insert && insert.bindBlob(1, key.data(), key.size()).step() == SqliteStatement::Step::Done;
        if (insert && !done)
            db.noteError();
    }
    if (done && db.exec(version.c_str()) && db.exec("COMMIT"))
        return true;
    db.rollback();
    return false;
}

} // namespace

bool CreateSchema(SqliteDatabase& db)
{
    return inOneTransaction(db, std::string(schema) + keyTable + outboxTables + "PRAGMA application_id = " +
                                    std::to_string(storeApplicationId) + ";",
                            true);
}

// The entries' plain digests stay: dropping them would forget entries whose delete the
// modem refused, and those would be sent again as new messages.
bool UpgradeSchema(SqliteDatabase& db, std::int64_t from)
{
    const bool newKey = from < 2;
    return inOneTransaction(db, std::string(newKey ? keyTable : "") + outboxTables, newKey);
}

} // namespace zorvel
