// Polling the web application's outbox: its address, one request at a time at its
// period, what the answers put into the outbox, and one log line per failure.
#include <QtTest>

#include "OutboxPoll.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeHttp.h"
#include "fakes/FakeOutbox.h"

using namespace zorvel;
using namespace zorvel::testing;

namespace {

HttpResult ok(const std::string& body) { return {200, {}, body}; }

std::string offering(const std::string& ids)
{
    std::string entries;
    for (const QString& id : QString::fromStdString(ids).split(','))
        entries += std::string(entries.empty() ? "" : ",") + R"({"id":")" + id.toStdString()
                   + R"(","to":"+447700900123","text":"hello"})";
    return R"({"messages":[)" + entries + "]}";
}

struct Rig {
    FakeClock clock;
    FakeHttp http;
    FakeOutbox store;
    OutboxPoll poll;
    QStringList log;
    int queued = 0;

    explicit Rig(OutboxPollSettings settings = {"http://web/out?src=a", "k", 30'000, 10})
        : poll(store, http, clock, std::move(settings))
    {
        poll.onNotice = [this](const std::string& s) { log.append("notice: " + QString::fromStdString(s)); };
        poll.onWarning = [this](const std::string& s) { log.append("warning: " + QString::fromStdString(s)); };
        poll.onQueued = [this] { ++queued; };
    }
};

} // namespace

class OutboxPollTest : public QObject {
    Q_OBJECT
private slots:
    void address_data();
    void address();
    void pacing();
    void answersFillTheOutbox();
    void anAnswerAfterTheEnd();
};

void OutboxPollTest::address_data()
{
    QTest::addColumn<QString>("outboxUrl");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("url");
    QTest::newRow("no query") << "https://web/out" << "k" << "https://web/out?key=k";
    QTest::newRow("a query") << "http://web/out?src=m" << "k" << "http://web/out?src=m&key=k";
    QTest::newRow("ends in ?") << "http://web/out?" << "k" << "http://web/out?key=k";
    QTest::newRow("key encoded") << "http://web/out" << "s3cr+t &key/ü" << "http://web/out?key=s3cr%2Bt%20%26key%2F%C3%BC";
}

void OutboxPollTest::address()
{
    QFETCH(QString, outboxUrl);
    QFETCH(QString, key);
    Rig rig({outboxUrl.toStdString(), key.toStdString(), 30'000, 10});
    rig.poll.start();
    QCOMPARE(rig.http.urls.size(), 1u);
    QTEST(QString::fromStdString(rig.http.urls[0]), "url");
    QVERIFY(rig.http.headers[0].empty());
    QCOMPARE(rig.http.options[0].bodyLimit, std::optional<std::size_t>(65536));
    QVERIFY(rig.poll.describeAddress().ends_with("key=..."));
}

// One request at a time: a slow answer delays the next poll, a failed one waits for the
// next period, and a failure that lasts is logged once.
void OutboxPollTest::pacing()
{
    Rig rig;
    rig.poll.start();
    rig.poll.start();
    QCOMPARE(rig.http.urls.size(), 1u);
    rig.clock.advance(90'000);
    QCOMPARE(rig.http.urls.size(), 1u);

    rig.http.answer({0, "no answer within 60 s"});
    rig.clock.advance(29'999);
    QCOMPARE(rig.http.urls.size(), 1u); // a whole period after an answer that took longer
    rig.clock.advance(1);
    QCOMPARE(rig.http.urls.size(), 2u);

    rig.clock.advance(10'000);
    rig.http.answer({0, "no answer within 60 s"});
    rig.clock.advance(19'999);
    QCOMPARE(rig.http.urls.size(), 2u); // a period from the start of the poll
    rig.clock.advance(1);
    QCOMPARE(rig.http.urls.size(), 3u);
    rig.http.answer({500, {}});
    rig.clock.advance(30'000);
    rig.http.answer(ok(R"({"messages":[]})"));
    rig.clock.advance(30'000);
    QCOMPARE(rig.http.urls.size(), 5u);
    QCOMPARE(rig.http.pending.size(), 1u);
    QCOMPARE(rig.log, QStringList({"warning: outbox poll failed: no answer within 60 s; trying again every 30 s",
                                   "warning: outbox poll failed: HTTP 500; trying again every 30 s",
                                   "notice: outbox poll: the web application answers again"}));
}

void OutboxPollTest::answersFillTheOutbox()
{
    Rig rig;
    rig.poll.start();
    rig.http.answer(ok(offering("w1,w2")));
    QCOMPARE(rig.store.order, std::vector<std::string>({"w1", "w2"}));
    const OutboxMessage w1 = rig.store.messages["w1"];
    QCOMPARE(w1.origin, OutboxOrigin::Web);
    QCOMPARE(w1.recipient, std::string("+447700900123"));
    QCOMPARE(w1.parts, 1);
    QCOMPARE(rig.queued, 1);

    // Offered again until the web application hears back: nothing new, nothing said.
    rig.clock.advance(30'000);
    rig.http.answer(ok(offering("w1,w2")));
    QCOMPARE(rig.queued, 1);

    // A store that cannot take it: said, and asked for again at the next poll.
    rig.store.failWrites = true;
    rig.clock.advance(30'000);
    rig.http.answer(ok(offering("w3")));
    rig.store.failWrites = false;
    rig.clock.advance(30'000);
    rig.http.answer(ok(offering("w3") + " "));
    QVERIFY(rig.store.messages.count("w3"));

    // A 200 that is no outbox answer, and a bad entry beside a good one.
    rig.clock.advance(30'000);
    rig.http.answer(ok("<html>"));
    rig.clock.advance(30'000);
    rig.http.answer(ok(R"({"messages":[{"id":"w4"},)" + offering("w5").substr(13)));
    QVERIFY(rig.store.messages.count("w5") && !rig.store.messages.count("w4"));
    QCOMPARE(rig.queued, 3);
    QCOMPARE(rig.log,
             QStringList({"notice: outbox poll: 2 new messages queued",
                          "warning: outbox poll: message \"w3\" could not be stored (disk full); it is asked for "
                          "again next poll",
                          "notice: outbox poll: 1 new message queued",
                          "warning: outbox poll: the answer is not JSON (illegal value)",
                          "warning: outbox poll: entry 1 (id \"w4\"): \"to\" is missing, not a string",
                          "notice: outbox poll: 1 new message queued"}));
}

void OutboxPollTest::anAnswerAfterTheEnd()
{
    FakeClock clock;
    FakeHttp http;
    FakeOutbox store;
    auto poll = std::make_unique<OutboxPoll>(store, http, clock, OutboxPollSettings{"http://web/out", "k"});
    poll->start();
    poll.reset();
    http.answer(ok(offering("late")));
    clock.advance(60'000);
    QVERIFY(store.messages.empty());
    QCOMPARE(http.urls.size(), 1u);
}

QTEST_GUILESS_MAIN(OutboxPollTest)
#include "test_outbox_poll.moc"
