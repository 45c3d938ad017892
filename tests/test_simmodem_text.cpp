// The simulated modem's text-mode headers with and without AT+CSDH, a modem without the
// command, and a reply that pauses after a message text's "OK" line.
#include "sim/SimModemChecks.h"
#include "sim/SimProcess.h"

using namespace zorvel::sim;
using namespace zorvel::sim::testing;

namespace {

const QByteArray kHello = "from: +31628870634\ntime: 11/01/09,10:26:26+04\ntext: Hello\n";
const QByteArray kStamp = "\"11/01/09,10:26:26+04\"";

CoreRig& load(CoreRig& rig, const QByteArray& blocks, const QByteArrayList& commands)
{
    for (const StoredMessage& m : parseStoreFile(blocks, QDateTime::currentDateTime()).messages) rig.store.add(m);
    for (const QByteArray& c : commands) rig.feed(c + "\r");
    return rig;
}

} // namespace

class TestSimModemText : public QObject {
    Q_OBJECT

private slots:
    void csdh_data()
    {
        QTest::addColumn<bool>("supported");
        QTest::addColumn<QByteArrayList>("commands");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("set, read back, cleared by ATZ")
            << true << QByteArrayList{"AT+CSDH?", "AT+CSDH=1", "AT+CSDH?", "AT+CSDH=?", "ATZ", "ATE0", "AT+CSDH?"}
            << QByteArray("\r\n+CSDH: 0\r\n\r\nOK\r\n\r\nOK\r\n\r\n+CSDH: 1\r\n\r\nOK\r\n"
                          "\r\n+CSDH: (0,1)\r\n\r\nOK\r\n\r\nOK\r\nATE0\r\r\nOK\r\n\r\n+CSDH: 0\r\n\r\nOK\r\n");
        QTest::newRow("only 0 and 1") << true << QByteArrayList{"AT+CSDH=1", "AT+CSDH=2", "AT+CSDH=", "AT+CSDH?"}
                                      << QByteArray("\r\nOK\r\n\r\nERROR\r\n\r\nERROR\r\n\r\n+CSDH: 1\r\n\r\nOK\r\n");
        QTest::newRow("a modem without it") << false << QByteArrayList{"AT+CSDH=0", "AT+CSDH?", "AT+CSDH=?"}
                                            << QByteArray("\r\nERROR\r\n").repeated(3);
    }
    void csdh()
    {
        QFETCH(bool, supported);
        QFETCH(QByteArrayList, commands);
        QFETCH(QByteArray, expected);
        CoreRig rig;
        rig.core.setCsdhSupported(supported);
        rig.feed("ATE0\r");
        QByteArray out;
        for (const QByteArray& c : commands) out += rig.feed(c + "\r");
        QCOMPARE(out, expected);
    }

    // The whole reply to a list or read of one message, with AT+CSDH=1 when `csdh`.
    void headers_data()
    {
        QTest::addColumn<QByteArray>("profile");
        QTest::addColumn<bool>("csdh");
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("header");
        const auto row = [](const char* name, QByteArray profile, bool csdh, QByteArray block, QByteArray command,
                            QByteArray header) { QTest::newRow(name) << profile << csdh << block << command << header; };
        const QByteArray received = "+CMGR: \"REC UNREAD\",\"+31628870634\",," + kStamp;
        const QByteArray centre = ",0,0,\"+15550000000\",145,";
        row("list, short", "e1750", false, kHello, "AT+CMGL", "+CMGL: 0,\"REC UNREAD\",\"+31628870634\",," + kStamp);
        row("list, parameters", "e1750", true, kHello, "AT+CMGL",
            "+CMGL: 0,\"REC UNREAD\",\"+31628870634\",," + kStamp + ",145,5");
        row("read, short", "e1750", false, kHello, "AT+CMGR=0", received);
        row("read, parameters", "e1750", true, kHello, "AT+CMGR=0", received + ",145,4" + centre + "5");
        row("a CR LF in the text counts", "e1750", true, "text-hex: 48690d0a4f4b\n" + kHello.left(kHello.indexOf("text:")), "AT+CMGR=0",
            received + ",145,4" + centre + "6");
        row("national sender, UCS-2", "e1750", true, "from: 0612345678\ntime: 11/01/09,10:26:26+04\ntext: \xD0\x96\xD1\x83\n",
            "AT+CMGR=0", "+CMGR: \"REC UNREAD\",\"0612345678\",," + kStamp + ",129,4,0,8,\"+15550000000\",145,4");
        row("generic keeps type and length", "generic", false, kHello, "AT+CMGR=1", received + ",145,5");
    }
    void headers()
    {
        QFETCH(QByteArray, profile);
        QFETCH(bool, csdh);
        QFETCH(QByteArray, block);
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, header);
        CoreRig rig(profile);
        load(rig, block, {"ATE0", "AT+CMGF=1", csdh ? "AT+CSDH=1" : "AT"});
        QCOMPARE(rig.feed(command + "\r"), "\r\n" + header + "\r\n" + rig.store.messages()[0].text + "\r\n\r\nOK\r\n");
    }

    void program_noCsdh()
    {
        Sim sim;
        QVERIFY(sim.start({"--no-csdh", "--echo", "off"}));
        QCOMPARE(exchange(sim.link(), "AT+CSDH=1\r\n"), QByteArray("\r\nERROR\r\n"));
    }

    // The simulator's log stamps each piece it writes: the longest silence has to follow
    // the text's own OK line and last about the pause.
    void program_pauseInsideText_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("control");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<int>("pauseMs");
        QTest::newRow("off: one piece") << QStringList{} << QByteArray() << QByteArray("AT+CMGR=1") << 0;
        QTest::newRow("option, read") << QStringList{"--pause-inside-text", "500"} << QByteArray()
                                      << QByteArray("AT+CMGR=1") << 500;
        QTest::newRow("control line, list in pieces") << QStringList{"--pieces", "3"}
                                                      << QByteArray("pause-inside-text 500\n")
                                                      << QByteArray("AT+CMGL=\"ALL\"") << 500;
    }
    void program_pauseInsideText()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, control);
        QFETCH(QByteArray, command);
        QFETCH(int, pauseMs);
        Sim sim;
        QFile store(sim.dir.filePath("store.txt"));
        QVERIFY(store.open(QIODevice::WriteOnly));
        store.write("from: +1\ntext: before\n\nfrom: +2\ntext-hex: 48690d0a4f4b0d0a7468657265\n");
        store.close();
        QVERIFY(sim.start(args + QStringList{"--store", store.fileName(), "--mode", "text", "--echo", "off"}));
        if (!control.isEmpty()) sim.dropFile("pause.ctl", control);
        QTRY_VERIFY_WITH_TIMEOUT(control.isEmpty() || sim.log().contains("CONTROL \"pause-inside-text"), 3000);
        exchange(sim.link(), command + "\r\n");
        QTRY_VERIFY_WITH_TIMEOUT(sim.log().contains("there\\r\\n\\r\\nOK\\r\\n\"\n"), 3000);
        QByteArray before, all;
        qint64 gap = -1, last = 0;
        for (const QByteArray& line : sim.log().split('\n')) {
            if (!line.contains(" TX \"")) continue;
            const qint64 at = QDateTime::fromString(QString::fromLatin1(line.left(23)), Qt::ISODateWithMs)
                                  .toMSecsSinceEpoch();
            if (!all.isEmpty() && at - last > gap) {
                gap = at - last;
                before = all;
            }
            last = at;
            all += line.mid(line.indexOf(" TX \"") + 5).chopped(1);
        }
        QVERIFY2(all.endsWith("Hi\\r\\nOK\\r\\nthere\\r\\n\\r\\nOK\\r\\n"), all.constData());
        if (pauseMs == 0) QCOMPARE(gap, qint64(-1));
        else QVERIFY2(before.endsWith("Hi\\r\\nOK\\r\\n") && gap >= pauseMs - 50,
                      (before + " gap " + QByteArray::number(gap)).constData());
    }
};

QTEST_GUILESS_MAIN(TestSimModemText)
#include "test_simmodem_text.moc"
