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

HttpResult offering(const std::string& id)
{
    return {200, {}, R"({"messages":[{"id":")" + id + R"(","to":"+44 7700 900123","text":"hi"}]})"};
}

} // namespace

class OutboxPollTest : public QObject {
    Q_OBJECT
private slots:
    void polls();
};

void OutboxPollTest::polls()
{
    FakeClock clock;
    FakeHttp http;
    FakeOutbox store;
    QStringList log;
    int queued = 0;
    auto poll = std::make_unique<OutboxPoll>(store, http, clock,
                                             OutboxPollSettings{"http://web/out?src=m", "s3cr+t &k", 30'000, 10});
    poll->onNotice = poll->onWarning = [&](const std::string& s) { log.append(QString::fromStdString(s)); };
    poll->onQueued = [&] { ++queued; };
    poll->start();
    poll->start();
    QCOMPARE(http.urls, std::vector<std::string>{"http://web/out?src=m&key=s3cr%2Bt%20%26k"});
    QCOMPARE(http.options[0].bodyLimit, std::optional<std::size_t>(65536));

    // Never two at once; after a slow answer a whole period, else a period from the start.
    clock.advance(90'000);
    http.answer({0, "no answer within 60 s"});
    clock.advance(29'999);
    QCOMPARE(http.urls.size(), 1u);
    clock.advance(1);
    clock.advance(10'000);
    http.answer({0, "no answer within 60 s"});
    clock.advance(19'999);
    QCOMPARE(http.urls.size(), 2u);
    clock.advance(1);
    http.answer({500, {}});

    // Offered again until the web application hears back: taken once.
    clock.advance(30'000);
    http.answer(offering("w1"));
    clock.advance(30'000);
    http.answer(offering("w1"));
    QCOMPARE(store.order, std::vector<std::string>{"w1"});
    QCOMPARE(store.messages["w1"].origin, OutboxOrigin::Web);
    QCOMPARE(store.messages["w1"].recipient, std::string("+447700900123"));

    // A store that cannot take it: asked for again at the next poll.
    store.failWrites = true;
    clock.advance(30'000);
    http.answer(offering("w2"));
    store.failWrites = false;
    clock.advance(30'000);
    http.answer(offering("w2"));
    QCOMPARE(store.order, (std::vector<std::string>{"w1", "w2"}));
    QCOMPARE(queued, 2);
    QCOMPARE(log, QStringList({"outbox poll failed: no answer within 60 s; trying again every 30 s",
                               "outbox poll failed: HTTP 500; trying again every 30 s",
                               "outbox poll: the web application answers again", "outbox poll: 1 new message queued",
                               "outbox poll: message \"w2\" could not be stored (disk full); it is asked for again "
                               "next poll",
                               "outbox poll: 1 new message queued"}));

    // An answer after the poll has gone reaches nobody.
    clock.advance(30'000);
    poll.reset();
    http.answer(offering("late"));
    QCOMPARE(store.order.size(), 2u);
}

QTEST_GUILESS_MAIN(OutboxPollTest)
#include "test_outbox_poll.moc"
