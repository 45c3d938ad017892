// The helpers of the store's tests, and what every test starts from.
#include "SqliteStoreTest.h"

#include <sqlite3.h>

#include <ctime>

using namespace zorvel;

namespace storetest {

NewMessage message(const std::string& id, const std::string& text, const std::string& sender)
{
    return NewMessage{id, sender, "26/05/28,22:26:40+08", text, 1};
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void runSql(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    QCOMPARE(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

qint64 count(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    qint64 n = -1;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        n = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return n;
}

QByteArray hexOf(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    QByteArray hex;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        hex = QByteArray(static_cast<const char*>(sqlite3_column_blob(statement, 0)),
                         sqlite3_column_bytes(statement, 0)).toHex();
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return hex;
}

QStringList warnings;
void keepWarnings(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtWarningMsg)
        warnings << text;
}

std::vector<std::string> waitingIds(SqliteStore& store)
{
    std::vector<std::string> ids;
    for (const WaitingMessage& w : store.waiting(100))
        ids.push_back(w.message.id);
    return ids;
}

} // namespace storetest

using namespace storetest;

std::unique_ptr<SqliteStore> SqliteStoreTest::openReady()
{
    StoreOpening opening = SqliteStore::open(folder());
    if (opening.outcome != StoreOpening::Outcome::Ready)
        qWarning("%s", opening.text.c_str());
    return std::move(opening.store);
}

void SqliteStoreTest::init() { dir_ = std::make_unique<QTemporaryDir>(); }

void SqliteStoreTest::initTestCase()
{
    qputenv("TZ", "UTC");
    tzset();
}
