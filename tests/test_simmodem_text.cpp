// The simulated modem's text-mode headers with and without AT+CSDH, a modem without the
// command (--no-csdh), and a reply that pauses after a message text's "OK" line
// (--pause-inside-text), where a gateway that stops at the first OK loses the rest.
#include "Options.h"
#include "sim/SimModemChecks.h"
#include "sim/SimProcess.h"

using namespace zorvel::sim;
using namespace zorvel::sim::testing;

namespace {

const QByteArray kHello = "from: +31628870634\ntime: 11/01/09,10:26:26+04\ntext: Hello\n";
const QByteArray kStamp = "\"11/01/09,10:26:26+04\"";

// Each store-file block into the SIM, in order.
void load(CoreRig& rig, const QByteArray& blocks)
{
    const StoreFileResult r = parseStoreFile(blocks, QDateTime::currentDateTime());
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    for (const StoredMessage& m : r.messages) QVERIFY(rig.store.add(m).has_value());
}

// (ms since the write, bytes) of every read until a final OK or ERROR, or `windowMs`.
QList<QPair<qint64, QByteArray>> timedExchange(const QString& link, const QByteArray& bytes, int windowMs = 3000)
{
    QList<QPair<qint64, QByteArray>> reads;
    const int fd = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return reads;
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    ::tcflush(fd, TCIFLUSH);
    QElapsedTimer t;
    t.start();
    QByteArray all;
    if (::write(fd, bytes.constData(), bytes.size()) == bytes.size()) {
        while (t.elapsed() < windowMs && !all.endsWith("\r\n\r\nOK\r\n") && !all.endsWith("ERROR\r\n")) {
            pollfd p{fd, POLLIN, 0};
            char buffer[4096];
            const ssize_t n = ::poll(&p, 1, 20) > 0 ? ::read(fd, buffer, sizeof buffer) : 0;
            if (n <= 0) continue;
            reads.append({t.elapsed(), QByteArray(buffer, n)});
            all.append(buffer, n);
        }
    }
    ::close(fd);
    return reads;
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
        QTest::newRow("only 0 and 1")
            << true << QByteArrayList{"AT+CSDH=1", "AT+CSDH=2", "AT+CSDH=", "AT+CSDH", "AT+CSDH?"}
            << QByteArray("\r\nOK\r\n\r\nERROR\r\n\r\nERROR\r\n\r\nERROR\r\n\r\n+CSDH: 1\r\n\r\nOK\r\n");
        QTest::newRow("a modem without it") << false << QByteArrayList{"AT+CSDH=1", "AT+CSDH=0", "AT+CSDH?", "AT+CSDH=?"}
                                            << QByteArray("\r\nERROR\r\n").repeated(4);
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

    // The whole reply to one list or read of one message: header, text, OK.
    void headers_data()
    {
        QTest::addColumn<QByteArray>("profile");
        QTest::addColumn<bool>("csdh");
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("header");
        const auto row = [](const char* name, QByteArray profile, bool csdh, QByteArray block, QByteArray command,
                            QByteArray header) {
            QTest::newRow(name) << profile << csdh << block << command << header;
        };
        const QByteArray list = "AT+CMGL=\"ALL\"";
        row("list, short", "e1750", false, kHello, list, "+CMGL: 0,\"REC UNREAD\",\"+31628870634\",," + kStamp);
        row("list, parameters", "e1750", true, kHello, list,
            "+CMGL: 0,\"REC UNREAD\",\"+31628870634\",," + kStamp + ",145,5");
        row("read, short", "e1750", false, kHello, "AT+CMGR=0", "+CMGR: \"REC UNREAD\",\"+31628870634\",," + kStamp);
        row("read, parameters", "e1750", true, kHello, "AT+CMGR=0",
            "+CMGR: \"REC UNREAD\",\"+31628870634\",," + kStamp + ",145,4,0,0,\"+15550000000\",145,5");
        const QByteArray lineBreak = "from: +31628870634\ntime: 11/01/09,10:26:26+04\ntext-hex: 48690d0a4f4b\n";
        row("list, CR LF in the text counts", "e1750", true, lineBreak, list,
            "+CMGL: 0,\"REC UNREAD\",\"+31628870634\",," + kStamp + ",145,6");
        row("read, CR LF in the text counts", "e1750", true, lineBreak, "AT+CMGR=0",
            "+CMGR: \"REC UNREAD\",\"+31628870634\",," + kStamp + ",145,4,0,0,\"+15550000000\",145,6");
        row("national sender, UCS-2 text", "e1750", true,
            "from: 0612345678\ntime: 11/01/09,10:26:26+04\ntext: \xD0\x96\xD1\x83\xD0\xBA\n", "AT+CMGR=0",
            "+CMGR: \"REC UNREAD\",\"0612345678\",," + kStamp + ",129,4,0,8,\"+15550000000\",145,6");
        row("part of a long SMS has TP-UDHI", "e1750", true, "concat: yes\n" + kHello, "AT+CMGR=0",
            "+CMGR: \"REC UNREAD\",\"+31628870634\",," + kStamp + ",145,68,0,0,\"+15550000000\",145,5");
        const QByteArray unsent = "status: STO UNSENT\n" + kHello;
        row("stored unsent, list", "e1750", true, unsent, list, "+CMGL: 0,\"STO UNSENT\",\"+31628870634\",,,145,5");
        row("stored unsent, read as a SUBMIT", "e1750", true, unsent, "AT+CMGR=0",
            "+CMGR: \"STO UNSENT\",\"+31628870634\",,145,17,0,0,167,\"+15550000000\",145,5");
        row("generic, short form keeps type and length", "generic", false, kHello, "AT+CMGR=1",
            "+CMGR: \"REC UNREAD\",\"+31628870634\",," + kStamp + ",145,5");
        row("generic, parameters", "generic", true, kHello, "AT+CMGR=1",
            "+CMGR: \"REC UNREAD\",\"+31628870634\",," + kStamp + ",145,4,0,0,\"+15550000000\",145,5");
    }
    void headers()
    {
        QFETCH(QByteArray, profile);
        QFETCH(bool, csdh);
        QFETCH(QByteArray, block);
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, header);
        CoreRig rig(profile);
        load(rig, block);
        rig.feed("ATE0\r");
        rig.feed("AT+CMGF=1\r");
        if (csdh) QCOMPARE(rig.feed("AT+CSDH=1\r"), QByteArray("\r\nOK\r\n"));
        QCOMPARE(rig.feed(command + "\r"), "\r\n" + header + "\r\n" + rig.store.messages()[0].text + "\r\n\r\nOK\r\n");
    }

    // Where a reply may pause: the reply cut at each offset the core gives.
    void textOkEnds_data()
    {
        QTest::addColumn<QByteArray>("blocks");
        QTest::addColumn<QByteArrayList>("setup");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArrayList>("pieces");
        const QByteArray from = "from: +1\ntime: 11/01/09,10:26:26+04\n";
        const auto head = [](int index) {
            return "+CMGL: " + QByteArray::number(index) + ",\"REC UNREAD\",\"+1\",," + kStamp + "\r\n";
        };
        const QByteArrayList text = {"ATE0", "AT+CMGF=1"};
        QTest::newRow("a text that is just OK, read, with echo")
            << from + "text: OK\n" << QByteArrayList{"AT+CMGF=1"} << QByteArray("AT+CMGR=0")
            << QByteArrayList{"AT+CMGR=0\r\r\n+CMGR: \"REC UNREAD\",\"+1\",," + kStamp + "\r\nOK\r\n", "\r\nOK\r\n"};
        QTest::newRow("CR LF inside the second text of a list")
            << from + "text: first\n\n" + from + "text-hex: 48690d0a4f4b0d0a7468657265\n" << text
            << QByteArray("AT+CMGL=\"ALL\"")
            << QByteArrayList{"\r\n" + head(0) + "first\r\n" + head(1) + "Hi\r\nOK\r\n", "there\r\n\r\nOK\r\n"};
        QTest::newRow("two OK lines, LF breaks")
            << from + "text:\nOK\nmid\nOK\n.\n" << text << QByteArray("AT+CMGL=\"ALL\"")
            << QByteArrayList{"\r\n" + head(0) + "OK\n", "mid\nOK\r\n", "\r\nOK\r\n"};
        QTest::newRow("no line that reads exactly OK")
            << from + "text: OK then\n\n" + from + "text: ok\n\n" + from + "text:\n OK\n.\n" << text
            << QByteArray("AT+CMGL=\"ALL\"") << QByteArrayList{};
        QTest::newRow("PDU mode never pauses")
            << from + "text: OK\n" << QByteArrayList{"ATE0"} << QByteArray("AT+CMGL=4") << QByteArrayList{};
    }
    void textOkEnds()
    {
        QFETCH(QByteArray, blocks);
        QFETCH(QByteArrayList, setup);
        QFETCH(QByteArray, command);
        QFETCH(QByteArrayList, pieces);
        CoreRig rig;
        load(rig, blocks);
        for (const QByteArray& c : setup) rig.feed(c + "\r");
        const QList<ReplyUnit> units = rig.core.receiveUnits(command + "\r");
        QCOMPARE(units.size(), 1);
        QByteArrayList cut;
        qsizetype start = 0;
        for (qsizetype end : units[0].textOkEnds) {
            cut << units[0].bytes.mid(start, end - start);
            start = end;
        }
        if (!cut.isEmpty()) cut << units[0].bytes.mid(start);
        QCOMPARE(cut, pieces);
    }

    void options()
    {
        Options o;
        QCOMPARE(parseOptions({"--no-csdh", "--pause-inside-text", "300"}, o), QString());
        QVERIFY(!o.csdh);
        QCOMPARE(o.settings.pauseInsideTextMs, 300);
        QVERIFY(parseOptions({"--pause-inside-text", "-1"}, o).contains("--pause-inside-text"));
        QVERIFY(applyControlLine("no-csdh", o).contains("cannot change while running"));
        QCOMPARE(applyControlLine("pause-inside-text 0", o), QString());
        QCOMPARE(o.settings.pauseInsideTextMs, 0);
    }

    // ---- the program on a pseudo-terminal ----
    void program_noCsdh()
    {
        Sim sim;
        QVERIFY(sim.start({"--no-csdh", "--echo", "off"}));
        QCOMPARE(exchange(sim.link(), "AT+CSDH=1\r\n"), QByteArray("\r\nERROR\r\n"));
        QCOMPARE(exchange(sim.link(), "AT+CSQ\r\n"), QByteArray("\r\n+CSQ: 18,99\r\n\r\nOK\r\n"));
    }

    void program_pauseInsideText_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("control");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<int>("pauseMs");
        QTest::newRow("off: one go") << QStringList{} << QByteArray() << QByteArray("AT+CMGR=1") << 0;
        QTest::newRow("option, read") << QStringList{"--pause-inside-text", "500"} << QByteArray()
                                      << QByteArray("AT+CMGR=1") << 500;
        QTest::newRow("control line, list with pieces")
            << QStringList{"--pieces", "3"} << QByteArray("pause-inside-text 500\n") << QByteArray("AT+CMGL=\"ALL\"")
            << 500;
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
        if (!control.isEmpty()) {
            sim.dropFile("pause.ctl", control);
            QTRY_VERIFY_WITH_TIMEOUT(sim.log().contains("CONTROL \"pause-inside-text"), 3000);
        }
        const auto reads = timedExchange(sim.link(), command + "\r\n");
        QByteArray all, beforeGap;
        qint64 gap = 0;
        for (qsizetype i = 0; i < reads.size(); ++i) {
            if (i > 0 && reads[i].first - reads[i - 1].first > gap) {
                gap = reads[i].first - reads[i - 1].first;
                beforeGap = all;
            }
            all += reads[i].second;
        }
        QVERIFY2(all.endsWith("Hi\r\nOK\r\nthere\r\n\r\nOK\r\n"), all.constData());
        if (pauseMs == 0) {
            QVERIFY2(gap < 250, qPrintable(QString::number(gap)));
            return;
        }
        // The longest silence follows the text's own OK line, and lasts about the pause.
        QVERIFY2(beforeGap.endsWith("Hi\r\nOK\r\n") && all.mid(beforeGap.size()) == "there\r\n\r\nOK\r\n",
                 beforeGap.constData());
        QVERIFY2(gap >= pauseMs - 60, qPrintable(QString::number(gap)));
    }
};

QTEST_GUILESS_MAIN(TestSimModemText)
#include "test_simmodem_text.moc"
