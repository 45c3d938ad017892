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
        std::copy_if(reports.begin(), reports.end(), std::back_inserter(due), [&](auto& r) { return r.nextTryMs <= now; });
        return {due.begin(), due.begin() + std::ptrdiff_t(std::min(limit, due.size()))};
    }
    bool stateReportDelivered(std::int64_t seq) override
    {
        return !failWrites && std::erase_if(reports, [seq](const StateReport& r) { return r.seq == seq; });
    }
    bool stateReportRefused(std::int64_t seq, const std::string&, std::int64_t next) override
    {
        for (StateReport& r : reports)
            if (r.seq == seq)
                std::tie(r.tries, r.nextTryMs) = std::pair(r.tries + 1, next);
        return true;
    }
    void queue(const std::string& id, OutboxState state, std::string detail = {})
    {
        reports.push_back({std::int64_t(++queued), id, state, december8, std::move(detail)});
    }
    int queued = 0;
};

struct Rig {
    FakeClock clock{december8 + 60'000};
    FakeHttp http;
    ReportingOutbox store;
    std::unique_ptr<StateReportDelivery> reports = make();

    std::unique_ptr<StateReportDelivery> make()
    {
        const auto anHourEast = [](std::int64_t) { return 3600; };
        return std::make_unique<StateReportDelivery>(store, http, clock, StateReportSettings{"http://web/out?src=m", "k"},
                                                      anHourEast);
    }
    // The Idempotency-Key of each request so far.
    QStringList sent() const
    {
        QStringList keys;
        std::for_each(http.headers.begin(), http.headers.end(), [&](auto& h) { keys.append(h.at(0).second.c_str()); });
        return keys;
    }
};

} // namespace

class StateReportsTest : public QObject {
    Q_OBJECT
private slots:
    void modemTimeStamps();
    void oldestFirstOneAtATime();
    void backOff();
    void afterARestart();
};

void StateReportsTest::modemTimeStamps()
{
    QCOMPARE(ModemTimeStamp(december8, 19'800), std::string("26/12/08,15:30:04+22"));
    QCOMPARE(ModemTimeStamp(december8, -37'800), std::string("26/12/07,23:30:04-42"));
    QCOMPARE(ModemTimeStamp(946'684'799'999, 3600), std::string("00/01/01,00:59:59+04"));
    QCOMPARE(ModemTimeStamp(december8, -600), std::string("26/12/08,09:50:04+00")); // not whole quarters
}

void StateReportsTest::oldestFirstOneAtATime()
{
    Rig rig;
    rig.store.queue("a", OutboxState::Queued);
    rig.store.queue("b", OutboxState::Failed, "+CMS ERROR: 500 & co");
    rig.store.queue("a", OutboxState::Sending);
    rig.reports->wake();
    rig.reports->wake();
    QCOMPARE(rig.http.pending.size(), 1u);
    rig.http.answer({200, {}});
    QCOMPARE(rig.http.urls.back(), "http://web/out?src=m&key=k&id=b&state=failed&time=26%2F12%2F08%2C11%3A00%3A04%2B04"
                                   "&detail=%2BCMS%20ERROR%3A%20500%20%26%20co");
    rig.http.answer({204, {}});
    rig.http.answer({200, {}});
    QCOMPARE(rig.http.headers[0], HttpHeaders({{"Idempotency-Key", "\"a:queued\""}}));
    QCOMPARE(rig.sent(), QStringList({"\"a:queued\"", "\"b:failed\"", "\"a:sending\""}));

    // Nothing due: the next one goes when it is queued and the delivery is woken.
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
    QCOMPARE(rig.http.pending.size(), 1u); // b goes meanwhile
    rig.http.answer({200, {}});
    rig.clock.advance(999);
    QCOMPARE(rig.sent().size(), 2);
    rig.clock.advance(1); // a again, on time; then 2 s
    rig.http.answer({404, {}});
    rig.clock.advance(2000);
    QCOMPARE(rig.sent().size(), 4);

    rig.store.queue("c", OutboxState::Delivered);
    rig.http.answer({503, {}});
    rig.clock.advance(3'999); // a's fourth wait holds c back too
    QCOMPARE(rig.sent().size(), 4);
    rig.clock.advance(1);
    rig.http.answer({200, {}});
    QCOMPARE(rig.sent(), QStringList({"\"a:sent\"", "\"b:sent\"", "\"a:sent\"", "\"a:sent\"", "\"a:sent\"",
                                      "\"c:delivered\""}));
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
    rig.clock.advance(120'000);
    QVERIFY(rig.store.reports.empty() && rig.sent().size() == 3);
}

QTEST_GUILESS_MAIN(StateReportsTest)
#include "test_state_reports.moc"
