// Sending in PDU mode, without a terminal: the SMS-SUBMIT reader, the AT+CMGS flow and
// its faults, references, status report PDUs and rules, the "SR" memory.
#include "Options.h"
#include "StatusReport.h"
#include "SubmitDecoder.h"
#include "sim/SimModemChecks.h"
#include "test_simmodem/SimModemTest.h"

#include <QTest>

using namespace zorvel::sim;
using namespace zorvel::sim::testing;

namespace {

// hellohello to +46708251358, relative validity; the widely published example.
const QByteArray kHello = "0011000B916407281553F80000AA0AE8329BFD4697D9EC37";
// "second part", part 2 of 3 with reference 204; "Привет!" in UCS-2.
const QByteArray kPart2 = "0041000B915155112122F2000012050003CC0302E6E5F1DB4D06C1C3723A";
const QByteArray kUcs2 = "0001000B919761214365F700080E041F044004380432043504420021";

QByteArray concatText(const std::optional<SubmitConcatenation>& c)
{
    if (!c) return "-";
    return QByteArray::number(c->reference) + (c->reference16 ? "w " : " ") + QByteArray::number(c->sequence) + "/" +
           QByteArray::number(c->count);
}

} // namespace

// Vectors assembled by hand after 3GPP TS 23.040 / 23.038; the malformed ones are each
// one fault away from a good PDU.
void TestSimModem::submitDecoder_data()
{
    QTest::addColumn<QByteArray>("hex");
    QTest::addColumn<QByteArray>("recipient");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("report");
    QTest::addColumn<QByteArray>("concatenation");  // "ref[w] seq/count" or "-"
    QTest::addColumn<int>("tpduLength");
    QTest::addColumn<QString>("error");
    const auto good = [](const char* name, QByteArray hex, QByteArray to, QString text, bool report,
                         QByteArray concat, int length) {
        QTest::newRow(name) << hex << to << text << report << concat << length << QString();
    };
    const auto bad = [](const char* name, QByteArray hex, const char* error) {
        QTest::newRow(name) << hex << QByteArray() << QString() << false << QByteArray() << 0 << QString(error);
    };
    good("7-bit, relative validity", kHello, "+46708251358", "hellohello", false, "-", 23);
    good("7-bit, extension table", "0011000B915155112122F20000AA10C3F79CAE03D53665D086F75E6F7C", "+15551112222",
         QString::fromUtf8("Cost: 5€ [ok]"), false, "-", 28);
    good("UCS-2, no validity", kUcs2, "+79161234567", QString::fromUtf8("Привет!"), false, "-", 27);
    good("7-bit part 2 of 3, 8-bit reference, fill bit", kPart2, "+15551112222", "second part", false, "204 2/3", 29);
    good("UCS-2 part 1 of 2, 16-bit reference, absolute validity, report",
         "0079000B915155112122F20008622170905120400D0608041234020104160443043A", "+15551112222",
         QString::fromUtf8("Жук"), true, "4660w 1/2", 33);
    good("8-bit data, enhanced validity, national number", "0009000781551532F4000401000000000000030102FF",
         "5551234", QString(), false, "-", 21);
    good("with a service centre", "07915155000000F0" + kHello.mid(2), "+46708251358", "hellohello", false, "-", 23);
    bad("an SMS-DELIVER", "0004000B916407281553F80000AA0AE8329BFD4697D9EC37", "TP-MTI");
    bad("user data short of TP-UDL", kHello.left(kHello.size() - 2), "user data octets");
    bad("cut inside the address", "0011000B916407", "TP-DA");
    bad("filler inside the number", "0011000B916F07281553F80000AA0AE8329BFD4697D9EC37", "TP-DA digits");
    bad("validity period missing", "0011000B916407281553F80000", "TP-VP");
    bad("part beyond the count", "0041000B915155112122F2000012050003CC0304E6E5F1DB4D06C1C3723A", "part 4 of 3");
    bad("header element past the header", "0041000B915155112122F2000012050004CC0203E6E5F1DB4D06C1C3723A", "header");
    bad("odd UCS-2", "0001000B919761214365F7000803041F04", "odd UCS-2");
    bad("more than 160 septets", "0001000B919761214365F70000A1" + QByteArray(282, 'A'), "TP-UDL 161");
    bad("compressed text", "0001000B919761214365F700200100", "TP-DCS");
    bad("SMSC part longer than the PDU", "0F9151", "SMSC");
}

void TestSimModem::submitDecoder()
{
    QFETCH(QByteArray, hex);
    QFETCH(QByteArray, recipient);
    QFETCH(QString, text);
    QFETCH(bool, report);
    QFETCH(QByteArray, concatenation);
    QFETCH(int, tpduLength);
    QFETCH(QString, error);
    const SubmitResult r = decodeSubmit(QByteArray::fromHex(hex));
    if (!error.isEmpty()) {
        QVERIFY(!r.submit);
        QVERIFY2(r.error.contains(error), qPrintable(r.error));
        return;
    }
    QVERIFY2(r.submit, qPrintable(r.error));
    QCOMPARE(r.submit->recipient, recipient);
    QCOMPARE(r.submit->text, text);
    QCOMPARE(r.submit->reportWanted, report);
    QCOMPARE(concatText(r.submit->concatenation), concatenation);
    QCOMPARE(r.submit->tpduLength, tpduLength);
    if (r.submit->alphabet == SubmitAlphabet::Bits8) QCOMPARE(r.submit->data, QByteArray("\x01\x02\xFF", 3));
}

// The AT+CMGS exchange in PDU mode; every fault answers 304 and sends nothing.
void TestSimModem::pduSend_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("logged");  // a piece of the last event
    // The PDU after AT+CMGS=<length>, ended by <end>; the modem echoes it, then <result>.
    const auto row = [](const char* name, int length, const QByteArray& pdu, char end, const QByteArray& result,
                        const char* logged) {
        QTest::newRow(name) << "AT+CMGS=" + QByteArray::number(length) + "\r" << pdu + end << pdu + result
                            << QByteArray(logged);
    };
    const QByteArray sent = "\r\n+CMGS: 1\r\n\r\nOK\r\n", refused = "\r\n+CMS ERROR: 304\r\n";
    row("sent", 23, kHello, '\x1A', sent, "mr=1 to=\"+46708251358\" part=1/1 report=no text=\"hellohello\" pdu=\"");
    row("a part of a long one", 29, kPart2, '\x1A', sent,
        "to=\"+15551112222\" part=2/3 ref=204 report=no text=\"second part\"");
    row("UCS-2 logged as UTF-8", 27, kUcs2, '\x1A', sent,
        "text=\"\\xD0\\x9F\\xD1\\x80\\xD0\\xB8\\xD0\\xB2\\xD0\\xB5\\xD1\\x82!\"");
    row("length one short", 22, kHello, '\x1A', refused, "reason=\"length 22, TPDU has 23\"");
    row("not hex", 1, "0G", '\x1A', refused, "reason=\"not hex\"");
    row("malformed", 3, "00110000", '\x1A', refused, "reason=\"TP-DA");
    // ESC gives OK, as the sticks answer it.
    row("cancelled", 23, kHello, '\x1B', "\r\nOK\r\n", "cancelled text=");
}

void TestSimModem::pduSend()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, logged);
    CoreRig rig;
    QByteArray last;
    rig.core.onEvent = [&](const QByteArray& kind, const QByteArray& detail) { last = kind + " " + detail; };
    QCOMPARE(rig.feed(command), command + "\r\n> ");
    QCOMPARE(rig.feed(body), reply);  // the body echoed as it comes, then the result
    QVERIFY2(last.contains(logged), last.constData());
    QCOMPARE(rig.core.sent().size(), reply.endsWith("+CMGS: 1\r\n\r\nOK\r\n") ? 1 : 0);
    QCOMPARE(rig.feed("AT\r"), QByteArray("AT\r\r\nOK\r\n"));
}

// Each fault of AT+CMGS; the modem takes commands again afterwards and sent nothing.
void TestSimModem::sendFaults_data()
{
    QTest::addColumn<QByteArray>("fault");
    QTest::addColumn<QByteArray>("afterCommand");
    QTest::addColumn<QByteArray>("afterBody");
    QTest::newRow("error instead of the prompt") << QByteArray("cmgs-error 500") << QByteArray("\r\n+CMS ERROR: 500\r\n")
                                                 << QByteArray();
    QTest::newRow("no prompt") << QByteArray("cmgs-no-prompt on") << QByteArray() << QByteArray();
    QTest::newRow("no answer after Ctrl-Z") << QByteArray("cmgs-silent on") << QByteArray("\r\n> ") << QByteArray();
    QTest::newRow("cleared") << QByteArray("clear") << QByteArray("\r\n> ")
                             << QByteArray("\r\n+CMGS: 1\r\n\r\nOK\r\n");
}

void TestSimModem::sendFaults()
{
    QFETCH(QByteArray, fault);
    QFETCH(QByteArray, afterCommand);
    QFETCH(QByteArray, afterBody);
    Options o;
    QVERIFY(applyControlLine("cmgs-silent on", o).isEmpty());
    QVERIFY(applyControlLine(fault, o).isEmpty());
    CoreRig rig;
    rig.settings = o.settings;
    rig.feed("ATE0\r");
    QCOMPARE(rig.feed("AT+CMGS=23\r"), afterCommand);
    QCOMPARE(rig.feed(kHello + "\x1A"), afterBody);
    QCOMPARE(rig.core.sent().size(), afterBody.isEmpty() ? 0 : 1);
    QCOMPARE(rig.feed("AT\r"), QByteArray("\r\nOK\r\n"));
}

void TestSimModem::statusReportPdu()
{
    StatusReportFields r;
    r.reference = 7;
    r.recipient = "+15550011111";
    r.submitted = "26/12/07,09:15:02+04";
    r.done = "26/12/07,09:15:04+04";
    r.status = 0x45;
    const StatusReportPdu pdu = buildStatusReport("+15550000000", r);
    // SMSC, 06 (TP-MTI 10, TP-SRQ 0), TP-MR, TP-RA, TP-SCTS, TP-DT, TP-ST.
    QCOMPARE(pdu.hex, QByteArray("07915155000000F006070B915155001111F1622170905120406221709051404045"));
    QCOMPARE(pdu.tpduLength, 25);
    QCOMPARE(statusReportTextFields(r),
             QByteArray("6,7,\"+15550011111\",145,\"26/12/07,09:15:02+04\",\"26/12/07,09:15:04+04\",69"));
}

// Recipient rules: the last one that matches wins; "*=delivered,2000" underlies them.
void TestSimModem::reportRules_data()
{
    QTest::addColumn<QStringList>("rules");
    QTest::addColumn<QByteArray>("recipient");
    QTest::addColumn<QString>("expected");  // "<outcome> <status> <delay>", or "invalid"
    QTest::newRow("default") << QStringList{} << QByteArray("+1555") << "0 0 2000";
    QTest::newRow("prefix, failure in hex") << QStringList{"+1555=failed:45,10"} << QByteArray("+15551") << "1 69 10";
    QTest::newRow("the last match wins") << QStringList{"+1=none", "*=delivered,5"} << QByteArray("+1555") << "0 0 5";
    QTest::newRow("none") << QStringList{"*=delivered,5", "+1=none"} << QByteArray("+1555") << "2 0 2000";
    QTest::newRow("status over one octet") << QStringList{"*=failed:100"} << QByteArray() << "invalid";
    QTest::newRow("no outcome") << QStringList{"*=lost"} << QByteArray() << "invalid";
}

void TestSimModem::reportRules()
{
    QFETCH(QStringList, rules);
    QFETCH(QByteArray, recipient);
    QFETCH(QString, expected);
    QList<ReportRule> parsed;
    for (const QString& text : rules) {
        const auto rule = parseReportRule(text);
        if (!rule) {
            QCOMPARE(QStringLiteral("invalid"), expected);
            return;
        }
        parsed << *rule;
    }
    const ReportRule r = reportRuleFor(parsed, recipient);
    QCOMPARE(QStringLiteral("%1 %2 %3").arg(r.outcome).arg(r.status).arg(r.delayMs), expected);
}

// "SR" exists only with --reports sr|cdsi, only as <mem1>; reports list in the 27.005 form.
void TestSimModem::statusReportMemory()
{
    CoreRig rig;
    rig.feed("ATE0\r");
    QCOMPARE(rig.feed("AT+CPMS=\"SR\"\r"), QByteArray("\r\n+CMS ERROR: 302\r\n"));
    MessageStore sr(0, 10);
    rig.memory.setStatusReports(&sr);
    QCOMPARE(rig.feed("AT+CPMS=\"SM\",\"SM\",\"SR\"\r"), QByteArray("\r\n+CMS ERROR: 302\r\n"));
    QVERIFY(rig.feed("AT+CPMS=?\r").startsWith("\r\n+CPMS: (\"SM\",\"ME\",\"MT\",\"SR\"),(\"SM\",\"ME\",\"MT\"),"));
    StoredMessage m;
    m.report = StatusReportFields{9, "+15550011111", "26/12/07,09:15:02+04", "26/12/07,09:15:04+04", 0};
    m.pduHex = buildStatusReport("+15550000000", *m.report).hex;
    QVERIFY(sr.add(m).has_value());
    QCOMPARE(rig.feed("AT+CMGL=4\r"), QByteArray("\r\nOK\r\n"));  // still the SIM
    QCOMPARE(rig.feed("AT+CPMS=\"SR\"\r"), QByteArray("\r\n+CPMS: 1,10,0,30,0,30\r\n\r\nOK\r\n"));
    rig.feed("AT+CMGF=1\r");
    const QByteArray fields = "6,9,\"+15550011111\",145,\"26/12/07,09:15:02+04\",\"26/12/07,09:15:04+04\",0";
    QCOMPARE(rig.feed("AT+CMGL=\"ALL\"\r"), "\r\n+CMGL: 0,\"REC UNREAD\"," + fields + "\r\n\r\nOK\r\n");
    QCOMPARE(rig.feed("AT+CMGR=0\r"), "\r\n+CMGR: \"REC READ\"," + fields + "\r\n\r\nOK\r\n");
    rig.feed("AT+CMGF=0\r");
    QCOMPARE(rig.feed("AT+CMGR=0\r"), "\r\n+CMGR: 1,,25\r\n" + m.pduHex + "\r\n\r\nOK\r\n");
}

// AT+CNMI <ds> 0-2; --no-cds refuses 1. AT+CNMA is only known while reports come as +CDS.
void TestSimModem::statusReportIndications()
{
    CoreRig rig;
    rig.feed("ATE0\r");
    QCOMPARE(rig.feed("AT+CNMA\r"), QByteArray("\r\nERROR\r\n"));
    QCOMPARE(rig.feed("AT+CNMI=2,1,0,2,0\r"), QByteArray("\r\nOK\r\n"));
    QCOMPARE(rig.core.statusReportIndication(), 2);
    QCOMPARE(rig.feed("AT+CNMI=2,1,0,1,0\r"), QByteArray("\r\nOK\r\n"));
    QCOMPARE(rig.feed("AT+CNMA\r"), QByteArray("\r\nOK\r\n"));
    rig.core.setDirectReportsSupported(false);
    QCOMPARE(rig.feed("AT+CNMI=2,1,0,0,0\r"), QByteArray("\r\nOK\r\n"));
    QCOMPARE(rig.feed("AT+CNMI=2,1,0,1,0\r"), QByteArray("\r\nERROR\r\n"));
    QCOMPARE(rig.feed("AT+CNMI?\r"), QByteArray("\r\n+CNMI: 2,1,0,0,0\r\n\r\nOK\r\n"));
}
