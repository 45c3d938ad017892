#include "SqliteDatabase.h"

#include <sqlite3.h>

#include <cstring>
#include <utility>

#include "ByteEscape.h"

namespace zorvel {

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : statement_(std::exchange(other.statement_, nullptr)), bindFailed_(other.bindFailed_)
{
}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept
{
    if (this != &other) {
        sqlite3_finalize(statement_);
        statement_ = std::exchange(other.statement_, nullptr);
        bindFailed_ = other.bindFailed_;
    }
    return *this;
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(statement_);
}

SqliteStatement& SqliteStatement::bind(int index, std::int64_t value)
{
    if (sqlite3_bind_int64(statement_, index, value) != SQLITE_OK)
        bindFailed_ = true;
    return *this;
}

SqliteStatement& SqliteStatement::bindText(int index, std::string_view text)
{
    // SQLITE_TRANSIENT: SQLite copies the bytes, the caller's string may go away.
    if (sqlite3_bind_text64(statement_, index, text.data(), text.size(), SQLITE_TRANSIENT,
                            SQLITE_UTF8) != SQLITE_OK)
        bindFailed_ = true;
    return *this;
}

SqliteStatement& SqliteStatement::bindBlob(int index, const void* data, std::size_t size)
{
    if (sqlite3_bind_blob64(statement_, index, data, size, SQLITE_TRANSIENT) != SQLITE_OK)
        bindFailed_ = true;
    return *this;
}

SqliteStatement::Step SqliteStatement::step()
{
    if (bindFailed_)
        return Step::Error;
    switch (sqlite3_step(statement_)) {
    case SQLITE_ROW: return Step::Row;
    case SQLITE_DONE: return Step::Done;
    default: return Step::Error;
    }
}

void SqliteStatement::reset()
{
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
    bindFailed_ = false;
}

std::int64_t SqliteStatement::integer(int column) const
{
    return sqlite3_column_int64(statement_, column);
}

std::string SqliteStatement::text(int column) const
{
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    if (bytes == nullptr)
        return {};
    return std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)));
}

bool SqliteStatement::isNull(int column) const
{
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

SqliteDatabase::SqliteDatabase(SqliteDatabase&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)), errorCode_(other.errorCode_),
      error_(std::move(other.error_))
{
}

SqliteDatabase& SqliteDatabase::operator=(SqliteDatabase&& other) noexcept
{
    if (this != &other) {
        close();
        db_ = std::exchange(other.db_, nullptr);
        errorCode_ = other.errorCode_;
        error_ = std::move(other.error_);
    }
    return *this;
}

SqliteDatabase::~SqliteDatabase()
{
    close();
}

bool SqliteDatabase::open(const std::string& name, int flags)
{
    close();
    const int result = sqlite3_open_v2(name.c_str(), &db_, flags | SQLITE_OPEN_EXRESCODE, nullptr);
    if (result == SQLITE_OK) {
        // The file may come from anywhere: a function in its views or triggers does not
        // run, and nothing can write the schema behind SQLite's back.
        sqlite3_db_config(db_, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
        sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        errorCode_ = 0;
        error_.clear();
        return true;
    }
    if (db_ != nullptr)
        noteError();
    else {
        errorCode_ = result;
        error_ = sqlite3_errstr(result);
    }
    close();
    return false;
}

void SqliteDatabase::close()
{
    // Every statement is finalized by its owner first; v2 defers the close otherwise.
    sqlite3_close_v2(db_);
    db_ = nullptr;
}

bool SqliteDatabase::exec(const char* sql)
{
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK)
        return true;
    noteError();
    return false;
}

SqliteStatement SqliteDatabase::prepare(const char* sql)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK) {
        noteError();
        sqlite3_finalize(statement);
        return {};
    }
    return SqliteStatement(statement);
}

bool SqliteDatabase::queryInteger(const char* sql, std::int64_t& value)
{
    SqliteStatement statement = prepare(sql);
    if (!statement)
        return false;
    if (statement.step() != SqliteStatement::Step::Row) {
        noteError();
        return false;
    }
    value = statement.integer(0);
    return true;
}

void SqliteDatabase::rollback()
{
    // After some failures (disk full, I/O) SQLite has rolled back already.
    if (inTransaction())
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool SqliteDatabase::readOnly() const
{
    return sqlite3_db_readonly(db_, "main") == 1;
}

bool SqliteDatabase::inTransaction() const
{
    return db_ != nullptr && sqlite3_get_autocommit(db_) == 0;
}

int SqliteDatabase::changes() const
{
    return sqlite3_changes(db_);
}

void SqliteDatabase::noteError()
{
    errorCode_ = sqlite3_extended_errcode(db_);
    // The message names tables and columns, never values; escaped all the same, as a
    // damaged file's schema could put anything into it.
    error_ = EscapeBytes(sqlite3_errmsg(db_));
    // The system's reason only where a system call failed: it may be stale otherwise.
    const int primary = errorCode_ & 0xFF;
    const int systemError = sqlite3_system_errno(db_);
    if (systemError != 0 && (primary == SQLITE_CANTOPEN || primary == SQLITE_IOERR || primary == SQLITE_FULL))
        error_ += std::string(" (") + std::strerror(systemError) + ")";
}

} // namespace zorvel
