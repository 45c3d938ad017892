// Store=1 while the web application is away: messages keep arriving at a small SIM, the
// program empties it every cycle into its file, so the SIM never holds a message back
// for long and nothing is dropped; `--pending` (while the program runs) shows them all;
// once the receiver is back every message is delivered once, under a key of its own.
// tools/store-soak.sh runs it bigger: ZORVEL_STORE_OUTAGE_MESSAGES (40),
// ZORVEL_STORE_SLOTS (10), ZORVEL_STORE_ADD_SECONDS (120), ZORVEL_STORE_HELD_SECONDS (the
// longest a message may wait for a slot, 45), ZORVEL_STORE_SEED.
// A cycle is four commands of two seconds and one more per message taken in, so 10 slots
// take in at most 10 messages in 28 s; a third of a message a second keeps below that.
#include <QtTest>

#include "e2e/Soak.h"
#include "e2e/StoreRun.h"

using namespace zorvel::testing;

class SoakStoreOutage : public QObject {
    Q_OBJECT
private slots:
    void receiverAwayWhileTheSimFillsUp();
};

void SoakStoreOutage::receiverAwayWhileTheSimFillsUp()
{
    const int messages = SoakSettings::number("ZORVEL_STORE_OUTAGE_MESSAGES", 40);
    const int simSlots = SoakSettings::number("ZORVEL_STORE_SLOTS", 10);
    const int addSeconds = SoakSettings::number("ZORVEL_STORE_ADD_SECONDS", 120);
    const int heldLimitMs = 1000 * SoakSettings::number("ZORVEL_STORE_HELD_SECONDS", 45);
    const quint32 seed = quint32(SoakSettings::number("ZORVEL_STORE_SEED", 20261208));
    qInfo("outage: %d messages within %d s into %d slots, seed %u", messages, addSeconds, simSlots, seed);
    QRandomGenerator random(seed);

    Scenario s;
    s.name = "store, receiver away";
    s.sms = storeMessages("8", messages, random);
    s.limitSeconds = SoakSettings::number("ZORVEL_STORE_LIMIT_SECONDS", addSeconds + 160);
    s.startReceiverAtOnce = false;
    useStore(s);
    s.modemArgs = {"--capacity", QString::number(simSlots)};
    s.beforeStart = [before = s.beforeStart](Scenario& c) {
        before(c);
        c.rig->address = QStringLiteral("127.0.0.1:%1").arg(freePort());
    };
    // Evenly spread with a little jitter: a steady stream, as a busy number gets.
    for (int i = 0; i < messages; ++i) {
        const double at = (i + random.bounded(1.0)) * addSeconds / messages;
        s.steps.append({[at](Scenario& c) { return c.seconds() >= at; },
                        [sms = s.sms[i]](Scenario& c) { c.addMessage(sms); }});
    }
    double upAt = 0, drainedAt = 0;
    Pending whileDown;
    s.steps.append({[messages](Scenario& c) { return deletedSenders(c.modemEvents()).size() >= messages; },
                    [&](Scenario& c) {
                        whileDown = readPending(c);  // the program still runs
                        upAt = c.seconds();
                        if (!receiverUp(c))
                            c.startError = "the receiver could not listen on its port";
                    }});
    s.finished = [&](Scenario& c) {
        QSet<QByteArray> accepted;
        for (const WebRequest& r : c.requests())
            if (r.status >= 200 && r.status <= 299)
                accepted.insert(r.sender);
        if (accepted.size() < messages)
            return false;
        drainedAt = c.seconds();
        return true;
    };
    runTogether({&s});

    const StoreAccount a = settleStoreCase(s);
    int held = 0, landed = 0, dropped = 0;
    qint64 longestHold = 0;
    for (const ModemEvent& e : s.modemEvents()) {
        if (e.kind != "STORE")
            continue;
        held += e.details.startsWith("held ");
        dropped += e.details.startsWith("dropped ");
        const qsizetype h = e.details.indexOf(" held=");
        if (e.details.startsWith("add ") && h > 0) {
            ++landed;
            longestHold = qMax(longestHold, e.details.mid(h + 6).chopped(2).toLongLong());
        }
    }
    // Oldest first: the first 2xx of each message in the order the program stored them.
    QList<QByteArray> storedOrder, acceptedOrder;
    for (const GatewayLine& l : readGatewayLog(gatewayLogPath(s)))
        if (l.text.startsWith("stored "))
            storedOrder.append(l.text.split(' ').value(3).chopped(1));  // "stored <id> from <sender>: ..."
    for (const WebRequest& r : s.requests())
        if (r.status >= 200 && r.status <= 299 && !acceptedOrder.contains(r.sender))
            acceptedOrder.append(r.sender);
    int outOfOrder = 0;
    for (int i = 1; i < acceptedOrder.size(); ++i)
        outOfOrder += storedOrder.indexOf(acceptedOrder[i]) < storedOrder.indexOf(acceptedOrder[i - 1]);
    QTest::qWait(1500);  // the last 2xx committed
    const Pending after = readPending(s);
    killGateway(s);
    removePortLock(s);
    s.notes << QStringLiteral("held %1 (longest %2 ms), pending while down %3, drained %4 s after the receiver "
                              "came back, %5 accepted before an older one")
                   .arg(held).arg(longestHold).arg(whileDown.lines.size()).arg(drainedAt - upAt, 0, 'f', 1)
                   .arg(outOfOrder);
    printFaultTable({&s});
    QVERIFY2(s.startError.isEmpty() && !s.timedOut, qPrintable(s.startError + " " + a.summary()));
    QCOMPARE(whileDown.exitCode, 0);
    QCOMPARE(int(whileDown.lines.size()), messages);
    QVERIFY2(a.problems.isEmpty(), qPrintable(a.problems.join("\n")));
    QCOMPARE(a.accepted, messages);
    QCOMPARE(a.repeats, 0);
    QCOMPARE(dropped, 0);
    QCOMPARE(landed, held);
    QVERIFY2(longestHold <= heldLimitMs, qPrintable(QStringLiteral("a message waited %1 ms for a slot").arg(longestHold)));
    QCOMPARE(storedOrder.size(), messages);
    QCOMPARE(outOfOrder, 0);
    QCOMPARE(after.exitCode, 0);
    QVERIFY2(after.lines.isEmpty(), after.lines.join('\n').constData());
}

QTEST_GUILESS_MAIN(SoakStoreOutage)
#include "test_soak_store_outage.moc"
