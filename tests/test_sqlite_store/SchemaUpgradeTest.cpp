// A store of an older schema: read as it is by the listings, upgraded in one transaction
// by the first writer, and left as it was when the upgrade fails half-way.
#include "SqliteStoreTest.h"

#include "EntryDigest.h"
#include "OutboxReport.h"
#include "PendingReport.h"
#include "SqliteOutbox.h"

using namespace zorvel;
using namespace storetest;

void SqliteStoreTest::schemaUpgrade_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<bool>("strayTable"); // a table in the way of the last step
    QTest::newRow("1 to 3") << 1 << false;
    QTest::newRow("2 to 3") << 2 << false;
    QTest::newRow("1, failing half-way") << 1 << true;
    QTest::newRow("2, failing half-way") << 2 << true;
}

void SqliteStoreTest::schemaUpgrade()
{
    QFETCH(int, from);
    QFETCH(bool, strayTable);
    {
        auto store = openReady();
        QVERIFY(store);
        Intake intake;
        intake.entries = {{"entry", "m1"}};
        intake.messages = {message("m1", "OLD-TEXT")};
        QVERIFY(store->keep(intake, t0));
    }
    // As the older Zorvel left it.
    QByteArray sql = "DROP TABLE outbox; DROP TABLE outbox_parts; DROP TABLE state_reports; ";
    // Schema 1 kept plain digests of the entries.
    if (from == 1)
        sql += "DROP TABLE content_key; UPDATE entries SET content = X'" +
               QByteArray::fromStdString(PlainDigest("entry")).toHex() + "'; ";
    sql += "PRAGMA user_version = " + QByteArray::number(from) + "; PRAGMA wal_checkpoint(TRUNCATE);";
    if (strayTable)
        sql += "CREATE TABLE state_reports (x);";
    runSql(file(), sql.constData());
    const QByteArray key = hexOf(file(), "SELECT key FROM content_key");
    const QByteArray before = fileBytes(file());

    // The listings read it without writing a byte.
    QVERIFY(ListPending(folder(), t0).output.find("\nm1  ") != std::string::npos);
    const PendingListing outbox = ListOutbox(folder(), t0);
    QCOMPARE(outbox.error, std::string());
    QCOMPARE(outbox.output, std::string("No outgoing messages.\n"));
    QCOMPARE(fileBytes(file()), before);

    OutboxOpening opening = SqliteOutbox::open(folder());
    if (strayTable) {
        QCOMPARE(int(opening.outcome), int(OutboxOpening::Outcome::Unwritable));
        QVERIFY2(opening.text.find("table state_reports already exists") != std::string::npos, opening.text.c_str());
        QCOMPARE(count(file(), "PRAGMA user_version"), qint64(from));
        QCOMPARE(count(file(), "SELECT count(*) FROM sqlite_schema WHERE name IN ('outbox', 'outbox_parts', "
                               "'content_key')"),
                 qint64(from == 1 ? 0 : 1));
        QCOMPARE(opening.outbox->add({"x1", "+491", "text", 1, OutboxOrigin::CommandLine}, t0),
                 OutboxStore::Added::Failed);
        QCOMPARE(count(file(), "SELECT count(*) FROM messages WHERE text = 'OLD-TEXT'"), qint64(1));
        return;
    }
    QCOMPARE(int(opening.outcome), int(OutboxOpening::Outcome::Ready));
    QCOMPARE(count(file(), "PRAGMA user_version"), qint64(3));
    if (from == 2)
        QCOMPARE(hexOf(file(), "SELECT key FROM content_key"), key);
    QCOMPARE(opening.outbox->add({"x1", "+491", "text", 1, OutboxOrigin::CommandLine}, t0),
             OutboxStore::Added::Added);
    opening.outbox.reset();
    auto store = openReady();
    QVERIFY(store);
    QCOMPARE(waitingIds(*store), std::vector<std::string>{"m1"});
    QCOMPARE(store->waiting(1).at(0).message.text, std::string("OLD-TEXT"));
    QVERIFY(store->holdsEntry("entry"));
}
