// What a screen reader finds in the real window under an X server: through AT-SPI, on a
// private session bus, the display fields and the modem answer are read-only text named
// after what they show, with the shown text as their text.
#include <QtTest>

#include "e2e/GatewayRig.h"
#include "e2e/XDisplay.h"

using zorvel::testing::GatewayRig;
using zorvel::testing::UntilReadyOnDisplay;

namespace {

// Prints name, role, editable, multi-line and text of every named text, one line each.
const char* readFields = R"(
import pyatspi
def walk(node):
    for child in filter(None, node):
        if child.name and "Text" in pyatspi.listInterfaces(child):
            states = child.getState()
            print("\t".join([child.name, child.getRoleName(),
                             str(states.contains(pyatspi.STATE_EDITABLE)),
                             str(states.contains(pyatspi.STATE_MULTI_LINE)),
                             repr(child.queryText().getText(0, -1))]))
        walk(child)
walk(app for app in pyatspi.Registry.getDesktop(0) if app and app.name == "Zorvel")
)";

QByteArray run(const QString& program, const QStringList& args, const QProcessEnvironment& env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.waitForFinished(20000);
    return p.exitCode() == 0 ? p.readAllStandardOutput() : QByteArray();
}

} // namespace

class ScreenReaderX11 : public QObject {
    Q_OBJECT

    GatewayRig rig;
    QProcess bus;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QMap<QString, QStringList> found; // by name: role, editable, multi-line, text

private slots:
    void initTestCase();
    void cleanupTestCase();
    void readOnlyTextByName_data();
    void readOnlyTextByName();
};

void ScreenReaderX11::initTestCase()
{
    if (run("/usr/bin/python3", {"-c", "import pyatspi; print(1)"}, env).isEmpty()
        || QStandardPaths::findExecutable("dbus-daemon").isEmpty())
        QSKIP("needs dbus-daemon, at-spi2-core and python3-pyatspi");

    // A bus of our own, and a home of our own: the desktop's settings stay out of it.
    bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    QVERIFY(bus.waitForReadyRead(5000));
    env.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromLatin1(bus.readLine().trimmed()));
    env.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
        env.insert(name, rig.path("home"));
    QVERIFY(!run("dbus-send", {"--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                               "org.a11y.Bus.GetAddress"}, env).isEmpty());

    QVERIFY(rig.startReceiver());
    QVERIFY(rig.startModem({}, {"--mode", "text"}));
    QVERIFY(rig.startGateway({}, env));
    // The first cycle has asked for the IMSI and shown the reply.
    QVERIFY(UntilReadyOnDisplay(rig.gateway, [this] { return rig.modemLog("CMD").size() >= 8; }));

    for (const QByteArray& line : run("/usr/bin/python3", {"-c", readFields}, env).split('\n')) {
        const QStringList parts = QString::fromUtf8(line).split('\t');
        if (parts.size() == 5)
            found.insert(parts.first(), parts.mid(1));
    }
}

void ScreenReaderX11::cleanupTestCase()
{
    bus.terminate(); // the accessibility bus it started follows it
    bus.waitForFinished(3000);
}

void ScreenReaderX11::readOnlyTextByName_data()
{
    QTest::addColumn<QString>("multiLine");
    QTest::addColumn<QString>("text");
    QTest::newRow("IMEI") << "False" << "'350000112345679'";
    QTest::newRow("IMSI") << "False" << "'001010123456789'";
    QTest::newRow("Modem answer") << "True" << "OK\\n";
}

void ScreenReaderX11::readOnlyTextByName()
{
    QFETCH(QString, multiLine);
    QFETCH(QString, text);
    const QStringList field = found.value(QTest::currentDataTag());
    QVERIFY2(field.size() == 4, qPrintable(QStringList(found.keys()).join(", ")));
    QCOMPARE(field.at(0), QString("text")); // the role of a read-only text box
    QCOMPARE(field.at(1), QString("False"));
    QCOMPARE(field.at(2), multiLine);
    QVERIFY2(field.at(3).contains(text), qPrintable(field.at(3)));
}

QTEST_GUILESS_MAIN(ScreenReaderX11)
#include "test_screenreader_x11.moc"
