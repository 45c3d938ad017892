// The cycle with the local store, on a real SQLite file: what it takes off the modem is
// on disk before its delete goes out, a store that cannot be written deletes nothing,
// delivery goes oldest first with one id per message, and both survive a restart.
#include <QTemporaryDir>
#include <QtTest>
#include <sqlite3.h>

#include "ForwardUrl.h"
#include "SmsDeliver.h"
#include "SqliteStore.h"
#include "StoreForwarding.h"
#include "fakes/CycleRig.h"

using namespace zorvel;
using namespace zorvel::testing;

namespace {

// The rig's cycle with a store in `folder`; a second one on the same folder is a restart.
struct StoreRig : Rig {
    StoreRig(const QString& folder, const std::string& pduMode, bool decode, std::int64_t startMs = 0)
        : Rig(pduMode, decode), store(open(folder)),
          forwarding(*store, http, clock, ForwardingSettings{MessageModeOf(pduMode, decode), "http://h/in", "k"})
    {
        if (startMs)
            clock.jumpTo(startMs);
        cycle.useStore(intake);
        cycle.waitingCount = [this] { return store->waitingCount(); };
        delivery.onEnded = [this](const DeliveryReport& r) { cycle.forwardedCount += r.failure.empty(); };
        // Every delete must find its slot's message in the store already.
        port.respond = [this](const std::string& w) {
            if (w.starts_with("AT+CMGD=")) {
                const auto slot = modem.store.find(std::stoi(w.substr(8)));
                if (slot != modem.store.end() && !inStore(slot->second))
                    deletedUnstored.push_back(slot->second);
            }
            return modem(w);
        };
    }
    static std::unique_ptr<SqliteStore> open(const QString& folder)
    {
        StoreOpening o = SqliteStore::open(folder.toStdString());
        return std::move(o.store);
    }
    // The slot's text (text mode), PDU, or decoded PDU is in a waiting message or part.
    bool inStore(const std::string& slot)
    {
        std::string body = slot.substr(slot.find("\r\n") + 2);
        for (const StoredPart& p : store->parts())
            if (p.part.pdu == body)
                return true;
        bool part = false;
        if (const std::optional<SmsDeliver> sms = decode ? DecodeSmsDeliver(body) : std::nullopt) {
            body = Utf16ToUtf8(sms->units);
            part = sms->concat.has_value();
        }
        // A part may be joined already: its text is then within its message's.
        for (const WaitingMessage& w : store->waiting(1000))
            if (w.message.text == body || (part && w.message.text.find(body) != std::string::npos))
                return true;
        return false;
    }
    std::vector<std::string> deletedUnstored;
    std::unique_ptr<SqliteStore> store;
    StoreForwarding forwarding;
    StoreIntake& intake = forwarding.intake;
    Delivery& delivery = forwarding.delivery;
    bool decode = false;
};

std::string key(const FakeHttp& http, std::size_t i)
{
    return http.headers.at(i).empty() ? "" : http.headers.at(i).front().second;
}

} // namespace

class TestStoreCycle : public QObject {
    Q_OBJECT
private slots:
    void intakeEmptiesTheModem_data();
    void intakeEmptiesTheModem();
    void lockedStoreDeletesNothing();
    void deliveryOrderAndBackoff();
    void restartKeepsIdsAndPartWait();
    void refusedDeleteNeverStoredAgain();
    void acceptedTextLeavesTheLog();
    void backoffKeptWhenNotNoted();
};

void TestStoreCycle::intakeEmptiesTheModem_data()
{
    QTest::addColumn<QString>("pduMode");
    QTest::addColumn<bool>("decode");
    QTest::addColumn<QStringList>("texts"); // what the web application should get
    // Text mode fills its slots from the row's texts; the PDU rows build their own.
    QTest::newRow("text mode, a text imitating an entry and an OK")
        << "0" << false
        << QStringList{"Hi\n+CMGL: 2,\"REC READ\",\"+1\",,\"26/12/07,10:00:00+04\"\nOK", "second", "third"};
    QTest::newRow("PDU mode") << "1" << false << QStringList{};
    QTest::newRow("decoded, a long message in reverse order and a single") << "0" << true << QStringList{};
}

void TestStoreCycle::intakeEmptiesTheModem()
{
    QFETCH(QString, pduMode);
    QFETCH(bool, decode);
    QFETCH(QStringList, texts);
    QTemporaryDir dir;
    StoreRig rig(dir.path(), pduMode.toStdString(), decode);
    rig.decode = decode;
    std::vector<std::string> expected;
    if (pduMode == "0" && !decode) {
        for (int i = 0; i < texts.size(); ++i)
            rig.modem.store[i + 1] = textEntry("+1555000" + std::to_string(i), texts[i].toStdString());
        for (const QString& t : texts)
            expected.push_back(t.toStdString());
    } else {
        PduFields single;
        single.text = u"single";
        rig.modem.store[1] = pduEntry(single);
        if (decode) {
            for (int seq = 3; seq >= 1; --seq) {
                PduFields part;
                part.text = std::u16string(u"part") + char16_t(u'0' + seq) + u" ";
                part.reference = 7;
                part.count = 3;
                part.sequence = seq;
                rig.modem.store[5 - seq] = pduEntry(part); // slots 2, 3, 4 hold parts 3, 2, 1
            }
            expected = {"single", "part1 part2 part3 "};
        } else {
            PduFields other;
            other.text = u"other";
            rig.modem.store[2] = pduEntry(other);
            expected = {BuildPdu(single), BuildPdu(other)};
        }
    }
    const std::size_t listed = rig.modem.store.size();

    rig.runCycle(200); // the first cycle: identity, then the inbox
    QVERIFY2(rig.modem.store.empty(), "every listed message leaves the modem");
    QCOMPARE(rig.modem.deleted.size(), listed);
    QVERIFY(rig.deletedUnstored.empty());
    QCOMPARE(rig.store->waitingCount(), int(expected.size()));
    rig.tick();
    QCOMPARE(rig.fields.text(Field::txtCounter),
             "Msgs: 0 (" + std::to_string(expected.size()) + " waiting)");

    // Delivered oldest first, one at a time, as fast as answered; the counter follows.
    for (const std::string& text : expected) {
        QCOMPARE(rig.http.pending.size(), std::size_t(1));
        const std::string url = BuildForwardUrl("", "", "", "", text);
        const std::string message = url.substr(url.find("message="));
        QVERIFY2(rig.http.urls.back().ends_with(message), rig.http.urls.back().c_str());
        rig.http.answer({200, {}});
    }
    QVERIFY(rig.http.pending.empty());
    QCOMPARE(rig.store->waitingCount(), 0);
    rig.tick();
    QCOMPARE(rig.fields.text(Field::txtCounter), "Msgs: " + std::to_string(expected.size()));
}

void TestStoreCycle::lockedStoreDeletesNothing()
{
    QTemporaryDir dir;
    StoreRig rig(dir.path(), "0", false);
    rig.modem.store[1] = textEntry("+15550001", "kept");
    rig.modem.store[2] = textEntry("+15550002", "also kept");
    std::vector<std::string> problems;
    rig.intake.events.storeProblem = [&](const std::string& p) { problems.push_back(p); };

    // Another program holds the write lock: the cycle must not wait, and delete nothing.
    sqlite3* other = nullptr;
    QCOMPARE(sqlite3_open((dir.path() + "/zorvel.sqlite").toUtf8().constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    rig.runCycle(200);
    QCOMPARE(rig.modem.store.size(), std::size_t(2));
    QVERIFY(rig.modem.deleted.empty());
    QCOMPARE(problems.size(), std::size_t(1));
    QVERIFY(!problems[0].empty());

    // Released: the next cycle keeps both and empties the modem; the problem is over.
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    rig.runCycle(200);
    QVERIFY(rig.modem.store.empty());
    QVERIFY(rig.deletedUnstored.empty());
    QCOMPARE(problems.size(), std::size_t(2));
    QVERIFY(problems[1].empty());

    // A delete that did not take: the slot is deleted again next cycle, never stored twice.
    rig.modem.store[3] = textEntry("+15550003", "delete fails once");
    rig.modem.silentOrOdd["AT+CMGD=3\r\n"] = "\r\nERROR\r\n";
    rig.runCycle(200);
    QCOMPARE(rig.store->waitingCount(), 3);
    rig.modem.silentOrOdd.clear();
    rig.runCycle(200);
    QVERIFY(rig.modem.store.empty());
    QCOMPARE(rig.store->waitingCount(), 3);
}

void TestStoreCycle::deliveryOrderAndBackoff()
{
    QTemporaryDir dir;
    StoreRig rig(dir.path(), "0", false);
    for (int i = 1; i <= 3; ++i)
        rig.modem.store[i] = textEntry("+1555000" + std::to_string(i), "m" + std::to_string(i));
    rig.runCycle(200);
    // m1 refused: m2 and m3 go first, m1 comes again in its next turn with the same id.
    QCOMPARE(rig.http.pending.size(), std::size_t(1));
    QVERIFY(rig.http.urls[0].find("message=m1") != std::string::npos);
    const std::string first = key(rig.http, 0);
    QCOMPARE(first.size(), std::size_t(38)); // a quoted UUID
    rig.http.answer({400, {}});
    QVERIFY(rig.http.urls[1].find("message=m2") != std::string::npos);
    rig.http.answer({200, {}});
    QVERIFY(rig.http.urls[2].find("message=m3") != std::string::npos);
    rig.http.answer({200, {}});
    QVERIFY(rig.http.urls[3].find("message=m1") != std::string::npos);
    QCOMPARE(key(rig.http, 3), first);
    // Refused again: 30 s before the next try, then 60 s.
    rig.http.answer({400, {}});
    QVERIFY(rig.http.pending.empty());
    rig.clock.advance(29'000);
    QVERIFY(rig.http.pending.empty());
    rig.clock.advance(1'000);
    QCOMPARE(rig.http.pending.size(), std::size_t(1));
    rig.http.answer({400, {}});
    rig.clock.advance(59'000);
    QVERIFY(rig.http.pending.empty());
    rig.clock.advance(1'000);
    QCOMPARE(rig.http.pending.size(), std::size_t(1));

    // No answer at all: the server's fault, delivery pauses 1 s, 2 s, ... not the message.
    rig.http.answer({0, "Connection refused"});
    QVERIFY(rig.http.pending.empty());
    rig.clock.advance(1'000);
    QCOMPARE(rig.http.pending.size(), std::size_t(1));
    rig.http.answer({503, {}});
    rig.clock.advance(1'999);
    QVERIFY(rig.http.pending.empty());
    rig.clock.advance(1);
    QCOMPARE(rig.http.pending.size(), std::size_t(1));
    rig.http.answer({200, {}});
    QCOMPARE(key(rig.http, rig.http.headers.size() - 1), first);
    QCOMPARE(rig.store->waitingCount(), 0);
}

void TestStoreCycle::restartKeepsIdsAndPartWait()
{
    QTemporaryDir dir;
    std::string firstKey;
    std::int64_t stoppedAt = 0;
    {
        StoreRig rig(dir.path(), "0", true);
        rig.decode = true;
        PduFields single;
        single.text = u"before the restart";
        rig.modem.store[1] = pduEntry(single);
        PduFields part;
        part.text = u"only part 1";
        part.reference = 9;
        part.count = 2;
        part.sequence = 1;
        rig.modem.store[2] = pduEntry(part);
        rig.runCycle(200);
        QVERIFY(rig.modem.store.empty());
        QCOMPARE(rig.http.pending.size(), std::size_t(1));
        firstKey = key(rig.http, 0);
        rig.http.answer({500, {}}); // refused; the program then ends
        stoppedAt = rig.clock.nowMs();
    }
    // Started again 11 minutes later: the same message with the same id, and the long
    // message, whose wait counts from its first part's intake, goes out with "[...]".
    StoreRig rig(dir.path(), "0", true, stoppedAt + 11 * 60 * 1000);
    rig.decode = true;
    rig.delivery.wake();
    QCOMPARE(rig.http.pending.size(), std::size_t(1));
    QCOMPARE(key(rig.http, 0), firstKey);
    rig.http.answer({200, {}});
    rig.runCycle(200);
    QCOMPARE(rig.http.pending.size(), std::size_t(1));
    QVERIFY2(rig.http.urls.back().find("only%20part%201%5B...%5D") != std::string::npos,
             rig.http.urls.back().c_str());
    QVERIFY(key(rig.http, 1) != firstKey);
}

// A modem that never deletes: its entry is listed for weeks and must stay known to the
// store all that time, not become a new message when a week has passed.
void TestStoreCycle::refusedDeleteNeverStoredAgain()
{
    QTemporaryDir dir;
    StoreRig rig(dir.path(), "0", false);
    rig.modem.store[1] = textEntry("+15550001", "code 123456");
    rig.modem.silentOrOdd["AT+CMGD=1\r\n"] = "\r\nERROR\x1b\r\n";
    std::vector<std::string> warnings;
    rig.intake.events.warning = [&](const std::string& w) { warnings.push_back(w); };
    rig.runCycle(200);
    QCOMPARE(rig.http.pending.size(), std::size_t(1));
    rig.http.answer({200, {}});
    // Said on the third refusal in a row, then at most once an hour.
    for (std::size_t warned : {0, 1, 1, 1, 1, 1, 1, 2}) {
        rig.clock.advance(10 * 60 * 1000);
        rig.runCycle(200);
        QCOMPARE(warnings.size(), warned);
    }
    QCOMPARE(QString::fromStdString(warnings[0]), QString("the modem refused to delete index 1 3 cycles in a row "
                                      "(ERROR\\x1B); its message is stored, but the slot stays taken"));
    for (int i = 0; i < 9 * 4; ++i) {
        rig.clock.advance(6 * 60 * 60 * 1000);
        rig.runCycle(200);
    }
    QCOMPARE(rig.modem.store.size(), std::size_t(1));
    QCOMPARE(rig.http.urls.size(), std::size_t(1));
    QCOMPARE(rig.store->waitingCount(), 0);
}

// A listing holds an old snapshot while a text is accepted: the text's bytes leave the
// log once the listing ends, at the next cycle, not at the next delivery.
void TestStoreCycle::acceptedTextLeavesTheLog()
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/zorvel.sqlite";
    StoreRig rig(dir.path(), "0", false);
    rig.modem.store[1] = textEntry("+15550001", "ACCEPTED-SECRET-TEXT");
    rig.runCycle(200);
    QCOMPARE(rig.http.pending.size(), std::size_t(1));
    const auto bytes = [&] {
        QFile db(path), wal(path + "-wal");
        db.open(QIODevice::ReadOnly);
        wal.open(QIODevice::ReadOnly);
        return db.readAll() + wal.readAll();
    };
    sqlite3* reader = nullptr;
    QCOMPARE(sqlite3_open_v2(path.toUtf8().constData(), &reader, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    QCOMPARE(sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM messages;", nullptr, nullptr, nullptr), SQLITE_OK);
    rig.http.answer({200, {}});
    QCOMPARE(rig.store->waitingCount(), 0);
    rig.runCycle(200);
    QVERIFY(bytes().contains("ACCEPTED-SECRET-TEXT")); // the reader still needs it
    sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(reader);
    rig.clock.advance(10'000);
    rig.runCycle(200);
    QVERIFY(!bytes().contains("ACCEPTED-SECRET-TEXT"));
}

// Refusals the store cannot note (another program holds it) still back off as logged.
void TestStoreCycle::backoffKeptWhenNotNoted()
{
    QTemporaryDir dir;
    StoreRig rig(dir.path(), "0", false);
    std::vector<std::int64_t> logged;
    rig.delivery.onEnded = [&](const DeliveryReport& r) { logged.push_back(r.nextTryMs); };
    rig.modem.store[1] = textEntry("+15550001", "refused");
    rig.runCycle(200);
    rig.http.answer({400, {}}); // its next turn
    rig.http.answer({400, {}}); // 30 s
    rig.clock.advance(30'000);
    sqlite3* other = nullptr;
    QCOMPARE(sqlite3_open((dir.path() + "/zorvel.sqlite").toUtf8().constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    for (std::int64_t wait : {60'000, 120'000, 240'000}) {
        QCOMPARE(rig.http.pending.size(), std::size_t(1));
        rig.http.answer({400, {}});
        QCOMPARE(logged.back(), wait);
        rig.clock.advance(wait - 1);
        QVERIFY2(rig.http.pending.empty(), std::to_string(wait).c_str());
        rig.clock.advance(1);
    }
    QCOMPARE(rig.http.pending.size(), std::size_t(1));
    sqlite3_close(other);
}

QTEST_GUILESS_MAIN(TestStoreCycle)
#include "test_store_cycle.moc"
