// Sending in PDU mode through the program on its terminal, as the gateway will: prompt,
// PDU, Ctrl-Z in separate exchanges; status reports in each place they can go; faults
// switched by control files.
#include "sim/SimProcess.h"
#include "test_simmodem/SimModemTest.h"

#include <QTest>

using namespace zorvel::sim::testing;

namespace {

// hellohello to +46708251358 with TP-SRR set: 23 octets after the SMSC part.
const QByteArray kHelloWithReport = "0031000B916407281553F80000AA0AE8329BFD4697D9EC37";
// The report on reference 1 to that number, up to its time stamps (SMSC, 06, MR, TP-RA).
const QByteArray kReportStart = "07915155000000F006010B916407281553F8";

QByteArray sendWithReport(const QString& link)
{
    const QByteArray prompt = exchange(link, "AT+CMGS=23\r\n");
    if (prompt != "\r\n> ") return "prompt: " + prompt;
    return exchange(link, kHelloWithReport + "\x1A");
}

} // namespace

// Steps after the send: "<command>" then what its reply contains; an empty command
// reads what waits on the port (an unsolicited line).
void TestSimModem::program_statusReports_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArrayList>("setup");
    QTest::addColumn<QByteArray>("logged");
    QTest::addColumn<QByteArrayList>("steps");
    const QByteArray listed = "\r\n+CMGL: 0,0,,25\r\n" + kReportStart;
    QTest::newRow("store") << QStringList{"--reports", "store", "--report", "*=delivered,100"} << QByteArrayList{}
                           << QByteArray("REPORT delivered mr=1 to=\"+46708251358\" st=00 via=store\n")
                           << QByteArrayList{"AT+CMGL=4\r\n", listed};
    QTest::newRow("store, failed for a prefix, listed in text mode")
        << QStringList{"--report", "+4670=failed:45,100", "--report", "+1=none"} << QByteArrayList{}
        << QByteArray("REPORT failed mr=1 to=\"+46708251358\" st=45 via=store\n")
        << QByteArrayList{"AT+CMGF=1\r\n", "OK", "AT+CMGL=\"ALL\"\r\n",
                          "\r\n+CMGL: 0,\"REC UNREAD\",6,1,\"+46708251358\",145,\""};
    QTest::newRow("none for a prefix") << QStringList{"--report", "+4670=none"} << QByteArrayList{}
                                       << QByteArray("REPORT none mr=1 to=\"+46708251358\"\n")
                                       << QByteArrayList{"AT+CMGL=4\r\n", "\r\nOK\r\n"};
    QTest::newRow("sr: listed once SR is chosen")
        << QStringList{"--reports", "sr", "--report", "*=delivered,100"} << QByteArrayList{}
        << QByteArray(" STORE add 0 from=\"+46708251358\" source=report mem=SR\n")
        << QByteArrayList{"AT+CMGL=4\r\n", "\r\nOK\r\n", "AT+CPMS=\"SR\"\r\n", "+CPMS: 1,10,", "AT+CMGL=4\r\n", listed};
    QTest::newRow("cds, acknowledged")
        << QStringList{"--reports", "cds", "--report", "*=delivered,100"} << QByteArrayList{"AT+CNMI=2,1,0,1,0\r\n"}
        << QByteArray("REPORT delivered mr=1 to=\"+46708251358\" st=00 via=cds\n")
        << QByteArrayList{"", "\r\n+CDS: 25\r\n" + kReportStart, "AT+CNMA\r\n", "\r\nOK\r\n"};
    QTest::newRow("cds while AT+CNMI does not route them")
        << QStringList{"--reports", "cds", "--report", "*=delivered,100"} << QByteArrayList{}
        << QByteArray("via=cds not routed ds=0\n") << QByteArrayList{"", ""};
    QTest::newRow("cdsi") << QStringList{"--reports", "cdsi", "--report", "*=delivered,100"}
                          << QByteArrayList{"AT+CNMI=2,1,0,2,0\r\n"}
                          << QByteArray(" STORE add 0 from=\"+46708251358\" source=report mem=SR\n")
                          << QByteArrayList{"", "\r\n+CDSI: \"SR\",0\r\n", "AT+CPMS=\"SR\"\r\n", "OK",
                                            "AT+CMGR=0\r\n", "\r\n+CMGR: 0,,25\r\n" + kReportStart};
}

void TestSimModem::program_statusReports()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArrayList, setup);
    QFETCH(QByteArray, logged);
    QFETCH(QByteArrayList, steps);
    Sim sim;
    QVERIFY(sim.start(args + QStringList{"--echo", "off"}));
    for (const QByteArray& command : setup) QCOMPARE(exchange(sim.link(), command), QByteArray("\r\nOK\r\n"));
    QCOMPARE(sendWithReport(sim.link()), QByteArray("\r\n+CMGS: 1\r\n\r\nOK\r\n"));
    QVERIFY(sim.log().contains(" SENT SMS mr=1 to=\"+46708251358\" part=1/1 report=yes text=\"hellohello\" pdu=\"" +
                               kHelloWithReport + "\"\n"));
    QTRY_VERIFY2_WITH_TIMEOUT(sim.log().contains(logged), sim.log().right(400).constData(), 3000);
    for (qsizetype i = 0; i + 1 < steps.size(); i += 2) {
        const QByteArray reply = steps[i].isEmpty() ? exchange(sim.link(), {}, 300, false) : exchange(sim.link(), steps[i]);
        const QByteArray& expected = steps[i + 1];
        QVERIFY2(expected.isEmpty() ? reply.isEmpty() : reply.contains(expected), reply.constData());
    }
}

void TestSimModem::program_sendFaultsAndReferenceWrap()
{
    Sim sim;
    QVERIFY(sim.start({"--first-reference", "255", "--echo", "off", "--report", "*=none"}));
    QCOMPARE(sendWithReport(sim.link()), QByteArray("\r\n+CMGS: 255\r\n\r\nOK\r\n"));
    QCOMPARE(sendWithReport(sim.link()), QByteArray("\r\n+CMGS: 0\r\n\r\nOK\r\n"));

    sim.dropFile("silent.ctl", "cmgs-silent on\n");
    QTRY_VERIFY_WITH_TIMEOUT(sim.log().contains("CONTROL \"cmgs-silent on\""), 3000);
    QCOMPARE(exchange(sim.link(), "AT+CMGS=23\r\n"), QByteArray("\r\n> "));
    QCOMPARE(exchange(sim.link(), kHelloWithReport + "\x1A", 700), QByteArray());
    sim.dropFile("error.ctl", "clear\ncmgs-error 331\n");
    QTRY_VERIFY_WITH_TIMEOUT(sim.log().contains("CONTROL \"cmgs-error 331\""), 3000);
    QCOMPARE(exchange(sim.link(), "AT+CMGS=23\r\n"), QByteArray("\r\n+CMS ERROR: 331\r\n"));
    sim.dropFile("clear.ctl", "clear\n");
    QTRY_VERIFY_WITH_TIMEOUT(sim.log().count("CONTROL \"clear\"") == 2, 3000);
    // The silent send took no reference.
    QCOMPARE(sendWithReport(sim.link()), QByteArray("\r\n+CMGS: 1\r\n\r\nOK\r\n"));
}
