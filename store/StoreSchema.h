#pragma once
// The tables of zorvel.sqlite: creating them in a new file, and telling whether a file
// is ours, and of a schema this Zorvel reads, before anything is written to it.
#include <cstdint>
#include <string>

namespace zorvel {

class SqliteDatabase;

// "ZRVL" in the file's header: a file without it is no Zorvel store.
constexpr std::int64_t storeApplicationId = 0x5A52564C;
// PRAGMA user_version of the schema this program reads and writes. 1 lacked the key of
// the entries' digests, 2 the outbox: such a store is read, and upgraded when opened for
// writing.
constexpr std::int64_t storeSchemaVersion = 3;
// The first schema with the outbox's tables.
constexpr std::int64_t outboxSchemaVersion = 3;

struct SchemaState {
    enum class Kind {
        Ours,       // our schema, passes the quick check
        Older,      // ours, schema 1 or 2: readable, upgraded by UpgradeSchema
        Empty,      // a new file: no table yet, nothing of another program
        Damaged,    // not a database, broken, or our tables not as they should be
        Newer,      // written by a Zorvel with a later schema
        Foreign,    // another program's database
        Unreadable, // could not be read (permissions, I/O): says nothing about the file
    };
    Kind kind = Kind::Unreadable;
    std::string detail;          // Damaged, Unreadable: why, printable
    std::int64_t version = 0;    // Ours, Older, Newer: its schema
    std::int64_t applicationId = 0; // Foreign
};

// Reads only.
SchemaState CheckSchema(SqliteDatabase& db);

// The tables and indexes, a new key, the application id and the schema version, in one
// transaction.
bool CreateSchema(SqliteDatabase& db);
// Schema `from` (1 or 2) to this one in place, in one transaction: nothing of it stays
// when any step fails. From 1 a new key (the entries kept so far keep their plain
// digests, see SqliteStoreEntries.cpp); from 1 and 2 the outbox's tables.
bool UpgradeSchema(SqliteDatabase& db, std::int64_t from);

} // namespace zorvel
