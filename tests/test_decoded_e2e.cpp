// Decoded PDU mode with the real program: the simulated modem builds its own PDUs (UCS2
// with emoji, Cyrillic, a long 7-bit message stored out of order, a status report), the
// receiver refuses one message for good, and everything else still arrives whole.
#include <QtTest>

#include "e2e/GatewayRig.h"

using zorvel::testing::GatewayRig;
using zorvel::testing::Received;

namespace {

const QByteArray emoji = "Meeting at 10 \xF0\x9F\x91\x8D\xF0\x9F\x8E\x89";
const QByteArray cyrillic = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82! ok";
const QByteArray notice =
    "Your account ending 4321 was charged 25.00 EUR at Corner Shop on 07/12. If this was not "
    "you, call us at once on the number on the back of your card. Remember: we never ask for "
    "your PIN or your passwords by SMS or phone. Your available balance is now 1,234.56 EUR. "
    "Reply STOP to end these notices; standard rates apply. Thank you for banking with us {ok}.";
const QByteArray statusReport = "0006D40B915155001111F1622170905120406221709051304000";

const QByteArray store =
    "from: +15550006161\ntime: 26/12/07,09:30:00+04\ntext: " + emoji + "\n\n"
    "from: +15550007272\ntime: 26/12/07,09:31:00-08\ntext: " + cyrillic + "\n\n"
    "from: +15550007000\ntime: 26/12/07,09:32:00+04\nparts-order: 3,1,2\ntext: " + notice + "\n\n"
    "from: +15550008888\ntime: 26/12/07,09:33:00+04\ntext: REFUSE-ME always\n\n"
    "pdu: " + statusReport + "\n";

int count(const QList<QByteArray>& lines, const QByteArray& part)
{
    return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                          [&](const QByteArray& l) { return l.contains(part); }));
}

} // namespace

class DecodedEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void everyMessageArrivesWholeAndTheRefusedOneBlocksNone();
};

void DecodedEndToEnd::everyMessageArrivesWholeAndTheRefusedOneBlocksNone()
{
    GatewayRig rig;
    QVERIFY(rig.startReceiver({"--refuse-message-containing", "REFUSE-ME"}));
    QVERIFY(rig.startModem(store, {"--concat"}));
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    // No PDUmode: decoding takes the PDU format by itself.
    QVERIFY(rig.startGateway("Decode=1\r\n", env));

    auto accepted = [&] {
        QList<Received> out;
        for (const Received& r : rig.received())
            if (r.status == 200)
                out.append(r);
        return out;
    };
    QTRY_VERIFY_WITH_TIMEOUT(accepted().size() >= 4 &&
                                 count(rig.modemLog("STORE"), "delete") >= 6, 180000);
    const QList<Received> ok = accepted();
    QCOMPARE(ok.size(), 4);
    QCOMPARE(ok[0].sender, QByteArray("+15550006161"));
    QCOMPARE(ok[0].time, QByteArray("26/12/07,09:30:00+04"));
    QCOMPARE(ok[0].message, emoji);
    QCOMPARE(ok[1].time, QByteArray("26/12/07,09:31:00-08"));
    QCOMPARE(ok[1].message, cyrillic);
    QCOMPARE(ok[2].sender, QByteArray("+15550007000"));
    QCOMPARE(ok[2].message, notice);
    // Not a received SMS: forwarded as it was listed.
    QCOMPARE(ok[3].sender, QByteArray("PDU"));
    QCOMPARE(ok[3].message, statusReport);

    // The refused message was tried, let the status report go first, and stays stored.
    const QList<Received> all = rig.received();
    QVERIFY(count({all[3].message}, "REFUSE-ME") == 1 && all[3].status == 400);
    QCOMPARE(all[4].message, statusReport);
    QCOMPARE(count(rig.modemLog("STORE"), "delete"), 6); // 1 + 1 + 3 parts + 1
    const QList<QByteArray> stored = rig.modemLog("STORE");
    const auto refusedAdd = std::find_if(stored.begin(), stored.end(), [](const QByteArray& l) {
        return l.startsWith("add ") && l.contains("+15550008888");
    });
    QVERIFY(refusedAdd != stored.end());
    QVERIFY(!stored.contains("delete " + refusedAdd->split(' ').at(1)));
    QCOMPARE(rig.gateway.state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(DecodedEndToEnd)
#include "test_decoded_e2e.moc"
