// The real program with --no-window and no display at all (DISPLAY, WAYLAND_DISPLAY and
// QT_QPA_PLATFORM unset), against the simulated modem and the local web receiver: it
// forwards and deletes, logs without message text or key, ends cleanly on SIGTERM and
// SIGINT (also with its window), and reports an unusable start with code 78 for
// zorvel.ini and 1 for the port, saying why the port did not open.
#include <QSerialPort>
#include <QtTest>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "e2e/GatewayRig.h"

using zorvel::testing::GatewayRig;

namespace {

QProcessEnvironment withoutDisplay()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QT_LOGGING_RULES",
                             "QT_MESSAGE_PATTERN", "JOURNAL_STREAM"})
        env.remove(name);
    return env;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Starts the program on the rig's folder from another working folder, so that only
// --folder can lead it there.
bool startProgram(GatewayRig& rig, const QStringList& arguments, const QProcessEnvironment& env,
                  const QByteArray& ini)
{
    if (!ini.isEmpty() && !writeFile(rig.path("zorvel.ini"), ini))
        return false;
    rig.gateway.setWorkingDirectory(QDir::rootPath());
    rig.gateway.setProcessEnvironment(env);
    rig.gateway.start(GatewayRig::tool("zorvel"), arguments + QStringList{"--folder", rig.dir.path()});
    return rig.gateway.waitForStarted(5000);
}

QByteArray iniFor(const GatewayRig& rig)
{
    return "[Zorvel]\r\nCOM=3\r\nSpeed=9600,n,8,1\r\nDest=http://" + rig.address.toLatin1()
        + rig.destPath + "?from=zorvel\r\nKey=" + rig.key + "\r\n";
}

int commandCount(const GatewayRig& rig) { return int(rig.modemLog("CMD").size()); }

// Lines of the modem's log of `kind` that contain `what`.
int modemEvents(const GatewayRig& rig, const QByteArray& kind, const QByteArray& what)
{
    int n = 0;
    for (const QByteArray& line : rig.modemLog(kind))
        n += line.contains(what);
    return n;
}

// QSerialPort puts the terminal in exclusive mode while it holds it and takes it out
// when it closes the port; a program that ended without closing leaves it set.
bool exclusiveModeSet(const QString& device)
{
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return errno == EBUSY;
    int exclusive = 0;
    ::ioctl(fd, TIOCGEXCL, &exclusive);
    ::close(fd);
    return exclusive != 0;
}

// Sends `signal` and returns how long the program took to end, or -1.
qint64 signalAndTime(QProcess& process, int signal)
{
    QElapsedTimer clock;
    clock.start();
    ::kill(pid_t(process.processId()), signal);
    return process.waitForFinished(5000) ? clock.elapsed() : -1;
}

QStringList lines(const QByteArray& text)
{
    return QString::fromUtf8(text).split('\n', Qt::SkipEmptyParts);
}

const QByteArray firstText = "first text Zq1 & more";
const QByteArray secondText = "second text Zq2";

} // namespace

class NoWindowEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void forwardsDeletesAndLeavesTheMessageInFlightOnTheModem();
    void signalEndsAnExchangeAndClosesThePort_data();
    void signalEndsAnExchangeAndClosesThePort();
    void unusableStartEndsWithItsCode_data();
    void unusableStartEndsWithItsCode();
    void optionsWorkWithoutDisplay_data();
    void optionsWorkWithoutDisplay();
};

void NoWindowEndToEnd::forwardsDeletesAndLeavesTheMessageInFlightOnTheModem()
{
    GatewayRig rig;
    QVERIFY(writeFile(rig.path("control.txt"), ""));
    QVERIFY(rig.startReceiver({"--control", rig.path("control.txt")}));
    QVERIFY(rig.startModem("from: +15550001111\ntext: " + firstText + "\n\nfrom: +15550002222\ntext: "
                               + secondText + "\n",
                           {"--mode", "text"}));
    QVERIFY(startProgram(rig, {"--no-window"}, withoutDisplay(), iniFor(rig)));

    QTRY_VERIFY_WITH_TIMEOUT(modemEvents(rig, "STORE", "delete") > 0, 60000);
    // The web application now holds its answer: the second message's request stays in
    // flight until the program is told to end.
    QVERIFY(writeFile(rig.path("control.txt"), "delay 30000\n"));
    QTRY_VERIFY_WITH_TIMEOUT(rig.received().size() == 2, 30000);
    QTest::qWait(300);
    const qint64 tookMs = signalAndTime(rig.gateway, SIGTERM);
    QVERIFY2(tookMs >= 0 && tookMs <= 2000, qPrintable(QString::number(tookMs)));
    QCOMPARE(rig.gateway.exitStatus(), QProcess::NormalExit);
    QCOMPARE(rig.gateway.exitCode(), 0);

    QCOMPARE(rig.received()[1].message, secondText);
    // The first one; the second stays on the modem.
    QCOMPARE(modemEvents(rig, "STORE", "delete"), 1);
    QCOMPARE(modemEvents(rig, "CMD", "AT+CMGD"), 1);

    const QByteArray log = rig.gateway.readAllStandardError();
    const QString folder = rig.dir.path();
    const QStringList expected{
        "zorvel.app: Zorvel 1.24 starting in " + folder,
        "zorvel.config: read " + folder + "/zorvel.ini: COM3 is " + folder + "/ports/com3 -> /dev/pts/",
        ", line 9600,n,8,1, text mode, forwarding to http://" + rig.address + "\n",
        "zorvel.forward: forwarded index 0 from +15550001111, 1 part, 21 characters, HTTP 200 in ",
        "zorvel.forward: deleting index 0\n",
        "zorvel.app: SIGTERM received\n",
        "zorvel.forward: request in flight abandoned; its message stays on the modem\n",
        "zorvel.app: ended with exit code 0\n",
    };
    for (const QString& piece : expected)
        QVERIFY2(log.contains(piece.toUtf8()), qPrintable("missing: " + piece + "\n" + log));
    // At info level: no message text, no key, no path or query of the address.
    for (const QByteArray& secret : {firstText, secondText, QByteArray("Zq"), rig.key,
                                     QByteArray("s3cr"), rig.destPath + "?", QByteArray("from=zorvel")})
        QVERIFY2(!log.contains(secret), secret.constData());
    // Every line: the time, then one of the program's categories.
    const QRegularExpression layout(
        "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} zorvel\\.(app|config|modem|forward): \\S");
    for (const QString& line : lines(log))
        QVERIFY2(layout.match(line).hasMatch(), qPrintable(line));
}

void NoWindowEndToEnd::signalEndsAnExchangeAndClosesThePort_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("platform");
    QTest::addColumn<int>("signal");
    QTest::newRow("no window, SIGTERM") << QStringList{"--no-window"} << "" << int(SIGTERM);
    QTest::newRow("no window, SIGINT") << QStringList{"--no-window"} << "" << int(SIGINT);
    QTest::newRow("window, SIGTERM") << QStringList{} << "offscreen" << int(SIGTERM);
    // The probe itself: a program killed in the middle of an exchange leaves the mark.
    QTest::newRow("killed, for comparison") << QStringList{"--no-window"} << "" << int(SIGKILL);
}

void NoWindowEndToEnd::signalEndsAnExchangeAndClosesThePort()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, platform);
    QFETCH(int, signal);
    GatewayRig rig;
    rig.address = "127.0.0.1:9";
    QVERIFY(rig.startModem({}, {"--mode", "text"}));
    const QString device = QFileInfo(rig.path("ports/com3")).symLinkTarget();
    QProcessEnvironment env = withoutDisplay();
    env.insert("QT_LOGGING_RULES", "zorvel.modem.debug=true");
    if (!platform.isEmpty())
        env.insert("QT_QPA_PLATFORM", platform);
    QVERIFY(startProgram(rig, arguments, env, iniFor(rig)));

    // A command has just gone out: its reply window lasts more than a second.
    QTRY_VERIFY_WITH_TIMEOUT(commandCount(rig) >= 2, 15000);
    const int before = commandCount(rig);
    QTRY_VERIFY_WITH_TIMEOUT(commandCount(rig) > before, 5000);
    QVERIFY(exclusiveModeSet(device));
    const qint64 tookMs = signalAndTime(rig.gateway, signal);
    QVERIFY(tookMs >= 0);
    if (signal == SIGKILL) {
        QVERIFY(exclusiveModeSet(device));
        return;
    }
    QVERIFY2(tookMs <= 2000, qPrintable(QString::number(tookMs)));
    QCOMPARE(rig.gateway.exitStatus(), QProcess::NormalExit);
    QCOMPARE(rig.gateway.exitCode(), 0);
    QVERIFY(!exclusiveModeSet(device));

    const QByteArray log = rig.gateway.readAllStandardError();
    const QByteArray name = signal == SIGTERM ? "SIGTERM" : "SIGINT";
    for (const QByteArray& piece : {QByteArray("zorvel.modem: sent \"ATZ\\r\\n\"\n"),
                                    QByteArray("zorvel.modem: reply \"ATZ\\r\\r\\nOK\\r\\n\"\n"),
                                    "zorvel.app: " + name + " received\n",
                                    QByteArray("zorvel.modem: exchange cut short, port closed\n"),
                                    QByteArray("zorvel.app: ended with exit code 0\n")})
        QVERIFY2(log.contains(piece), qPrintable(piece + "\n" + log));
}

void NoWindowEndToEnd::unusableStartEndsWithItsCode_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("com3"); // "missing": a link to nothing; "held": a pty this test holds
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("expected"); // %1 the folder, %2 this test's process id
    QTest::newRow("no zorvel.ini") << QByteArray() << "" << 78
        << QStringList{"zorvel.config: Zorvel cannot start: the serial port number in its settings "
                       "is missing or unusable.\n",
                       "zorvel.config: File: %1/zorvel.ini\n", "zorvel.config: Key: COM\n",
                       "zorvel.config: Value found: none, the file does not exist\n"};
    QTest::newRow("unusable Speed") << QByteArray("[Zorvel]\nCOM=3\nSpeed=9600,x,8,1\n") << "" << 78
        << QStringList{"zorvel.modem: The \"Speed\" value \"9600,x,8,1\" in %1/zorvel.ini cannot be used"};
    const QByteArray com3 = "[Zorvel]\nCOM=3\nSpeed=9600,n,8,1\n";
    QTest::newRow("no such port") << QByteArray("[Zorvel]\nCOM=999\nSpeed=9600,n,8,1\n") << "" << 1
        << QStringList{"zorvel.modem: cannot open COM999: no %1/ports/com999, and fewer than 999 serial devices\n",
                       "zorvel.modem: COM999: not available. Please check or change the port.\n"};
    QTest::newRow("link to a missing device") << com3 << "missing" << 1
        << QStringList{"zorvel.modem: cannot open COM3 (%1/ports/com3 -> %1/gone): not found\n",
                       "zorvel.modem: COM3: not available. Please check or change the port.\n"};
    QTest::newRow("port held by another program") << com3 << "held" << 1
        << QStringList{"zorvel.modem: cannot open COM3 (%1/ports/com3 -> /dev/pts/", "): locked by process %2\n",
                       "zorvel.modem: COM3: not available. Please check or change the port.\n"};
}

void NoWindowEndToEnd::unusableStartEndsWithItsCode()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, com3);
    QFETCH(int, code);
    QFETCH(QStringList, expected);
    GatewayRig rig;
    QVERIFY(QDir().mkpath(rig.path("ports")));
    if (com3 == "missing")
        QVERIFY(QFile::link(rig.path("gone"), rig.path("ports/com3")));
    // A second program on the port, as a second Zorvel or a terminal program would be.
    QSerialPort holder;
    const int master = com3 == "held" ? ::posix_openpt(O_RDWR | O_NOCTTY) : -1;
    if (com3 == "held") {
        QVERIFY(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
        QVERIFY(QFile::link(QString::fromLocal8Bit(::ptsname(master)), rig.path("ports/com3")));
        holder.setPortName(rig.path("ports/com3"));
        QVERIFY2(holder.open(QIODevice::ReadWrite), qPrintable(holder.errorString()));
    }
    QVERIFY(startProgram(rig, {"--no-window"}, withoutDisplay(), ini));
    QVERIFY(rig.gateway.waitForFinished(10000));
    holder.close();
    if (master >= 0)
        ::close(master);
    QCOMPARE(rig.gateway.exitStatus(), QProcess::NormalExit);
    QCOMPARE(rig.gateway.exitCode(), code);
    const QByteArray log = rig.gateway.readAllStandardError();
    expected << QString("zorvel.app: ended with exit code %1\n").arg(code);
    for (QString piece : expected) {
        piece.replace("%1", rig.dir.path()).replace("%2", QString::number(QCoreApplication::applicationPid()));
        QVERIFY2(log.contains(piece.toUtf8()), qPrintable(piece + "\n" + log));
    }
}

void NoWindowEndToEnd::optionsWorkWithoutDisplay_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    QTest::newRow("help") << QStringList{"--help"} << 0 << QByteArray("Usage: zorvel [options]\n")
                          << QByteArray();
    QTest::newRow("version") << QStringList{"--version"} << 0 << QByteArray("zorvel 1.24\n") << QByteArray();
    QTest::newRow("unknown option") << QStringList{"--no-windows"} << 2 << QByteArray()
        << QByteArray("zorvel: Unknown option 'no-windows'.\nTry 'zorvel --help' for the options.\n");
    QTest::newRow("stray argument") << QStringList{"--no-window", "extra"} << 2 << QByteArray()
        << QByteArray("zorvel: Unexpected argument 'extra'.\nTry 'zorvel --help' for the options.\n");
}

void NoWindowEndToEnd::optionsWorkWithoutDisplay()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QProcess program;
    program.setProcessEnvironment(withoutDisplay());
    program.start(GatewayRig::tool("zorvel"), arguments);
    QVERIFY(program.waitForFinished(5000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), code);
    const QByteArray stdoutBytes = program.readAllStandardOutput();
    QVERIFY2(out.isEmpty() ? stdoutBytes.isEmpty() : stdoutBytes.startsWith(out), stdoutBytes.constData());
    QCOMPARE(program.readAllStandardError(), err);
}

QTEST_GUILESS_MAIN(NoWindowEndToEnd)
#include "test_no_window_e2e.moc"
