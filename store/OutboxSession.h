#pragma once
// One connection to zorvel.sqlite for the outbox, and the statements it runs, prepared once.
#include <string>
#include <utility>

#include "SqliteDatabase.h"

namespace zorvel {

struct OutboxSession {
    explicit OutboxSession(SqliteDatabase database) : db(std::move(database)) {}

    // False when one does not compile: db.error() says why. A store from before the
    // outbox (open for reading only) has no tables for them: prepared stays false.
    bool prepare();

    SqliteDatabase db; // first: the statements go before it
    bool prepared = false;
    SqliteStatement insertMessage, selectRow, writeRow, findMessage, listMessages, nextDue, nextDueAt,
        selectSending, insertPart, findPart, roundParts, reportPart, findSentPart, partsSentSince,
        insertReport, dueReports, deleteReport, refuseReport, purgeParts, purgeMessages;
};

} // namespace zorvel
