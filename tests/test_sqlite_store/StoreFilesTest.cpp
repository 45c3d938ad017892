// Files the store must not touch, a second gateway, a folder it cannot write, and the
// --pending listing.
#include "SqliteStoreTest.h"

#include <sys/stat.h>
#include <unistd.h>

#include "ConfigFileMode.h"
#include "PendingReport.h"

using namespace zorvel;
using namespace storetest;
using Outcome = StoreOpening::Outcome;

// Files that are not ours to write: refused, and left byte for byte as they were.
void SqliteStoreTest::fatal_data()
{
    QTest::addColumn<QByteArray>("garbage"); // the file's bytes, or empty to use `sql`
    QTest::addColumn<QByteArray>("sql");
    QTest::addColumn<QString>("text");
    QTest::newRow("not a database") << QByteArray(5000, 'z') << QByteArray()
        << "/zorvel.sqlite is damaged (file is not a database): Zorvel will not change it. Move it "
           "away to start with an empty store; its messages can be read with sqlite3.";
    QTest::newRow("newer schema") << QByteArray()
        << QByteArray("PRAGMA application_id = 1515345484; PRAGMA user_version = 4; CREATE TABLE x(y);")
        << "/zorvel.sqlite was written by a newer Zorvel (schema 4, this one reads 3): Zorvel will "
           "not change it. Run that Zorvel, or move the file away to start with an empty store.";
    QTest::newRow("another program") << QByteArray()
        << QByteArray("PRAGMA application_id = 305419896; CREATE TABLE x(y);")
        << "/zorvel.sqlite belongs to another program (application id 0x12345678): Zorvel will not "
           "change it. Move it away to start with an empty store.";
    QTest::newRow("tables without an id") << QByteArray() << QByteArray("CREATE TABLE messages(y);")
        << "/zorvel.sqlite belongs to another program (application id 0x00000000)";
    QTest::newRow("our id, no tables") << QByteArray()
        << QByteArray("PRAGMA application_id = 1515345484; PRAGMA user_version = 1; CREATE TABLE x(y);")
        << "/zorvel.sqlite is damaged (no such table: messages)";
    QTest::newRow("schema 3 without its outbox") << QByteArray()
        << QByteArray("CREATE TABLE messages (seq, id, received_ms, sender, stamp, text, parts, tries, "
                      "next_try_ms, last_failure, delivered_ms, status); CREATE TABLE parts (id, long_key, "
                      "sequence, count, pdu, received_ms); CREATE TABLE entries (content, message_id, kept_ms); "
                      "PRAGMA application_id = 1515345484; PRAGMA user_version = 3;")
        << "/zorvel.sqlite is damaged (no such table: outbox)";
}

void SqliteStoreTest::fatal()
{
    QFETCH(QByteArray, garbage);
    QFETCH(QByteArray, sql);
    QFETCH(QString, text);
    if (garbage.isEmpty()) {
        runSql(file(), sql.constData());
    } else {
        QFile out(file());
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(garbage);
    }
    const QByteArray before = fileBytes(file());
    const QString expected = dir_->path() + text;

    StoreOpening opening = SqliteStore::open(folder());
    QCOMPARE(int(opening.outcome), int(Outcome::Fatal));
    QVERIFY(!opening.store);
    QVERIFY2(QString::fromStdString(opening.text).startsWith(expected), opening.text.c_str());
    const PendingListing listing = ListPending(folder(), t0);
    QVERIFY(listing.unreadable);
    QCOMPARE(listing.error, opening.text + "\n");
    QCOMPARE(fileBytes(file()), before);
}

// Links are never followed; a store or folder others may read or change is warned of.
void SqliteStoreTest::fileGuards_data()
{
    QTest::addColumn<QString>("setUp");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QString>("said"); // the refusal, or the one warning (%1 the folder)
    const QString link = "%1/zorvel.sqlite%2 is a symbolic link: Zorvel will not follow it. Put the "
                         "file itself there, or remove the link to start with an empty store.";
    QTest::newRow("owner only") << "" << false << "";
    QTest::newRow("the store is a link") << "link" << true << link.arg("%1", "");
    QTest::newRow("its log is a link") << "link-wal" << true << link.arg("%1", "-wal");
    QTest::newRow("its journal is a link") << "link-journal" << true << link.arg("%1", "-journal");
    QTest::newRow("a folder reached through a link") << "folder link" << false << "";
    QTest::newRow("a copy readable by all") << "0644" << false
        << "%1/zorvel.sqlite can be read by other users (mode 0644), and it holds the messages "
           "not yet delivered: chmod 600 %1/zorvel.sqlite";
    QTest::newRow("a folder others may change") << "0777" << false
        << "%1 can be changed by other users (mode 0777), and it holds the store: chmod o-w %1";
}

void SqliteStoreTest::fileGuards()
{
    QFETCH(QString, setUp);
    QFETCH(bool, refused);
    QFETCH(QString, said);
    QVERIFY(openReady());
    const QString elsewhere = dir_->path() + "/elsewhere";
    QString folder = dir_->path();
    if (setUp.startsWith("link")) {
        const QString name = file() + setUp.mid(4);
        QFile::rename(name, elsewhere);
        QVERIFY(QFile::link(elsewhere, name));
    } else if (setUp == "folder link") {
        folder = dir_->path() + "/through";
        QVERIFY(QFile::link(dir_->path(), folder));
    } else if (setUp == "0644") {
        QVERIFY(::chmod(QFile::encodeName(file()).constData(), 0644) == 0);
    } else if (setUp == "0777") {
        QVERIFY(::chmod(QFile::encodeName(dir_->path()).constData(), 0777) == 0);
    }
    const QByteArray before = fileBytes(elsewhere);
    StoreOpening opening = SqliteStore::open(folder.toStdString());
    QCOMPARE(opening.outcome == Outcome::Fatal, refused);
    if (refused) {
        QCOMPARE(QString::fromStdString(opening.text), said.arg(dir_->path()));
        QCOMPARE(ListPending(folder.toStdString(), t0).error, opening.text + "\n");
        QCOMPARE(fileBytes(elsewhere), before);
        return;
    }
    QCOMPARE(int(opening.outcome), int(Outcome::Ready));
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(keepWarnings);
    WarnIfStoreOpenToOthers(dir_->path().toStdString());
    qInstallMessageHandler(previous);
    QCOMPARE(warnings, said.isEmpty() ? QStringList() : QStringList{said.arg(dir_->path())});
}

void SqliteStoreTest::secondGatewayOnTheFolder()
{
    auto store = openReady();
    QVERIFY(store);
    StoreOpening second = SqliteStore::open(folder());
    QCOMPARE(int(second.outcome), int(Outcome::InUse));
    QVERIFY(!second.store);
    QVERIFY2(second.text.find("another Zorvel is using the store in " + folder() + ";") == 0,
             second.text.c_str());
    // A listing reads beside it.
    QCOMPARE(ListPending(folder(), t0).output, std::string("No messages waiting.\n"));
    store.reset();
    QVERIFY(openReady());
}

// Writes fail while the folder cannot be written, and work again by themselves after.
void SqliteStoreTest::unwritable_data()
{
    QTest::addColumn<bool>("readOnlyFolder"); // else a full disk while creating the file
    QTest::newRow("read-only folder") << true;
    QTest::newRow("disk full") << false;
}

void SqliteStoreTest::unwritable()
{
    QFETCH(bool, readOnlyFolder);
    const QByteArray problem = "cannot write " + QFile::encodeName(file()) + ": ";
    if (readOnlyFolder && geteuid() == 0)
        QSKIP("root writes into a read-only folder");
    const QFile::Permissions writable = QFile::permissions(dir_->path());
    {
        auto store = openReady();
        Intake intake;
        intake.messages = {message("m1")};
        QVERIFY(store->keep(intake, t0));
    }
    if (!readOnlyFolder)
        QVERIFY(QFile::remove(file()));
    StoreOpening opening;
    {
        std::unique_ptr<FileSizeLimit> full;
        if (readOnlyFolder)
            QVERIFY(QFile::setPermissions(dir_->path(), QFile::ReadOwner | QFile::ExeOwner));
        else
            full = std::make_unique<FileSizeLimit>(0);
        opening = SqliteStore::open(folder());
    }
    QCOMPARE(int(opening.outcome), int(Outcome::Unwritable));
    QVERIFY2(QByteArray::fromStdString(opening.text).startsWith(problem), opening.text.c_str());
    SqliteStore& store = *opening.store;
    // What the file holds can still be read.
    QCOMPARE(waitingIds(store).size(), std::size_t(readOnlyFolder ? 1 : 0));
    Intake intake;
    intake.messages = {message("m2")};
    if (readOnlyFolder) {
        QVERIFY(!store.keep(intake, t0 + 1));
        QVERIFY2(QByteArray::fromStdString(store.problem()).startsWith(problem), store.problem().c_str());
        QVERIFY(QFile::setPermissions(dir_->path(), writable));
    }
    QVERIFY2(store.keep(intake, t0 + 1), store.problem().c_str());
    QVERIFY(store.problem().empty());
    QCOMPARE(store.waitingCount(), readOnlyFolder ? 2 : 1);
}

void SqliteStoreTest::pendingListing()
{
    QCOMPARE(ListPending(folder(), t0).output,
             "No store in " + folder() + " (zorvel.sqlite not found).\n");
    auto store = openReady();
    QVERIFY(store);
    Intake intake;
    intake.messages = {message("m-1", "NEVER-LISTED", "+49 170\x01\xC3\xA9"), message("m-2")};
    intake.parts = {{"long\x1f+31 6\x1b\x1f" "9\x1f" "4", 3, 4, "PDU"},
                    {"long\x1f+31 6\x1b\x1f" "9\x1f" "4", 1, 4, "PDU"}};
    QVERIFY(store->keep(intake, t0));
    QVERIFY(store->refused("m-1", "HTTP 503 \"busy\"\x1b[0m", t0 + 90'000));
    const PendingListing listing = ListPending(folder(), t0 + 1000);
    QVERIFY(!listing.unreadable);
    QCOMPARE(listing.output,
             std::string("id   received             sender               parts  tries  next try             last failure\n"
                         "m-2  2026-05-28 20:26:40  +4917012345          1      0      now\n"
                         "m-1  2026-05-28 20:26:40  +49 170\\x01\\xC3\\xA9  1      1      2026-05-28 20:28:10  HTTP 503 \\\"busy\\\"\\x1B[0m\n"
                         "\n"
                         "Parts of long messages waiting to be joined:\n"
                         "sender     parts      first received\n"
                         "+31 6\\x1B  1, 3 of 4  2026-05-28 20:26:40\n"));
}

// The program itself, beside a gateway holding the store, and on a damaged file.
void SqliteStoreTest::programListsPending()
{
    auto store = openReady();
    QVERIFY(store);
    Intake intake;
    intake.messages = {message("m-1")};
    QVERIFY(store->keep(intake, t0));
    QProcess zorvel;
    zorvel.start(QStringLiteral(ZORVEL_BUILD_DIR "/zorvel"), {"--folder", dir_->path(), "--pending"});
    QVERIFY(zorvel.waitForFinished(30000));
    QCOMPARE(zorvel.exitCode(), 0);
    QVERIFY2(zorvel.readAllStandardOutput().contains("\nm-1  2026-05-28 "), "listing");
    store.reset();

    QFile::remove(file());
    QFile out(file());
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(QByteArray(100, '\x01'));
    out.close();
    zorvel.start(QStringLiteral(ZORVEL_BUILD_DIR "/zorvel"), {"--folder", dir_->path(), "--pending"});
    QVERIFY(zorvel.waitForFinished(30000));
    QCOMPARE(zorvel.exitCode(), 65);
    QVERIFY(zorvel.readAllStandardError().contains("zorvel.sqlite is damaged (file is not a database)"));
}
