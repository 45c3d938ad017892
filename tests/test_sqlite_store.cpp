// The SQLite store on a temporary folder: what a write leaves (all or nothing), the order
// of delivery, what stays after delivery and purge, a restart, files it must not touch, a
// second gateway, a folder it cannot write, and the --pending listing.
#include <QtTest>

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <functional>

#include "PendingReport.h"
#include "ConfigFileMode.h"
#include "EntryDigest.h"
#include "SqliteStore.h"

using namespace zorvel;
using Outcome = StoreOpening::Outcome;
using Write = std::function<bool(SqliteStore&, std::int64_t firstPartId)>;
Q_DECLARE_METATYPE(Write)

namespace {

constexpr std::int64_t day = 24LL * 60 * 60 * 1000;
constexpr std::int64_t t0 = 1'780'000'000'000; // 2026-05-28 20:26:40 UTC

NewMessage message(const std::string& id, const std::string& text = "text",
                   const std::string& sender = "+4917012345")
{
    return NewMessage{id, sender, "26/05/28,22:26:40+08", text, 1};
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs SQL on a file with the plain SQLite API, as another program would.
void runSql(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    QCOMPARE(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

// What the file holds, as the sqlite3 tool would count it.
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

// A file size limit, as a full disk: writes past it fail (with SIGXFSZ ignored).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = nullptr;
};

} // namespace

class SqliteStoreTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    std::string folder() const { return dir_->path().toStdString(); }
    QString file() const { return dir_->path() + "/zorvel.sqlite"; }
    std::unique_ptr<SqliteStore> openReady()
    {
        StoreOpening opening = SqliteStore::open(folder());
        if (opening.outcome != Outcome::Ready)
            qWarning("%s", opening.text.c_str());
        return std::move(opening.store);
    }

private slots:
    void init() { dir_ = std::make_unique<QTemporaryDir>(); }
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
    }

    void digest_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("hex");
        // Padding fits the last block, just does, or needs one more.
        QTest::newRow("empty") << QByteArray() << QByteArray("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
        QTest::newRow("abc") << QByteArray("abc") << QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
        QTest::newRow("55 bytes") << QByteArray(55, 'a') << QByteArray("9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
        QTest::newRow("56 bytes") << QByteArray("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq") << QByteArray("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
        QTest::newRow("1000 bytes") << QByteArray(1000, 'a') << QByteArray("41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3");
    }
    void digest()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, hex);
        const std::string d = PlainDigest(std::string_view(input.constData(), std::size_t(input.size())));
        QCOMPARE(QByteArray::fromStdString(d).toHex(), hex);
    }

    // Two slots holding the same SMS are two entries: one confirmed delete leaves the other.
    void entries()
    {
        auto store = openReady();
        QVERIFY(store);
        Intake intake;
        intake.entries = {{"slot text A", "m1"}, {"slot text A", "m1"}, {"part B", ""}};
        intake.messages = {message("m1")};
        QVERIFY(store->keep(intake, t0));
        // Only a digest of what identifies an entry is kept: it holds the SMS text.
        QVERIFY(!(fileBytes(file()) + fileBytes(file() + "-wal")).contains("slot text A"));
        QVERIFY(store->holdsEntry("slot text A"));
        QVERIFY(store->holdsEntry("part B"));
        QVERIFY(!store->holdsEntry("slot text"));
        QVERIFY(store->entriesDeleted({"slot text A"}));
        QVERIFY(store->holdsEntry("slot text A"));
        QVERIFY(store->entriesDeleted({"slot text A", "part B", "never kept"}));
        QVERIFY(!store->holdsEntry("slot text A"));
        QVERIFY(!store->holdsEntry("part B"));
        QVERIFY(store->problem().empty());
    }

    // Only a keyed digest of an entry is kept: a short code is not guessed back from it.
    // A store from before keys is upgraded in place and still knows its entries.
    void keyedEntries()
    {
        const QByteArray plain = QByteArray::fromStdString(PlainDigest("old entry")).toHex();
        {
            auto store = openReady();
            Intake intake;
            intake.entries = {{"old entry", "m1"}};
            QVERIFY(store->keep(intake, t0));
            QVERIFY(hexOf(file(), "SELECT content FROM entries") != plain);
        }
        const QByteArray key = hexOf(file(), "SELECT key FROM content_key");
        QCOMPARE(key.size(), 64);
        QTemporaryDir other;
        QVERIFY(SqliteStore::open(other.path().toStdString()).store);
        QVERIFY(hexOf(other.path() + "/zorvel.sqlite", "SELECT key FROM content_key") != key);

        // As schema 1 left it: no key, plain digests.
        runSql(file(), ("DROP TABLE content_key; PRAGMA user_version = 1; UPDATE entries SET content = X'" +
                        plain + "'").constData());
        QVERIFY(ListPending(folder(), t0).error.empty());
        auto store = openReady();
        QVERIFY(store);
        QCOMPARE(count(file(), "PRAGMA user_version"), qint64(2));
        QVERIFY(hexOf(file(), "SELECT key FROM content_key") != key);
        QVERIFY(store->holdsEntry("old entry"));
        QVERIFY(!store->holdsEntry("other entry"));
        // Listed again: re-keyed.
        QVERIFY(store->purge(t0 + 1, std::vector<std::string>{"old entry"}));
        QVERIFY(hexOf(file(), "SELECT content FROM entries") != plain);
        QVERIFY(store->holdsEntry("old entry"));
    }

    void failedWriteLeavesNothing_data()
    {
        QTest::addColumn<Write>("write");
        QTest::addColumn<QByteArray>("problem");
        auto keepOf = [](std::vector<NewMessage> messages) {
            return [messages](SqliteStore& s, std::int64_t) {
                Intake intake;
                intake.entries = {{"new entry", "m2"}};
                intake.messages = messages;
                intake.parts = {{"long\x1fx\x1f" "9\x1f" "2", 1, 2, "07914400"}};
                return s.keep(intake, t0 + 1);
            };
        };
        QTest::newRow("same id twice in one intake")
            << Write(keepOf({message("m2"), message("m2")})) << QByteArray("UNIQUE constraint failed: messages.id");
        QTest::newRow("id stored before") << Write(keepOf({message("m2"), message("m1")}))
                                          << QByteArray("UNIQUE constraint failed: messages.id");
        QTest::newRow("empty id") << Write(keepOf({message("")})) << QByteArray("CHECK constraint failed");
        QTest::newRow("disk full") << Write([](SqliteStore& s, std::int64_t) {
            FileSizeLimit limit(128 * 1024);
            Intake intake;
            intake.entries = {{"new entry", "m2"}};
            intake.messages = {message("m2", std::string(512 * 1024, 'x'))};
            return s.keep(intake, t0 + 1);
        }) << QByteArray("cannot write");
        QTest::newRow("join with a part not stored") << Write([](SqliteStore& s, std::int64_t part) {
            return s.join(message("m2"), t0, {part, part + 7});
        }) << QByteArray(": part ");
        QTest::newRow("join with the part twice") << Write([](SqliteStore& s, std::int64_t part) {
            return s.join(message("m2"), t0, {part, part});
        }) << QByteArray(": part ");
        QTest::newRow("join under a stored id") << Write([](SqliteStore& s, std::int64_t part) {
            return s.join(message("m1"), t0, {part});
        }) << QByteArray("UNIQUE constraint failed");
    }
    void failedWriteLeavesNothing()
    {
        QFETCH(Write, write);
        QFETCH(QByteArray, problem);
        auto store = openReady();
        QVERIFY(store);
        Intake first;
        first.entries = {{"old entry", "m1"}};
        first.messages = {message("m1")};
        first.parts = {{"long\x1fy\x1f" "5\x1f" "2", 1, 2, "0791"}};
        QVERIFY(store->keep(first, t0));
        QCOMPARE(store->waitingCount(), 2);
        const std::int64_t part = store->parts().at(0).id;

        QVERIFY(!write(*store, part));
        QVERIFY2(QByteArray::fromStdString(store->problem()).contains(problem), store->problem().c_str());
        QVERIFY(QByteArray::fromStdString(store->problem()).startsWith("cannot write "));
        for (unsigned char c : store->problem())
            QVERIFY(c >= 0x20 && c < 0x7F);
        QCOMPARE(waitingIds(*store), std::vector<std::string>{"m1"});
        QCOMPARE(store->parts().size(), std::size_t(1));
        QVERIFY(store->holdsEntry("old entry"));
        QVERIFY(!store->holdsEntry("new entry"));
        QCOMPARE(store->waitingCount(), 2);
        // The next write works again.
        Intake next;
        next.messages = {message("m3")};
        QVERIFY2(store->keep(next, t0 + 2), store->problem().c_str());
        QCOMPARE(store->waitingCount(), 3);
    }

    // Due first first, ties in intake order; the values come back byte for byte; a
    // restart keeps all of it.
    void waitingOrderAndRestart()
    {
        auto store = openReady();
        QVERIFY(store);
        Intake intake;
        const std::string hostile("a\0b\xFF\r\n\"", 7);
        intake.messages = {message("m1"), message("m2", hostile, hostile), message("m3")};
        QVERIFY(store->keep(intake, t0));
        intake.messages = {message("m4")};
        QVERIFY(store->keep(intake, t0 + 1000));
        QVERIFY(store->refused("m1", "HTTP 503", t0 + 9000));
        QVERIFY(store->refused("m3", "no answer", t0 + 500));
        QVERIFY(store->refused("m3", "HTTP 500", t0 + 1000));
        QVERIFY(!store->refused("m9", "x", t0));
        QCOMPARE(waitingIds(*store), (std::vector<std::string>{"m2", "m3", "m4", "m1"}));
        QCOMPARE(store->waiting(2).size(), std::size_t(2));

        const std::vector<WaitingMessage> before = store->waiting(10);
        store.reset();
        store = openReady();
        QVERIFY(store);
        const std::vector<WaitingMessage> after = store->waiting(10);
        QCOMPARE(after.size(), before.size());
        const WaitingMessage& m2 = after[0];
        QCOMPARE(m2.message.text, hostile);
        QCOMPARE(m2.message.sender, hostile);
        QCOMPARE(m2.receivedMs, t0);
        QCOMPARE(m2.nextTryMs, t0);
        const WaitingMessage& m3 = after[1];
        QCOMPARE(m3.tries, 2);
        QCOMPARE(m3.lastFailure, std::string("HTTP 500"));
        QCOMPARE(m3.nextTryMs, t0 + 1000);
        QCOMPARE(after[3].tries, 1);
        QCOMPARE(store->waitingCount(), 4);
    }

    void deliveredLeavesNoText()
    {
        auto store = openReady();
        QVERIFY(store);
        Intake intake;
        // Long enough that the shorter row left behind does not cover where the text was.
        intake.messages = {message("m1", "FIRST-SECRET-TEXT" + std::string(200, '.')),
                           message("m2", "SECOND-TEXT-KEPT")};
        QVERIFY(store->keep(intake, t0));
        // Delivered after a restart: the text is in the file itself by then.
        store.reset();
        store = openReady();
        QVERIFY(store);
        QCOMPARE(store->waitingCount(), 2);
        QVERIFY(store->delivered("m1", 200, t0 + 5));
        QVERIFY(store->delivered("m1", 200, t0 + 6)); // asked again: done already
        QVERIFY(!store->delivered("m9", 200, t0 + 6));
        QVERIFY(!store->refused("m1", "late", t0 + 7));
        QCOMPARE(store->waitingCount(), 1);
        QCOMPARE(waitingIds(*store), std::vector<std::string>{"m2"});
        // Delivery checkpoints the log: both files, as they are while the gateway runs.
        const QByteArray bytes = fileBytes(file()) + fileBytes(file() + "-wal");
        QVERIFY(!bytes.contains("FIRST-SECRET-TEXT"));
        QVERIFY(bytes.contains("SECOND-TEXT-KEPT"));
    }

    void purge_data()
    {
        QTest::addColumn<std::int64_t>("age");
        QTest::addColumn<bool>("kept");
        QTest::newRow("a day") << day << true;
        QTest::newRow("7 days") << 7 * day << true;
        QTest::newRow("7 days and 1 ms") << 7 * day + 1 << false;
    }
    void purge()
    {
        QFETCH(std::int64_t, age);
        QFETCH(bool, kept);
        auto store = openReady();
        QVERIFY(store);
        Intake intake;
        intake.entries = {{"entry", "m1"}};
        intake.messages = {message("m1"), message("m2")};
        QVERIFY(store->keep(intake, t0));
        QVERIFY(store->delivered("m1", 204, t0));
        QVERIFY(store->purge(t0 + age, std::vector<std::string>{}));
        QCOMPARE(store->holdsEntry("entry"), kept);
        // Waiting messages stay however old.
        QCOMPARE(waitingIds(*store), std::vector<std::string>{"m2"});
        QCOMPARE(count(file(), "SELECT count(*) FROM messages WHERE id = 'm1'"), qint64(kept));
    }

    void joinReplacesItsParts()
    {
        auto store = openReady();
        QVERIFY(store);
        Intake intake;
        intake.parts = {{"long\x1f+49\x1f" "7\x1f" "2", 2, 2, "PDU-2"}, {"long\x1f+31\x1f" "1\x1f" "3", 1, 3, "OTHER"}};
        QVERIFY(store->keep(intake, t0));
        intake.parts = {{"long\x1f+49\x1f" "7\x1f" "2", 1, 2, "PDU-1"}};
        QVERIFY(store->keep(intake, t0 + 10));
        QCOMPARE(store->waitingCount(), 2);
        const std::vector<StoredPart> parts = store->parts();
        QCOMPARE(parts.size(), std::size_t(3));
        QCOMPARE(parts[0].part.pdu, std::string("PDU-2"));
        QCOMPARE(parts[2].receivedMs, t0 + 10);
        NewMessage joined = message("j1", "whole text");
        joined.parts = 2;
        QVERIFY(store->join(joined, t0, {parts[0].id, parts[2].id}));
        QCOMPARE(store->parts().size(), std::size_t(1));
        QCOMPARE(store->parts()[0].part.pdu, std::string("OTHER"));
        const std::vector<WaitingMessage> waiting = store->waiting(10);
        QCOMPARE(waiting.size(), std::size_t(1));
        QCOMPARE(waiting[0].message.parts, 2);
        QCOMPARE(waiting[0].receivedMs, t0);
        QCOMPARE(store->waitingCount(), 2);
    }

    // Files that are not ours to write: refused, and left byte for byte as they were.
    void fatal_data()
    {
        QTest::addColumn<QByteArray>("garbage"); // the file's bytes, or empty to use `sql`
        QTest::addColumn<QByteArray>("sql");
        QTest::addColumn<QString>("text");
        QTest::newRow("not a database") << QByteArray(5000, 'z') << QByteArray()
            << "/zorvel.sqlite is damaged (file is not a database): Zorvel will not change it. Move it "
               "away to start with an empty store; its messages can be read with sqlite3.";
        QTest::newRow("newer schema") << QByteArray()
            << QByteArray("PRAGMA application_id = 1515345484; PRAGMA user_version = 3; CREATE TABLE x(y);")
            << "/zorvel.sqlite was written by a newer Zorvel (schema 3, this one reads 2): Zorvel will "
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
    }
    void fatal()
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
    void fileGuards_data()
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
    void fileGuards()
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

    void secondGatewayOnTheFolder()
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
    void unwritable_data()
    {
        QTest::addColumn<bool>("readOnlyFolder"); // else a full disk while creating the file
        QTest::newRow("read-only folder") << true;
        QTest::newRow("disk full") << false;
    }
    void unwritable()
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

    void pendingListing()
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
    void programListsPending()
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
};

QTEST_GUILESS_MAIN(SqliteStoreTest)
#include "test_sqlite_store.moc"
