// The simulated modem as a program on a pseudo-terminal, with a raw client as the gateway
// uses it.
#include "sim/SimModemChecks.h"
#include "sim/SimProcess.h"
#include "test_simmodem/SimModemTest.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace zorvel::sim;
using namespace zorvel::sim::testing;

void TestSimModem::program_answersOverThePort()
{
    Sim sim;
    QFile store(sim.dir.filePath("store.txt"));
    QVERIFY(store.open(QIODevice::WriteOnly));
    store.write(kTwoMessages);
    store.close();
    QVERIFY(sim.start({"--store", store.fileName()}));
    QCOMPARE(exchange(sim.link(), "AT\r\n"), QByteArray("AT\r\r\nOK\r\n"));
    QCOMPARE(exchange(sim.link(), "AT+CMGF=1\r\n"), QByteArray("AT+CMGF=1\r\r\nOK\r\n"));
    const QByteArray list = exchange(sim.link(), "AT+CMGL=\"ALL\"\r\n");
    QVERIFY2(list.startsWith("AT+CMGL=\"ALL\"\r\r\n+CMGL: 0,\"REC UNREAD\",\"+15550002222\",,"), list.constData());
    QVERIFY(list.endsWith("\r\n\r\nOK\r\n"));
    QCOMPARE(exchange(sim.link(), "AT+CMGD=0\r\n"), QByteArray("AT+CMGD=0\r\r\nOK\r\n"));
    QVERIFY(exchange(sim.link(), "AT+CMGD=0\r\n").endsWith("+CMS ERROR: 321\r\n"));
    // Prompt and text in two exchanges, as the gateway sends them.
    QCOMPARE(exchange(sim.link(), "AT+CMGS=\"+15551112222\"\r\n"), QByteArray("AT+CMGS=\"+15551112222\"\r\r\n> "));
    QCOMPARE(exchange(sim.link(), "Hello\x1A"), QByteArray("Hello\r\n+CMGS: 1\r\n\r\nOK\r\n"));

    // The log: one event per line, millisecond stamps, escaped bytes.
    const QByteArray log = sim.log();
    static const QRegularExpression line(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3} [A-Z]+( .*)?$)");
    for (const QByteArray& l : log.trimmed().split('\n')) QVERIFY2(line.match(QString::fromLatin1(l)).hasMatch(), l.constData());
    QVERIFY(log.contains(" RX \"AT+CMGD=0\\r\\n\"\n"));
    QVERIFY(log.contains(" TX \"AT+CMGD=0\\r\\r\\nOK\\r\\n\"\n"));
    QVERIFY(log.contains(" STORE add 1 from=\"+15550003333\" source=file\n"));
    QVERIFY(log.contains(" STORE delete 0\n"));
    QVERIFY(log.contains(" SENT SMS mr=1 to=\"+15551112222\" text=\"Hello\"\n"));
}

void TestSimModem::program_echoOffOption()
{
    Sim sim;
    QVERIFY(sim.start({"--echo", "off", "--profile", "generic"}));
    QCOMPARE(exchange(sim.link(), "AT+CSQ\r\n"), QByteArray("\r\n+CSQ: 23,0\r\n\r\nOK\r\n"));
    QCOMPARE(exchange(sim.link(), "ATE1\r\n"), QByteArray("\r\nOK\r\n"));
    QCOMPARE(exchange(sim.link(), "AT\r\n"), QByteArray("AT\r\n\r\nOK\r\n"));
}

void TestSimModem::program_inboxAndControlFiles()
{
    Sim sim;
    QVERIFY(sim.start({"--mode", "text", "--echo", "off"}));
    sim.dropFile("new.msg", "from: +15550004444\ntext-hex: 436166e9\n");
    QTRY_VERIFY_WITH_TIMEOUT(sim.log().contains("STORE add 0 from=\"+15550004444\" source=inbox"), 3000);
    QVERIFY(!QFile::exists(QDir(sim.inbox()).filePath("new.msg")));
    QVERIFY(exchange(sim.link(), "AT+CMGL=\"ALL\"\r\n").contains("\",\"+15550004444\",,\"") );
    QVERIFY(exchange(sim.link(), "AT+CMGR=0\r\n").contains("\r\nCaf\xE9\r\n"));

    sim.dropFile("broken.msg", "nonsense\n");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QDir(sim.inbox()).filePath("broken.msg.bad")), 3000);

    sim.dropFile("faults.ctl", "silent AT+CSQ\nerror AT+CNUM\n");
    QTRY_VERIFY_WITH_TIMEOUT(sim.log().contains("CONTROL \"error AT+CNUM\""), 3000);
    QCOMPARE(exchange(sim.link(), "AT+CSQ\r\n", 700), QByteArray());
    QCOMPARE(exchange(sim.link(), "AT+CNUM\r\n"), QByteArray("\r\nERROR\r\n"));
    sim.dropFile("clear.ctl", "clear\n");
    QTRY_VERIFY_WITH_TIMEOUT(sim.log().contains("CONTROL \"clear\""), 3000);
    QCOMPARE(exchange(sim.link(), "AT+CSQ\r\n"), QByteArray("\r\n+CSQ: 18,99\r\n\r\nOK\r\n"));
}

void TestSimModem::program_missingPartArrivesLater()
{
    Sim sim;
    QFile store(sim.dir.filePath("store.txt"));
    QVERIFY(store.open(QIODevice::WriteOnly));
    store.write("from: +15550004444\nomit-parts: 2\ntext: " + kBankNotice + "\n");
    store.close();
    QVERIFY(sim.start({"--store", store.fileName(), "--concat", "--echo", "off"}));
    QVERIFY(sim.log().contains(" STORE add 1 from=\"+15550004444\" source=file part=3/3 ref=1\n"));
    // The same message with the other parts left out; then a long text without keys,
    // split because of --concat, with the next reference.
    sim.dropFile("late.msg", "from: +15550004444\nref: 1\nomit-parts: 1,3\ntext: " + kBankNotice +
                                 "\n\nfrom: +15550005555\ntext: " + kBankNotice + "\n");
    QTRY_VERIFY_WITH_TIMEOUT(
        sim.log().contains(" STORE add 5 from=\"+15550005555\" source=inbox part=3/3 ref=2\n"), 3000);
    QVERIFY(sim.log().contains(" STORE add 2 from=\"+15550004444\" source=inbox part=2/3 ref=1\n"));
    QCOMPARE(exchange(sim.link(), "AT+CMGL=4\r\n").count("+CMGL: "), 6);
}

void TestSimModem::program_heldMessageLandsAfterDelete()
{
    Sim sim;
    QVERIFY(sim.start({"--capacity", "1", "--cmti", "--echo", "off"}));
    sim.dropFile("two.msg", "from: +15550001111\ntext: one\n\nfrom: +15550002222\ntext: two\n");
    QTRY_VERIFY_WITH_TIMEOUT(sim.log().contains(" STORE held from=\"+15550002222\" source=inbox waiting=1\n"), 3000);
    exchange(sim.link(), "AT+CMGF=1\r\n");
    // The freed slot is taken at once and announced after the delete's own answer.
    QCOMPARE(exchange(sim.link(), "AT+CMGD=0\r\n"), QByteArray("\r\nOK\r\n\r\n+CMTI: \"SM\",0\r\n"));
    static const QRegularExpression landed(R"( STORE add 0 from="\+15550002222" source=inbox held=\d+ms\n)");
    QVERIFY(landed.match(QString::fromLatin1(sim.log())).hasMatch());
    QVERIFY(exchange(sim.link(), "AT+CMGR=0\r\n").contains("\r\ntwo\r\n"));
}

void TestSimModem::program_replyInPieces()
{
    Sim sim;
    QVERIFY(sim.start({"--pieces", "3", "--piece-delay", "150"}));
    int reads = 0;
    QElapsedTimer t;
    t.start();
    QCOMPARE(exchange(sim.link(), "AT+CSQ\r\n", 1500, true, &reads),
             QByteArray("AT+CSQ\r\r\n+CSQ: 18,99\r\n\r\nOK\r\n"));
    QVERIFY2(reads >= 3, qPrintable(QString::number(reads)));
    QVERIFY(t.elapsed() >= 290);
}

void TestSimModem::program_junkWaitsWhilePortIsClosed()
{
    Sim sim;
    QVERIFY(sim.start({"--junk-every", "100", "--junk", "\\r\\nJUNK\\r\\n"}));
    QThread::msleep(400);
    // Without the discard the client sees what came while no one had the port open.
    QVERIFY(exchange(sim.link(), {}, 150, false).startsWith("\r\nJUNK\r\n"));
}

void TestSimModem::program_idlesWhileClientOpensAndCloses()
{
    Sim sim;
    QVERIFY(sim.start());
    const double before = cpuSeconds(sim.process.processId());
    QElapsedTimer t;
    t.start();
    int opens = 0;
    while (t.elapsed() < 3000) {
        const int fd = ::open(QFile::encodeName(sim.link()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY2(fd >= 0, strerror(errno));
        if (opens % 10 == 0) QCOMPARE(::write(fd, "AT\r\n", 4), 4);
        ::close(fd);
        ++opens;
        QThread::msleep(5);
    }
    const double used = cpuSeconds(sim.process.processId()) - before;
    QVERIFY2(used < 0.3, qPrintable(QStringLiteral("%1 s CPU over %2 opens").arg(used).arg(opens)));
}

void TestSimModem::program_removesLinkOnSigterm()
{
    Sim sim;
    QVERIFY(sim.start());
    sim.process.terminate();
    QVERIFY(sim.process.waitForFinished(3000));
    QVERIFY(!QFileInfo(sim.link()).isSymLink());
    QVERIFY(sim.log().trimmed().endsWith("STOP signal=15"));
}

void TestSimModem::program_replacesAStaleLink()
{
    Sim sim;
    QDir().mkpath(sim.dir.filePath("ports"));
    QVERIFY(QFile::link("/nonexistent", sim.link()));
    QVERIFY(sim.start());
    QCOMPARE(exchange(sim.link(), "AT\r\n"), QByteArray("AT\r\r\nOK\r\n"));
}

// The test class is declared in SimModemTest.h, next to this file.
#include "moc_SimModemTest.cpp"
