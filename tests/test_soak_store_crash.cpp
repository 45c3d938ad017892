// Store=1 under a crash loop: messages arrive at the modem over time, the receiver goes
// down and up at random, and the program is killed with SIGKILL at random moments and
// started again, then runs until everything is delivered. At every kill the messages gone
// from the modem must be accepted or on disk (`--pending`); in the end every message was
// accepted, under one Idempotency-Key of its own, and a repeat only follows a kill right
// after its 2xx. tools/store-soak.sh runs the same with bigger figures:
//   ZORVEL_STORE_MESSAGES (20), ZORVEL_STORE_KILLS (10), ZORVEL_STORE_GAP_MIN/MAX (s
//   between two kills, 13/25), ZORVEL_STORE_LIMIT_SECONDS, ZORVEL_STORE_SEED.
// After a start the program spends about 12 s on the modem's identity and 8 s more on its
// first list, so a kill lands before the first intake, during the deletes that follow
// it, or in the next cycle; a delivery may be under way at any of them.
#include <QtTest>

#include "e2e/Soak.h"
#include "e2e/StoreRun.h"

using namespace zorvel::testing;

namespace {

struct CrashLoop {
    int kills = 0, messages = 0, gapMin = 0, gapMax = 0, limit = 0;
    quint32 seed = 0;
    int killed = 0;
    double nextKill = 0, nextFlip = 0, drainedAt = 0;
    bool receiverIsUp = true;
    QStringList faults;  // what a check at a kill found
};

// Every message gone from the modem is accepted or waits on disk.
void checkAtKill(Scenario& s, CrashLoop& loop)
{
    const Pending pending = readPending(s);
    if (pending.exitCode != 0) {
        loop.faults << QStringLiteral("--pending after kill %1: exit %2 %3")
                           .arg(loop.killed).arg(pending.exitCode).arg(QString::fromLocal8Bit(pending.errors));
        return;
    }
    QSet<QByteArray> accepted;
    QHash<QByteArray, QByteArray> idOf;  // sender -> id, where a request showed it
    for (const WebRequest& r : s.requests()) {
        idOf.insert(r.sender, QByteArray(r.idempotencyKey).replace('"', ""));
        if (r.status >= 200 && r.status <= 299)
            accepted.insert(r.sender);
    }
    for (const QByteArray& sender : deletedSenders(s.modemEvents())) {
        const QByteArray id = idOf.value(sender);
        if (!accepted.contains(sender) && !pending.has(sender) && (id.isEmpty() || !pending.has(id)))
            loop.faults << QStringLiteral("kill %1: %2 left the modem and is neither accepted nor pending")
                               .arg(loop.killed).arg(QString::fromLatin1(sender));
    }
}

int acceptedCount(const Scenario& s)
{
    QSet<QByteArray> senders;
    for (const WebRequest& r : s.requests())
        if (r.status >= 200 && r.status <= 299)
            senders.insert(r.sender);
    return int(senders.size());
}

} // namespace

class SoakStoreCrash : public QObject {
    Q_OBJECT
private slots:
    void killedAtRandomLosesNothing();
};

void SoakStoreCrash::killedAtRandomLosesNothing()
{
    CrashLoop loop;
    loop.messages = SoakSettings::number("ZORVEL_STORE_MESSAGES", 20);
    loop.kills = SoakSettings::number("ZORVEL_STORE_KILLS", 10);
    loop.gapMin = SoakSettings::number("ZORVEL_STORE_GAP_MIN", 13);
    loop.gapMax = qMax(loop.gapMin + 1, SoakSettings::number("ZORVEL_STORE_GAP_MAX", 25));
    loop.seed = quint32(SoakSettings::number("ZORVEL_STORE_SEED", 20261208));
    const int killSpan = loop.kills * (loop.gapMin + loop.gapMax) / 2;
    loop.limit = SoakSettings::number("ZORVEL_STORE_LIMIT_SECONDS", killSpan + 80);
    qInfo("crash loop: %d messages, %d kills %d-%d s apart, seed %u", loop.messages, loop.kills, loop.gapMin,
          loop.gapMax, loop.seed);
    QRandomGenerator random(loop.seed);
    const auto between = [&random](double a, double b) { return a + random.bounded(b - a); };

    Scenario s;
    s.name = "store, killed at random";
    s.sms = storeMessages("7", loop.messages, random);
    s.limitSeconds = loop.limit;
    useStore(s);
    // The messages arrive while the kills go on, so that intake meets every kind of moment.
    QList<double> arrivals;
    for (int i = 0; i < loop.messages; ++i)
        arrivals.append(between(0, killSpan * 0.75));
    std::sort(arrivals.begin(), arrivals.end());
    for (int i = 0; i < loop.messages; ++i)
        s.steps.append({[at = arrivals[i]](Scenario& c) { return c.seconds() >= at; },
                        [sms = s.sms[i]](Scenario& c) { c.addMessage(sms); }});
    loop.nextKill = between(loop.gapMin, loop.gapMax);
    loop.nextFlip = between(3, 15);
    s.onTick = [&](Scenario& c) {
        if (loop.killed < loop.kills && c.seconds() >= loop.nextFlip) {
            loop.receiverIsUp ? receiverDown(c) : void(receiverUp(c));
            loop.receiverIsUp = !loop.receiverIsUp;
            loop.nextFlip = c.seconds() + between(3, 15);
        }
        if (loop.killed < loop.kills && c.seconds() >= loop.nextKill) {
            killGateway(c);
            ++loop.killed;
            checkAtKill(c, loop);
            if (!restartGateway(c))
                loop.faults << "the program did not start again";
            loop.nextKill = c.seconds() + between(loop.gapMin, loop.gapMax);
            if (loop.killed == loop.kills && !loop.receiverIsUp)
                loop.receiverIsUp = receiverUp(c);
        }
        // A program that ends by itself (a lock it takes for another's, say) is a fault.
        if (c.rig->gateway.state() == QProcess::NotRunning) {
            loop.faults << QStringLiteral("the program ended with exit code %1 after kill %2")
                               .arg(c.rig->gateway.exitCode()).arg(loop.killed);
            restartGateway(c);
        }
    };
    s.finished = [&](Scenario& c) {
        if (loop.killed < loop.kills || acceptedCount(c) < loop.messages
            || deletedSenders(c.modemEvents()).size() < loop.messages)
            return false;
        loop.drainedAt = c.seconds();
        return true;
    };
    runTogether({&s});

    const QList<qint64> kills = marks(s, "killed") + marks(s, "receiver down");
    const StoreAccount a = settleStoreCase(s, kills);
    QTest::qWait(1500);  // the last 2xx committed
    killGateway(s);
    const Pending left = readPending(s);
    removePortLock(s);
    s.notes << QStringLiteral("kills %1, repeats %2, requests %3, drained at %4 s")
                   .arg(loop.killed).arg(a.repeats).arg(a.requests).arg(loop.drainedAt, 0, 'f', 0);
    printFaultTable({&s});
    QVERIFY2(s.startError.isEmpty() && !s.timedOut, qPrintable(s.startError + " " + a.summary()));
    QVERIFY2(loop.faults.isEmpty(), qPrintable(loop.faults.join("\n")));
    QCOMPARE(loop.killed, loop.kills);
    QVERIFY2(a.problems.isEmpty(), qPrintable(a.problems.join("\n")));
    QCOMPARE(a.accepted, loop.messages);
    QCOMPARE(a.lost, 0);
    QCOMPARE(s.storeEvents("held "), 0);
    QCOMPARE(left.exitCode, 0);
    QVERIFY2(left.lines.isEmpty(), left.lines.join('\n').constData());
}

QTEST_GUILESS_MAIN(SoakStoreCrash)
#include "test_soak_store_crash.moc"
