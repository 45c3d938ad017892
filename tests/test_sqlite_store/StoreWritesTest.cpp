// What a write leaves (all or nothing), the order of delivery, what stays after delivery
// and purge, and a restart.
#include "SqliteStoreTest.h"

#include "EntryDigest.h"
#include "PendingReport.h"

using namespace zorvel;
using namespace storetest;
using Outcome = StoreOpening::Outcome;

void SqliteStoreTest::digest_data()
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

void SqliteStoreTest::digest()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, hex);
    const std::string d = PlainDigest(std::string_view(input.constData(), std::size_t(input.size())));
    QCOMPARE(QByteArray::fromStdString(d).toHex(), hex);
}

// Two slots holding the same SMS are two entries: one confirmed delete leaves the other.
void SqliteStoreTest::entries()
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
void SqliteStoreTest::keyedEntries()
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
    runSql(file(), ("DROP TABLE content_key; DROP TABLE outbox; DROP TABLE outbox_parts; DROP TABLE state_reports; "
                    "PRAGMA user_version = 1; UPDATE entries SET content = X'" + plain + "'").constData());
    QVERIFY(ListPending(folder(), t0).error.empty());
    auto store = openReady();
    QVERIFY(store);
    QCOMPARE(count(file(), "PRAGMA user_version"), qint64(3));
    QVERIFY(hexOf(file(), "SELECT key FROM content_key") != key);
    QVERIFY(store->holdsEntry("old entry"));
    QVERIFY(!store->holdsEntry("other entry"));
    // Listed again: re-keyed.
    QVERIFY(store->purge(t0 + 1, std::vector<std::string>{"old entry"}));
    QVERIFY(hexOf(file(), "SELECT content FROM entries") != plain);
    QVERIFY(store->holdsEntry("old entry"));
}

void SqliteStoreTest::failedWriteLeavesNothing_data()
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

void SqliteStoreTest::failedWriteLeavesNothing()
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
void SqliteStoreTest::waitingOrderAndRestart()
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

void SqliteStoreTest::deliveredLeavesNoText()
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

void SqliteStoreTest::purge_data()
{
    QTest::addColumn<std::int64_t>("age");
    QTest::addColumn<bool>("kept");
    QTest::newRow("a day") << day << true;
    QTest::newRow("7 days") << 7 * day << true;
    QTest::newRow("7 days and 1 ms") << 7 * day + 1 << false;
}

void SqliteStoreTest::purge()
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

void SqliteStoreTest::joinReplacesItsParts()
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
