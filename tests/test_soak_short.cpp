// A short soak in the test command: 21 SMS arrive at random moments at three gateways
// while the receivers refuse 30% of requests and each modem refuses a delete once. The
// long soak (tools/soak.sh) runs the same code with bigger figures.
#include <QtTest>

#include "e2e/Soak.h"

using namespace zorvel::testing;

class SoakShort : public QObject {
    Q_OBJECT
private slots:
    void everySmsArrivesOnceOrIsDuplicatedOnlyByAFailedDelete();
};

void SoakShort::everySmsArrivesOnceOrIsDuplicatedOnlyByAFailedDelete()
{
    const SoakSettings s = SoakSettings::fromEnvironment({3, 21, 60, 1, 30, 230, 0.3, 20261207});
    qInfo("soak: %d gateways, %d SMS arriving within %d s, fail rate %.2f, %d refused-delete spells "
          "per gateway, seed %u",
          s.gateways, s.messages, s.addSeconds, s.failRate, s.deleteFaults, s.seed);
    QRandomGenerator random(s.seed);
    std::vector<std::unique_ptr<SoakGateway>> gateways;
    QList<Scenario*> cases;
    for (int g = 0; g < s.gateways; ++g) {
        const int share = s.messages / s.gateways + (g < s.messages % s.gateways ? 1 : 0);
        gateways.push_back(std::make_unique<SoakGateway>());
        planSoakGateway(*gateways.back(), g + 1, share, s, random);
        cases.append(&gateways.back()->scenario);
    }
    QElapsedTimer wall;
    wall.start();
    runTogether(cases);

    Account total;
    for (const auto& g : gateways) {
        printUsage(*g);
        const Account& a = g->scenario.account;
        total.stored += a.stored; total.arrived += a.arrived; total.acknowledged += a.acknowledged;
        total.deleteCommands += a.deleteCommands; total.deleted += a.deleted;
        total.failedDeletes += a.failedDeletes; total.duplicates += a.duplicates; total.garbled += a.garbled;
        total.deletedWithout2xx += a.deletedWithout2xx; total.lost += a.lost; total.stillStored += a.stillStored;
        total.deletedAgain += a.deletedAgain;
        int refused = 0;
        for (const WebRequest& r : g->scenario.requests())
            refused += r.status == 500;
        g->scenario.notes << QStringLiteral("500s %1").arg(refused);
    }
    printFaultTable(cases);
    qInfo("soak account: %d SMS sent, %s, wall %.0f s", int(s.messages), qPrintable(total.summary()),
          wall.elapsed() / 1000.0);
    for (const Scenario* c : cases)
        QVERIFY2(c->failures.isEmpty(), qPrintable(c->name + ": " + c->failures.join("; ")));
    QCOMPARE(total.arrived, s.messages);
    QCOMPARE(total.lost, 0);
    // Loose sanity only: an idle-polling gateway that spins would show here.
    for (const auto& g : gateways) {
        const Usage& last = g->samples.isEmpty() ? Usage{} : g->samples.last();
        QVERIFY2(last.seconds <= 0 || last.cpu / last.seconds < 0.5, "the program spins");
    }
}

QTEST_GUILESS_MAIN(SoakShort)
#include "test_soak_short.moc"
