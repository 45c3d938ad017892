// The real program against the simulated modem and a real HTTP server on 127.0.0.1.
#include <QtTest>

#include "e2e/GatewayRig.h"

using zorvel::testing::GatewayRig;

namespace {

const QByteArray awkwardText = "Tom & Jerry: 2+2=4 #1 100% sure? /path,a:b=c";
const QByteArray store =
    "from: +15550001111\n"
    "time: 26/12/07,09:16:40+04\n"
    "text: " + awkwardText + "\n"
    "\n"
    "from: +15550002222\n"
    "time: 26/12/07,09:20:11+04\n"
    "text-hex: 43616fe90a7365636f6e64206c696e65\n"; // "Cao\xe9\nsecond line", Latin-1

int count(const QList<QByteArray>& lines, const QByteArray& prefix)
{
    return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                          [&](const QByteArray& l) { return l.contains(prefix); }));
}

} // namespace

class ForwardingEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void storedMessagesArriveExactlyAndAreDeletedOnlyAfterAcceptance();
    void unreachableServerLosesNothing();
};

void ForwardingEndToEnd::storedMessagesArriveExactlyAndAreDeletedOnlyAfterAcceptance()
{
    GatewayRig rig;
    QVERIFY(rig.startReceiver({"--status-script", "500,200"}));
    QVERIFY(rig.startModem(store, {"--mode", "text"}));
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QVERIFY(rig.startGateway({}, env));

    QTRY_VERIFY_WITH_TIMEOUT(rig.received().size() >= 3 && rig.modemLog("STORE").size() >= 4, 150000);
    const auto received = rig.received();
    QCOMPARE(received.size(), 3);
    // The first try was refused with a 500: the next cycle let the second message go
    // first, and the refused one came again after it.
    QCOMPARE(received[0].status, 500);
    QCOMPARE(received[1].status, 200);
    QCOMPARE(received[2].status, 200);
    for (const auto& r : received)
        QCOMPARE(r.key, QByteArray("s3cr+t &key"));
    QCOMPARE(received[0].sender, QByteArray("+15550001111"));
    QCOMPARE(received[0].time, QByteArray("26/12/07,09:16:40+04"));
    QCOMPARE(received[0].message, awkwardText);
    QCOMPARE(received[1].sender, QByteArray("+15550002222"));
    QCOMPARE(received[1].time, QByteArray("26/12/07,09:20:11+04"));
    QCOMPARE(received[1].message, QByteArray("Cao\xe9\nsecond line"));
    QCOMPARE(received[2].sender, received[0].sender);
    QCOMPARE(received[2].message, awkwardText);

    // Two deletes for two accepted requests, none for the refused one.
    const auto storeEvents = rig.modemLog("STORE");
    QCOMPARE(count(storeEvents, "delete"), 2);
    QCOMPARE(count(rig.modemLog("CMD"), "AT+CMGD="), 2);
    QCOMPARE(rig.gateway.state(), QProcess::Running);
}

void ForwardingEndToEnd::unreachableServerLosesNothing()
{
    GatewayRig rig;
    // Nothing listens at this address: every request fails to connect.
    rig.address = "127.0.0.1:9";
    QVERIFY(rig.startModem("from: +15550003333\ntext: still here\n", {"--mode", "text"}));
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QVERIFY(rig.startGateway({}, env));
    // Two lists after the first try: the message was listed, tried, and listed again.
    QTRY_VERIFY_WITH_TIMEOUT(count(rig.modemLog("CMD"), "AT+CMGL") >= 2, 60000);
    QCOMPARE(count(rig.modemLog("CMD"), "AT+CMGD"), 0);
    QCOMPARE(count(rig.modemLog("STORE"), "delete"), 0);
}

QTEST_GUILESS_MAIN(ForwardingEndToEnd)
#include "test_forwarding_e2e.moc"
