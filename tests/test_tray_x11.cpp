// The real program in a real X server with a window manager (openbox) and a tray host
// (trayer), driven with xdotool and wmctrl as a user would: start minimised, click the icon,
// minimise, close, and a tray host that only comes later.
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "e2e/XDisplay.h"

using zorvel::testing::UntilReadyOnDisplay;

namespace {

const QString buildDir = QStringLiteral(ZORVEL_BUILD_DIR);

QString run(const QString& program, const QStringList& args, int* exitCode = nullptr)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(10000);
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

QString hex(qulonglong id) { return QStringLiteral("0x%1").arg(id, 0, 16); }
QString prop(qulonglong id, const QString& name) { return run("xprop", {"-id", hex(id), name}); }

QList<qulonglong> windowsOf(qint64 pid)
{
    QList<qulonglong> ids;
    for (const QString& line : run("xdotool", {"search", "--pid", QString::number(pid)}).split('\n', Qt::SkipEmptyParts))
        ids << line.trimmed().toULongLong();
    return ids;
}

bool isMainWindow(qulonglong id)
{
    return prop(id, "WM_NAME").contains("\"Zorvel\"")
        && prop(id, "_NET_WM_WINDOW_TYPE").contains("_NET_WM_WINDOW_TYPE_NORMAL");
}

qulonglong mainWindowOf(qint64 pid)
{
    for (qulonglong id : windowsOf(pid))
        if (isMainWindow(id))
            return id;
    return 0;
}

bool viewable(qulonglong id) { return run("xwininfo", {"-id", hex(id)}).contains("Map State: IsViewable"); }

// The program's tray icon window, once a tray host has embedded it.
qulonglong embeddedIconOf(qint64 pid)
{
    for (qulonglong id : windowsOf(pid)) {
        if (!prop(id, "_XEMBED_INFO").contains('=') || isMainWindow(id))
            continue;
        const QRegularExpressionMatch parent = QRegularExpression(QStringLiteral("Parent window id: (.*)"))
                                                   .match(run("xwininfo", {"-tree", "-id", hex(id)}));
        if (parent.hasMatch() && !parent.captured(1).contains("(the root window)") && viewable(id))
            return id;
    }
    return 0;
}

bool inTaskbar(qulonglong id)
{
    const QString list = run("xprop", {"-root", "_NET_CLIENT_LIST"});
    return list.contains(QRegularExpression(QStringLiteral("\\b%1\\b").arg(hex(id))));
}

bool shownNormal(qulonglong id)
{
    return viewable(id) && inTaskbar(id) && prop(id, "WM_STATE").contains("window state: Normal")
        && !prop(id, "_NET_WM_STATE").contains("_NET_WM_STATE_HIDDEN");
}

bool gone(qulonglong id)
{
    return !viewable(id) && !inTaskbar(id);
}

void click(qulonglong icon, int button = 1)
{
    run("xdotool", {"mousemove", "--window", hex(icon), "11", "15", "click", QString::number(button)});
}

} // namespace

class TrayX11Test : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void startMinimisedClickMinimiseClose();
    void trayHostStartedLater();

private:
    // A private home, the simulated modem as COM3 and the program, in one folder.
    struct Program {
        QTemporaryDir dir;
        QProcess modem;
        QProcess zorvel;
        ~Program();
    };
    void start(Program& program, bool minimised);
    void startTrayer();
    void stopTrayer();
    void closeWindow(Program& program, qulonglong window);

    QTemporaryDir home_;
    QProcessEnvironment env_;
    QProcess openbox_;
    QProcess trayer_;
};

TrayX11Test::Program::~Program()
{
    for (QProcess* p : {&zorvel, &modem}) {
        if (p->state() != QProcess::NotRunning) {
            p->terminate();
            if (!p->waitForFinished(3000))
                p->kill();
            p->waitForFinished(3000);
        }
    }
}

void TrayX11Test::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X server (tools/test.sh provides one)");
    env_ = QProcessEnvironment::systemEnvironment();
    env_.remove("QT_QPA_PLATFORM");
    env_.remove("DBUS_SESSION_BUS_ADDRESS"); // no desktop bus: Qt embeds its icon itself
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"}) {
        const QString path = home_.path() + '/' + name;
        QDir().mkpath(path);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        env_.insert(name, path);
    }
    openbox_.setProcessEnvironment(env_);
    openbox_.setProcessChannelMode(QProcess::MergedChannels);
    openbox_.start("openbox", {});
    QVERIFY(openbox_.waitForStarted());
    // Its check window, named after it; the root window may still name one of an
    // earlier openbox on the same server.
    QVERIFY(UntilReadyOnDisplay(openbox_, [] {
        const QString check = run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).section("# ", 1).trimmed();
        return !check.isEmpty() && run("xprop", {"-id", check, "_NET_WM_NAME"}).contains("\"Openbox\"");
    }));
}

void TrayX11Test::cleanupTestCase()
{
    stopTrayer();
    if (openbox_.state() != QProcess::NotRunning) {
        openbox_.terminate();
        openbox_.waitForFinished(3000);
    }
}

void TrayX11Test::start(Program& program, bool minimised)
{
    const QString folder = program.dir.path();
    QFile ini(folder + "/zorvel.ini");
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Zorvel]\r\nCOM=3\r\nSpeed=9600,n,8,1\r\nDest=http://127.0.0.1:9/in\r\nKey=k\r\n");
    ini.write(minimised ? "StartMinimised=1\r\n" : "StartMinimised=0\r\n");
    ini.close();

    program.modem.start(buildDir + "/zorvel-simmodem",
                        {"--link", folder + "/ports/com3", "--log", folder + "/modem.log"});
    QVERIFY(program.modem.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(folder + "/ports/com3").isSymLink(), 5000);

    program.zorvel.setProcessEnvironment(env_);
    program.zorvel.setWorkingDirectory(folder);
    program.zorvel.start(buildDir + "/zorvel", {});
    QVERIFY(program.zorvel.waitForStarted());
    QVERIFY(UntilReadyOnDisplay(program.zorvel, [&] { return mainWindowOf(program.zorvel.processId()) != 0; }));
}

void TrayX11Test::startTrayer()
{
    trayer_.setProcessEnvironment(env_);
    trayer_.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "32"});
    QVERIFY(trayer_.waitForStarted());
    QVERIFY(UntilReadyOnDisplay(trayer_, [this] { return !windowsOf(trayer_.processId()).isEmpty(); }));
}

void TrayX11Test::stopTrayer()
{
    if (trayer_.state() == QProcess::NotRunning)
        return;
    trayer_.terminate();
    trayer_.waitForFinished(3000);
}

void TrayX11Test::closeWindow(Program& program, qulonglong window)
{
    // Through the window manager, as its close button does: it asks the window to close.
    run("wmctrl", {"-i", "-c", hex(window)});
    QVERIFY(program.zorvel.waitForFinished(5000));
    QCOMPARE(program.zorvel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.zorvel.exitCode(), 0);
}

void TrayX11Test::startMinimisedClickMinimiseClose()
{
    startTrayer();
    Program program;
    start(program, true);
    const qint64 pid = program.zorvel.processId();
    const qulonglong window = mainWindowOf(pid);

    qulonglong icon = 0;
    QTRY_VERIFY_WITH_TIMEOUT((icon = embeddedIconOf(pid)) != 0, 8000);
    QVERIFY2(gone(window), "started minimised: no window, only the icon");
    QTest::qWait(1500); // the first poll cycles run; still nothing shows
    QVERIFY(gone(window));

    click(icon, 3);
    QTest::qWait(500);
    QVERIFY2(gone(window), "a right click changes nothing");

    click(icon);
    QTRY_VERIFY2_WITH_TIMEOUT(shownNormal(window), "left click brings the window back", 3000);

    // Hidden on every minimise and back, normal, on every click; the restore must stick.
    for (int round = 0; round < 3; ++round) {
        run("xdotool", {"windowminimize", hex(window)});
        QTRY_VERIFY2_WITH_TIMEOUT(gone(window), "minimised: off the screen and the taskbar", 3000);
        QVERIFY(embeddedIconOf(pid) == icon);
        click(icon);
        QTRY_VERIFY2_WITH_TIMEOUT(shownNormal(window), "restored by a left click", 3000);
        QTest::qWait(600);
        QVERIFY2(shownNormal(window), "the restore sticks");
    }

    closeWindow(program, window);
    int status = 0;
    run("xwininfo", {"-id", hex(icon)}, &status);
    QVERIFY2(status != 0, "the icon is gone with the program");
    stopTrayer();
}

void TrayX11Test::trayHostStartedLater()
{
    stopTrayer();
    Program program;
    start(program, false);
    const qint64 pid = program.zorvel.processId();
    const qulonglong window = mainWindowOf(pid);
    QTRY_VERIFY_WITH_TIMEOUT(shownNormal(window), 3000);

    QTest::qWait(5000);
    QCOMPARE(embeddedIconOf(pid), 0ull);
    for (qulonglong id : windowsOf(pid))
        QVERIFY2(id == window || !viewable(id), "no error box while the tray is missing");

    startTrayer();
    qulonglong icon = 0;
    QTRY_VERIFY_WITH_TIMEOUT((icon = embeddedIconOf(pid)) != 0, 8000);
    closeWindow(program, window);
    stopTrayer();
}

QTEST_GUILESS_MAIN(TrayX11Test)
#include "test_tray_x11.moc"
