#pragma once
// A thin RAII layer over the SQLite C API: one connection, its prepared statements, and
// its error texts made printable. Values are always bound, never written into SQL.
#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace zorvel {

class SqliteStatement {
public:
    enum class Step { Row, Done, Error };

    SqliteStatement() = default;
    explicit SqliteStatement(sqlite3_stmt* statement) : statement_(statement) {}
    SqliteStatement(SqliteStatement&& other) noexcept;
    SqliteStatement& operator=(SqliteStatement&& other) noexcept;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;
    ~SqliteStatement();

    explicit operator bool() const { return statement_ != nullptr; }

    // Parameters count from 1. A value that cannot be bound makes the next step an Error.
    SqliteStatement& bind(int index, std::int64_t value);
    SqliteStatement& bindText(int index, std::string_view text);
    SqliteStatement& bindBlob(int index, const void* data, std::size_t size);
    Step step();
    // Ready for new values; also ends the read it was doing, which would otherwise keep
    // an old snapshot of the file open.
    void reset();

    std::int64_t integer(int column) const; // columns count from 0
    std::string text(int column) const;     // NULL reads as empty
    bool isNull(int column) const;

private:
    sqlite3_stmt* statement_ = nullptr;
    bool bindFailed_ = false;
};

// Resets a statement when the scope that uses it ends, however it ends.
class StatementUse {
public:
    explicit StatementUse(SqliteStatement& statement) : statement_(statement) { statement_.reset(); }
    ~StatementUse() { statement_.reset(); }
    StatementUse(const StatementUse&) = delete;
    StatementUse& operator=(const StatementUse&) = delete;

private:
    SqliteStatement& statement_;
};

class SqliteDatabase {
public:
    SqliteDatabase() = default;
    SqliteDatabase(SqliteDatabase&& other) noexcept;
    SqliteDatabase& operator=(SqliteDatabase&& other) noexcept;
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;
    ~SqliteDatabase();

    // `flags` as sqlite3_open_v2 takes them; `name` a path, or a file: URI when the flags
    // say so. False: error() says why (the connection is closed again).
    bool open(const std::string& name, int flags);
    void close();
    bool isOpen() const { return db_ != nullptr; }

    // SQL without parameters; every row it returns is dropped.
    bool exec(const char* sql);
    // An empty statement when the SQL does not compile: error() says why.
    SqliteStatement prepare(const char* sql);
    // The single integer a query such as "PRAGMA user_version" answers.
    bool queryInteger(const char* sql, std::int64_t& value);

    // Ends an open transaction, keeping none of it; the last failure stays the one noted.
    void rollback();

    bool readOnly() const;
    bool inTransaction() const;
    int changes() const;

    // The last failure: SQLite's extended result code, and its text made printable with
    // the system's reason when there is one ("unable to open database file (Permission
    // denied)"). Never carries a bound value.
    int errorCode() const { return errorCode_; }
    const std::string& error() const { return error_; }
    // Takes the connection's current error as the last failure.
    void noteError();

private:
    sqlite3* db_ = nullptr;
    int errorCode_ = 0;
    std::string error_;
};

} // namespace zorvel
