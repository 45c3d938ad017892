// The simulated modem as the held-open link sees it: new-message announcements asked by
// AT+CNMI, the SIM's PIN, the SM/ME memories, and a port that vanishes or a modem that
// hangs, driven through a QSerialPort client that keeps the port open.
#include "Options.h"
#include "sim/SimModemChecks.h"
#include "sim/SimProcess.h"

#include <QSerialPort>

using namespace zorvel::sim;
using namespace zorvel::sim::testing;

namespace {

// Writes, then collects until a final result code (or an announcement when `untilCmti`)
// or until `windowMs` passes.
QByteArray talk(QSerialPort& port, const QByteArray& bytes, int windowMs = 1500, bool untilCmti = false)
{
    if (!bytes.isEmpty()) {
        port.write(bytes);
        port.waitForBytesWritten(500);
    }
    static const QRegularExpression final(R"((\r\nOK\r\n|ERROR\r\n|ERROR: \d+\r\n)$)");
    static const QRegularExpression cmti(R"(\+CMTI: "\w\w",\d+\r\n$)");
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < windowMs) {
        if (port.waitForReadyRead(30)) got += port.readAll();
        const QString text = QString::fromLatin1(got);
        if (!got.isEmpty() && (untilCmti ? cmti : final).match(text).hasMatch()) break;
    }
    return got;
}

bool openPort(QSerialPort& port, const QString& path)
{
    port.setPortName(path);
    port.setBaudRate(9600);
    if (!port.open(QIODevice::ReadWrite)) return false;
    port.clear(QSerialPort::Input);  // as the gateway's port layer does after opening
    return true;
}

// Steps of a memory script: "AT..." a command, "+x" a message from x arriving (where
// AT+CPMS sends arrivals), "+x@ME" one whose file names its memory.
QByteArray listAfter(const QByteArrayList& script)
{
    CoreRig rig;
    rig.feed("ATE0\rAT+CMGF=1\r");
    for (const QByteArray& step : script) {
        if (step.startsWith("AT")) {
            rig.feed(step + "\r");
            continue;
        }
        StoredMessage m;
        const QList<QByteArray> parts = step.mid(1).split('@');
        m.sender = parts[0];
        m.storage = parts.value(1);
        rig.memory.landing(m.storage)->add(m);
    }
    static const QRegularExpression entry(R"re(\+CMGL: (\d+),"[^"]*","([^"]*)")re");
    QByteArrayList shown;
    auto it = entry.globalMatch(QString::fromLatin1(rig.feed("AT+CMGL=\"ALL\"\r")));
    while (it.hasNext()) {
        const auto m = it.next();
        shown << (m.captured(1) + " " + m.captured(2)).toLatin1();
    }
    return shown.join(',');
}

} // namespace

class TestSimModemLink : public QObject {
    Q_OBJECT

private slots:
    void simLock_data()
    {
        QTest::addColumn<int>("state");  // SimState
        QTest::addColumn<QByteArrayList>("commands");
        QTest::addColumn<QByteArrayList>("replies");
        QTest::addColumn<QByteArrayList>("tries");  // the log's SIM lines
        const QByteArray ok = "\r\nOK\r\n", wrong = "\r\n+CME ERROR: 16\r\n";
        QTest::newRow("the right PIN unlocks")
            << int(SimState::Pin) << QByteArrayList{"AT+CMGL=4", "AT+CPIN?", "AT+CPIN=\"1234\"", "AT+CPIN?", "AT+CMGL=4"}
            << QByteArrayList{"\r\n+CME ERROR: 11\r\n", "\r\n+CPIN: SIM PIN\r\n" + ok, ok,
                              "\r\n+CPIN: READY\r\n" + ok, ok}
            << QByteArrayList{"pin-try n=1 right state=READY"};
        QTest::newRow("unquoted, after a wrong one")
            << int(SimState::Pin) << QByteArrayList{"AT+CPIN=9999", "AT+CPIN=1234"} << QByteArrayList{wrong, ok}
            << QByteArrayList{"pin-try n=1 wrong state=SIM PIN", "pin-try n=2 right state=READY"};
        QTest::newRow("three wrong ones block it; then even the right one is wrong")
            << int(SimState::Pin) << QByteArrayList{"AT+CPIN=\"1\"", "AT+CPIN=\"12\"", "AT+CPIN=\"123\"", "AT+CPIN?",
                                               "AT+CPIN=\"1234\"", "AT+CNUM"}
            << QByteArrayList{wrong, wrong, wrong, "\r\n+CPIN: SIM PUK\r\n" + ok, wrong, "\r\n+CME ERROR: 12\r\n"}
            << QByteArrayList{"pin-try n=1 wrong state=SIM PIN", "pin-try n=2 wrong state=SIM PIN",
                              "pin-try n=3 wrong state=SIM PUK", "pin-try n=4 wrong state=SIM PUK"};
        QTest::newRow("locked: the basics answer, SMS and network commands do not")
            << int(SimState::Pin)
            << QByteArrayList{"AT", "AT+CMGF=1", "AT+CSQ", "AT+GSN", "AT^SYSINFO", "AT+CNMI=2,1", "AT+CIMI",
                              "AT+COPS?", "AT+CPMS?", "AT+CMGS=\"+1555\"", "AT+CMGR=0", "AT+CMGD=0"}
            << QByteArrayList{ok, ok, "\r\n+CSQ: 18,99\r\n" + ok, "\r\n350000112345679\r\n" + ok,
                              "\r\n^SYSINFO:2,3,0,5,1,,4\r\n" + ok, ok, "\r\n+CME ERROR: 11\r\n",
                              "\r\n+CME ERROR: 11\r\n", "\r\n+CME ERROR: 11\r\n", "\r\n+CME ERROR: 11\r\n",
                              "\r\n+CME ERROR: 11\r\n", "\r\n+CME ERROR: 11\r\n"}
            << QByteArrayList{};
    }
    void simLock()
    {
        QFETCH(int, state);
        QFETCH(QByteArrayList, commands);
        QFETCH(QByteArrayList, replies);
        QFETCH(QByteArrayList, tries);
        CoreRig rig;
        QByteArrayList seen;
        rig.core.onEvent = [&](const QByteArray& kind, const QByteArray& detail) {
            if (kind == "SIM") seen << detail;
        };
        rig.core.sim().setPin("1234");
        rig.core.sim().setState(static_cast<SimState>(state));
        rig.feed("ATE0\r");
        for (qsizetype i = 0; i < commands.size(); ++i) QCOMPARE(rig.feed(commands[i] + "\r"), replies.value(i));
        QCOMPARE(seen, tries);
    }

    void memories_data()
    {
        QTest::addColumn<QByteArrayList>("script");
        QTest::addColumn<QByteArray>("listed");  // "<index> <sender>" as AT+CMGL shows them
        QTest::newRow("a message in ME is not listed while mem1 is SM") << QByteArrayList{"+a", "+b@ME"} << QByteArray("0 a");
        QTest::newRow("ME chosen") << QByteArrayList{"+a", "+b@ME", "AT+CPMS=\"ME\""} << QByteArray("0 b");
        QTest::newRow("MT numbers the phone's slots after the SIM's")
            << QByteArrayList{"+a", "+b@ME", "+c@ME", "AT+CPMS=\"MT\""} << QByteArray("0 a,30 b,31 c");
        QTest::newRow("a delete through MT reaches the phone")
            << QByteArrayList{"+a", "+b@ME", "+c@ME", "AT+CPMS=\"MT\"", "AT+CMGD=30", "AT+CMGD=0"} << QByteArray("31 c");
        QTest::newRow("arrivals land in mem3")
            << QByteArrayList{"AT+CPMS=\"SM\",\"SM\",\"ME\"", "+a", "+b@SM", "AT+CPMS=\"ME\""} << QByteArray("0 a");
        QTest::newRow("a refused choice keeps the old one")
            << QByteArrayList{"+a", "+b@ME", "AT+CPMS=\"ME\"", "AT+CPMS=\"BM\""} << QByteArray("0 b");
    }
    void memories()
    {
        QFETCH(QByteArrayList, script);
        QFETCH(QByteArray, listed);
        QCOMPARE(listAfter(script), listed);
    }

    void controlActions_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("kind");  // -1: not an action
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("error");
        QTest::newRow("vanish") << QByteArray("vanish") << int(ControlAction::Vanish) << 0 << "";
        QTest::newRow("vanish-for") << QByteArray("vanish-for 5") << int(ControlAction::Vanish) << 5 << "";
        QTest::newRow("return") << QByteArray(" return ") << int(ControlAction::Return) << 0 << "";
        QTest::newRow("hang-for") << QByteArray("hang-for 2") << int(ControlAction::Hang) << 2 << "";
        QTest::newRow("unhang") << QByteArray("unhang") << int(ControlAction::Unhang) << 0 << "";
        QTest::newRow("hang-for needs seconds") << QByteArray("hang-for soon") << -1 << 0 << "hang-for: expected seconds";
        QTest::newRow("vanish takes no value") << QByteArray("vanish 3") << -1 << 0 << "vanish takes no value";
        QTest::newRow("an option line") << QByteArray("sim-state pin") << -1 << 0 << "";
    }
    void controlActions()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, kind);
        QFETCH(int, seconds);
        QFETCH(QString, error);
        QString got;
        const auto action = parseControlAction(line, &got);
        QCOMPARE(got.left(error.size()), error);
        QCOMPARE(action ? int(action->kind) : -1, kind);
        if (action) QCOMPARE(action->seconds, seconds);
    }

    // ---- the program, with a client holding the port open ----

    void program_announcesWhatCnmiAsks()
    {
        Sim sim;
        // Replies in two pieces 300 ms apart: an announcement due meanwhile must wait.
        QVERIFY(sim.start({"--echo", "off", "--mode", "text", "--pieces", "2", "--piece-delay", "300"}));
        QSerialPort port;
        QVERIFY(openPort(port, sim.link()));
        QCOMPARE(talk(port, "AT+CNMI=2,1,0,0,0\r"), QByteArray("\r\nOK\r\n"));
        sim.dropFile("a.msg", "from: +15550001111\ntext: one\n");
        QCOMPARE(talk(port, {}, 3000, true), QByteArray("\r\n+CMTI: \"SM\",0\r\n"));

        port.write("AT+CPMS=\"SM\",\"SM\",\"ME\"\r");
        QVERIFY(port.waitForBytesWritten(500));
        QTRY_VERIFY_WITH_TIMEOUT(sim.log().contains(" TX \"\\r\\n+CPMS: 1,30,"), 3000);  // its first piece
        sim.dropFile("b.msg", "from: +15550002222\ntext: two\n");
        QCOMPARE(talk(port, {}, 3000, true), QByteArray("\r\n+CPMS: 1,30,1,30,0,100\r\n\r\nOK\r\n\r\n+CMTI: \"ME\",0\r\n"));
        QVERIFY(sim.log().contains(" STORE add 0 from=\"+15550002222\" source=inbox mem=ME\n"));

        // Between the send's prompt and its Ctrl-Z the announcement waits for the result.
        QCOMPARE(talk(port, "AT+CMGS=\"+15550009999\"\r", 700), QByteArray("\r\n> "));
        sim.dropFile("d.msg", "from: +15550004444\ntext: four\n");
        QTRY_VERIFY_WITH_TIMEOUT(sim.log().contains("from=\"+15550004444\""), 3000);
        QCOMPARE(talk(port, "hi\x1A", 3000, true), QByteArray("\r\n+CMGS: 1\r\n\r\nOK\r\n\r\n+CMTI: \"ME\",1\r\n"));

        QCOMPARE(talk(port, "AT+CNMI=2,0\r"), QByteArray("\r\nOK\r\n"));
        sim.dropFile("c.msg", "from: +15550003333\ntext: three\n");
        QTRY_VERIFY_WITH_TIMEOUT(sim.log().contains("from=\"+15550003333\""), 3000);
        QCOMPARE(talk(port, {}, 500, true), QByteArray());
    }

    void program_simPin()
    {
        Sim sim;
        QVERIFY(sim.start({"--echo", "off", "--sim-pin", "4321"}));
        QVERIFY(sim.log().contains(" sim=\"SIM PIN\"\n"));
        QCOMPARE(exchange(sim.link(), "AT+CMGL=4\r"), QByteArray("\r\n+CME ERROR: 11\r\n"));
        QCOMPARE(exchange(sim.link(), "AT+CPIN=\"1111\"\r"), QByteArray("\r\n+CME ERROR: 16\r\n"));
        QCOMPARE(exchange(sim.link(), "AT+CPIN=\"4321\"\r"), QByteArray("\r\nOK\r\n"));
        QCOMPARE(exchange(sim.link(), "AT+CMGL=4\r"), QByteArray("\r\nOK\r\n"));
        const QByteArray log = sim.log();
        QVERIFY(log.contains(" SIM pin-try n=1 wrong state=SIM PIN\n"));
        QVERIFY(log.contains(" SIM pin-try n=2 right state=READY\n"));
        sim.dropFile("lock.ctl", "sim-pin 5555\nsim-state pin\n");
        QTRY_VERIFY_WITH_TIMEOUT(sim.log().contains("CONTROL \"sim-state pin\""), 3000);
        QCOMPARE(exchange(sim.link(), "AT+CPIN=\"5555\"\r"), QByteArray("\r\nOK\r\n"));
    }

    void program_portVanishes_data()
    {
        QTest::addColumn<QByteArray>("control");
        QTest::newRow("until told to return") << QByteArray("vanish");
        QTest::newRow("for a second") << QByteArray("vanish-for 1");
    }
    void program_portVanishes()
    {
        QFETCH(QByteArray, control);
        Sim sim;
        QVERIFY(sim.start({"--echo", "off", "--mode", "text", "--sim-pin", "1234"}));
        const double cpuBefore = cpuSeconds(sim.process.processId());
        QSerialPort port;
        QVERIFY(openPort(port, sim.link()));
        QCOMPARE(talk(port, "AT+CPIN=1234\r"), QByteArray("\r\nOK\r\n"));
        sim.dropFile("m.msg", "from: +15550001111\ntext: kept\n");
        QTRY_VERIFY_WITH_TIMEOUT(sim.log().contains(" STORE add 0 "), 3000);

        sim.dropFile("gone.ctl", control + "\n");
        // The client holding the port sees the device go, as when a stick is pulled out.
        QTRY_VERIFY_WITH_TIMEOUT(port.error() == QSerialPort::ResourceError || port.error() == QSerialPort::ReadError,
                                 3000);
        port.close();
        QVERIFY(sim.log().contains(" PORT vanished\n"));
        QVERIFY(!QFileInfo(sim.link()).isSymLink());
        QVERIFY(!openPort(port, sim.link()));
        QTest::qWait(300);
        const double cpuVanished = cpuSeconds(sim.process.processId());

        if (!control.contains("-for")) sim.dropFile("back.ctl", "return\n");
        QTRY_VERIFY_WITH_TIMEOUT(sim.log().contains(" PORT returned pty=/dev/pts/"), 3000);
        QVERIFY(QFileInfo(sim.link()).isSymLink());
        QVERIFY(openPort(port, sim.link()));
        // Messages and the SIM's state are kept; the format is back to the start value.
        QCOMPARE(talk(port, "AT+CPIN?\r"), QByteArray("\r\n+CPIN: READY\r\n\r\nOK\r\n"));
        QVERIFY(talk(port, "AT+CMGR=0\r").contains("\r\nkept\r\n"));
        QVERIFY2(cpuVanished - cpuBefore < 0.3, qPrintable(QString::number(cpuVanished - cpuBefore)));
    }

    void program_hang_data()
    {
        QTest::addColumn<QByteArray>("control");
        QTest::addColumn<QByteArray>("reason");
        QTest::newRow("until the client reopens") << QByteArray("hang") << QByteArray("reopen");
        QTest::newRow("for a second") << QByteArray("hang-for 1") << QByteArray("timer");
        QTest::newRow("until told") << QByteArray("hang") << QByteArray("control");
    }
    void program_hang()
    {
        QFETCH(QByteArray, control);
        QFETCH(QByteArray, reason);
        Sim sim;
        QVERIFY(sim.start({"--echo", "off"}));
        QSerialPort port;
        QVERIFY(openPort(port, sim.link()));
        QCOMPARE(talk(port, "AT\r"), QByteArray("\r\nOK\r\n"));
        sim.dropFile("hang.ctl", control + "\n");
        QTRY_VERIFY_WITH_TIMEOUT(sim.log().contains(" HANG on\n"), 3000);
        // Read and dropped: no echo, no reply, however often it is asked.
        QCOMPARE(talk(port, "ATE1\r", 400), QByteArray());
        QCOMPARE(talk(port, "AT\r", 400), QByteArray());
        QVERIFY(sim.log().contains(" RX \"AT\\r\"\n"));
        QVERIFY(!sim.log().contains(" HANG off"));

        if (reason == "reopen") {
            port.close();
            QVERIFY(openPort(port, sim.link()));
        } else if (reason == "control") {
            sim.dropFile("unhang.ctl", "unhang\n");
        }
        QTRY_VERIFY_WITH_TIMEOUT(sim.log().contains(" HANG off reason=" + reason + "\n"), 3000);
        QCOMPARE(talk(port, "AT\r"), QByteArray("\r\nOK\r\n"));  // ATE1 was never acted on
    }
};

QTEST_GUILESS_MAIN(TestSimModemLink)
#include "test_simmodem_link.moc"
