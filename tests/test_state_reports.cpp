// The state reports to the web application: each request's address and header, oldest
// first and one at a time, the back-off after a failure, and reports that outlive the
// program because the store keeps them.
#include <QtTest>

#include "ModemTimeStamp.h"
#include "StateReportDelivery.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeHttp.h"
#include "fakes/FakeOutbox.h"

using namespace zorvel;
using namespace zorvel::testing;

namespace {

// 2026-12-08 10:00:04 UTC.
constexpr std::int64_t december8 = 1'796'724'004'000;

// The outbox's state reports as the store keeps them: due by their next try, gone once
// delivered, their tries counted when refused.
class ReportingOutbox : public FakeOutbox {
public:
    std::vector<StateReport> dueStateReports(std::int64_t now, std::size_t limit) override
    {
        std::vector<StateReport> due;
        for (const StateReport& r : reports)
            if (r.nextTryMs <= now && due.size() < limit)
                due.push_back(r);
        return due;
    }
    bool stateReportDelivered(std::int64_t seq) override
    {
        if (failWrites)
            return false;
        std::erase_if(reports, [seq](const StateReport& r) { return r.seq == seq; });
        return true;
    }
    bool stateReportRefused(std::int64_t seq, const std::string& failure, std::int64_t next) override
    {
        refusals.push_back(failure);
        for (StateReport& r : reports)
            if (r.seq == seq && !failWrites) {
                ++r.tries;
                r.nextTryMs = next;
            }
        return !failWrites;
    }
    void queue(const std::string& id, OutboxState state, std::string detail = {})
    {
        reports.push_back({++lastSeq, id, state, december8, std::move(detail)});
    }
    std::vector<std::string> refusals;
    std::int64_t lastSeq = 0;
};

struct Rig {
    FakeClock clock{december8 + 60'000};
    FakeHttp http;
    ReportingOutbox store;
    std::unique_ptr<StateReportDelivery> reports = make();

    std::unique_ptr<StateReportDelivery> make()
    {
        return std::make_unique<StateReportDelivery>(store, http, clock,
                                                      StateReportSettings{"http://web/out?src=m", "k"},
                                                      [](std::int64_t) { return 3600; });
    }
    // The id and state of each request so far.
    QStringList sent() const
    {
        QStringList keys;
        for (const HttpHeaders& h : http.headers)
            keys.append(QString::fromStdString(h.at(0).second));
        return keys;
    }
};

} // namespace

class StateReportsTest : public QObject {
    Q_OBJECT
private slots:
    void modemTimeStamps_data();
    void modemTimeStamps();
    void request();
    void oldestFirstOneAtATime();
    void backOff();
    void afterARestart();
};

void StateReportsTest::modemTimeStamps_data()
{
    QTest::addColumn<qint64>("utcMs");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QString>("stamp");
    QTest::newRow("UTC") << qint64(december8) << 0 << "26/12/08,10:00:04+00";
    QTest::newRow("an hour east") << qint64(december8) << 3600 << "26/12/08,11:00:04+04";
    QTest::newRow("India") << qint64(december8) << 19'800 << "26/12/08,15:30:04+22";
    QTest::newRow("west, the day before") << qint64(december8) << -36'000 << "26/12/08,00:00:04-40";
    QTest::newRow("across the year") << qint64(946'684'799'999) << 3600 << "00/01/01,00:59:59+04";
    QTest::newRow("Newfoundland") << qint64(december8) << -12'600 << "26/12/08,06:30:04-14";
    QTest::newRow("not whole quarters") << qint64(december8) << -600 << "26/12/08,09:50:04+00";
}

void StateReportsTest::modemTimeStamps()
{
    QFETCH(qint64, utcMs);
    QFETCH(int, offset);
    QTEST(QString::fromStdString(ModemTimeStamp(utcMs, offset)), "stamp");
}

void StateReportsTest::request()
{
    Rig rig;
    rig.store.queue("w-1", OutboxState::Failed, "+CMS ERROR: 500 & co");
    rig.reports->wake();
    QCOMPARE(rig.http.urls.size(), 1u);
    QCOMPARE(QString::fromStdString(rig.http.urls[0]),
             "http://web/out?src=m&key=k&id=w-1&state=failed&time=26%2F12%2F08%2C11%3A00%3A04%2B04"
             "&detail=%2BCMS%20ERROR%3A%20500%20%26%20co");
    QCOMPARE(rig.http.headers[0], HttpHeaders({{"Idempotency-Key", "\"w-1:failed\""}}));
    QVERIFY(!rig.http.options[0].bodyLimit);
}

void StateReportsTest::oldestFirstOneAtATime()
{
    Rig rig;
    rig.store.queue("a", OutboxState::Queued);
    rig.store.queue("b", OutboxState::Queued);
    rig.store.queue("a", OutboxState::Sending);
    rig.reports->wake();
    rig.reports->wake();
    QCOMPARE(rig.http.pending.size(), 1u);
    rig.http.answer({200, {}});
    rig.http.answer({204, {}});
    rig.http.answer({200, {}});
    QCOMPARE(rig.sent(), QStringList({"\"a:queued\"", "\"b:queued\"", "\"a:sending\""}));
    QVERIFY(rig.store.reports.empty());

    // Nothing due: the next one goes when it is queued and the delivery is woken.
    rig.clock.advance(10'000);
    rig.store.queue("b", OutboxState::Sent);
    rig.reports->wake();
    QCOMPARE(rig.sent().size(), 4);
}

// A refused report waits 1 s, then 2 s, ..., while the others go; a server that fails
// holds every report back as long, the oldest going first after it.
void StateReportsTest::backOff()
{
    Rig rig;
    rig.store.queue("a", OutboxState::Sent);
    rig.store.queue("b", OutboxState::Sent);
    rig.reports->wake();
    rig.http.answer({400, {}});
    QCOMPARE(rig.store.refusals, std::vector<std::string>({"HTTP 400"}));
    QCOMPARE(rig.http.pending.size(), 1u); // b goes meanwhile
    rig.http.answer({200, {}});
    rig.clock.advance(999);
    QCOMPARE(rig.sent().size(), 2);
    rig.clock.advance(1);
    QCOMPARE(rig.sent().size(), 3); // a again, on time
    rig.http.answer({404, {}});
    rig.clock.advance(1999);
    QCOMPARE(rig.sent().size(), 3);
    rig.clock.advance(1);
    QCOMPARE(rig.sent().size(), 4);

    rig.store.queue("c", OutboxState::Delivered);
    rig.http.answer({503, {}});
    rig.clock.advance(3'999); // a's fourth wait holds c back too
    QCOMPARE(rig.sent().size(), 4);
    rig.clock.advance(1);
    QCOMPARE(rig.sent(), QStringList({"\"a:sent\"", "\"b:sent\"", "\"a:sent\"", "\"a:sent\"", "\"a:sent\""}));
    rig.http.answer({200, {}});
    rig.http.answer({200, {}});
    QCOMPARE(rig.sent().last(), QString("\"c:delivered\""));
    QVERIFY(rig.store.reports.empty());
}

// The reports are the store's: a program that ends before an answer, or whose store could
// not note one, sends them again after its restart, with the same Idempotency-Key.
void StateReportsTest::afterARestart()
{
    Rig rig;
    rig.store.queue("a", OutboxState::Delivered);
    rig.store.queue("b", OutboxState::Failed);
    rig.reports->wake();
    rig.reports.reset();
    rig.http.answer({200, {}}); // too late: nobody hears it
    QCOMPARE(rig.store.reports.size(), 2u);

    rig.reports = rig.make();
    rig.reports->wake();
    rig.store.failWrites = true;
    rig.http.answer({200, {}});
    // Taken but not noted: b goes, a is not sent again while this program runs.
    QCOMPARE(rig.sent(), QStringList({"\"a:delivered\"", "\"a:delivered\"", "\"b:failed\""}));
    rig.store.failWrites = false;
    rig.http.answer({200, {}});
    QVERIFY(rig.store.reports.empty());
    rig.clock.advance(120'000);
    QCOMPARE(rig.sent().size(), 3);
}

QTEST_GUILESS_MAIN(StateReportsTest)
#include "test_state_reports.moc"
