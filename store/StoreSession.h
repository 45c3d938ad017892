#pragma once
// One connection to zorvel.sqlite and the statements the store runs on it, prepared once.
#include <string>
#include <utility>

#include "SqliteDatabase.h"

namespace zorvel {

struct StoreSession {
    explicit StoreSession(SqliteDatabase database) : db(std::move(database)) {}

    // False when one does not compile: db.error() says why.
    bool prepare();

    SqliteDatabase db; // first: the statements go before it
    SqliteStatement findEntry, insertEntry, deleteEntry, insertMessage, insertPart, selectParts,
        deletePart, selectWaiting, countWaiting, markDelivered, findDelivered, markRefused, purgeMessages,
        purgeEntries, refreshEntry, checkpoint;
    // The key of the entries' digests; empty in a store from before keys, read only.
    std::string contentKey;
};

} // namespace zorvel
