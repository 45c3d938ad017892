// What an operator does at the real window under an X server: type a number and a text,
// press Send; and what they see when the modem's line goes away.
#include <QtTest>

#include <unistd.h>

#include "e2e/GatewayRig.h"
#include "e2e/XDisplay.h"

using zorvel::testing::GatewayRig;
using zorvel::testing::UntilReadyOnDisplay;

namespace {

QByteArray run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(10000);
    return p.readAllStandardOutput().trimmed();
}

// The visible top-level windows of `pid` with the title Zorvel, oldest first.
QStringList zorvelWindows(qint64 pid)
{
    const QByteArray out = run("xdotool", {"search", "--onlyvisible", "--pid", QString::number(pid),
                                           "--name", "^Zorvel$"});
    return out.isEmpty() ? QStringList() : QString::fromLatin1(out).split('\n');
}

double cpuSeconds(qint64 pid)
{
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = stat.readAll().split(')').last().trimmed().split(' ');
    return (fields.at(11).toDouble() + fields.at(12).toDouble()) / sysconf(_SC_CLK_TCK);
}

// Positions inside the window's client area, in pixels.
const QStringList numberBox{"50", "177"}, messageBox{"300", "177"}, sendButton{"496", "176"};

} // namespace

class OperatorX11 : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void sendingAMessageAndLosingTheModem();
};

// xdotool types a character the keymap lacks by binding it to a spare key for a moment;
// a program slow to fetch the changed keymap (on a busy machine) finds the key unbound
// again and drops the character. A French second group has the 'é' on a key of its own.
void OperatorX11::initTestCase()
{
    QProcess layout;
    layout.start("setxkbmap", {"-layout", "us,fr"});
    QVERIFY(layout.waitForFinished(10000) && layout.exitCode() == 0);
}

void OperatorX11::cleanupTestCase()
{
    QProcess::execute("setxkbmap", {"-layout", "us"});
}

void OperatorX11::sendingAMessageAndLosingTheModem()
{
    GatewayRig rig;
    QVERIFY(rig.startReceiver());
    QVERIFY(rig.startModem({}, {"--mode", "text"}));
    QVERIFY(rig.startGateway());
    QVERIFY2(UntilReadyOnDisplay(rig.gateway, [&] { return !zorvelWindows(rig.gateway.processId()).isEmpty(); }),
             qPrintable(QString("program %1, windows [%2], stderr: %3")
                            .arg(rig.gateway.state() == QProcess::Running ? "running" : "ended")
                            .arg(QString::fromLatin1(run("xdotool", {"search", "--pid",
                                                                     QString::number(rig.gateway.processId())})))
                            .arg(QString::fromLocal8Bit(rig.gateway.readAllStandardError()))));
    const qint64 pid = rig.gateway.processId();
    const QString main = zorvelWindows(pid).first();

    const auto typeAt = [&](const QStringList& where, const QString& text) {
        run("xdotool", QStringList{"mousemove", "--window", main} + where
                           + QStringList{"click", "1", "type", "--delay", "20", text});
    };
    typeAt(numberBox, "+15550007777");
    typeAt(messageBox, QString::fromUtf8("Balance? caf\xc3\xa9"));
    // Three presses before the send step still make one message.
    for (int i = 0; i < 3; ++i)
        run("xdotool", QStringList{"mousemove", "--window", main} + sendButton + QStringList{"click", "1"});

    QTRY_VERIFY_WITH_TIMEOUT(!rig.modemLog("SENT").isEmpty(), 60000);
    QCOMPARE(rig.modemLog("SENT").first(), QByteArray("SMS mr=1 to=\"+15550007777\" text=\"Balance? caf\\xE9\""));
    const auto commands = rig.modemLog("CMD");
    const int cmgs = static_cast<int>(commands.indexOf("\"AT+CMGS=\\\"+15550007777\\\"\""));
    QVERIFY2(cmgs > 0, commands.join('\n').constData());
    QCOMPARE(commands.at(cmgs - 1), QByteArray("\"AT+CMGF=1\""));

    // The modem vanishes: the next command cannot open the port. The message shows, the
    // program waits for OK without burning CPU, and ends when OK is pressed.
    rig.modem.kill();
    rig.modem.waitForFinished(3000);
    QTRY_VERIFY_WITH_TIMEOUT(zorvelWindows(pid).size() == 2, 15000);
    const double before = cpuSeconds(pid);
    QTest::qWait(3000);
    QVERIFY2(cpuSeconds(pid) - before < 0.3, "the program spins while the message is up");
    const QString box = zorvelWindows(pid).last();
    run("xdotool", {"windowfocus", "--sync", box, "key", "Return"});
    QVERIFY(rig.gateway.waitForFinished(5000));
    QCOMPARE(rig.gateway.exitCode(), 1);
}

QTEST_GUILESS_MAIN(OperatorX11)
#include "test_operator_x11.moc"
