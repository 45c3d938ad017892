// The exchange over a real pseudo-terminal: the test holds the modem's end of the line.
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>

#include "ReplyWindow.h"
#include "StatusPresenter.h"
#include "QtClock.h"
#include "QtSerialModemPort.h"

using namespace zorvel;

namespace {

// The modem's end of a pseudo-terminal, linked as <folder>/ports/com<N>.
class PtyModem {
public:
    PtyModem(const QString& folder, int number)
    {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        grantpt(master);
        unlockpt(master);
        slavePath = ptsname(master);
        // Hold the far end open ourselves too, so the line stays up between commands.
        holder = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY);
        termios raw{};
        tcgetattr(holder, &raw);
        cfmakeraw(&raw); // no echo from the line itself: only what we send comes back
        tcsetattr(holder, TCSANOW, &raw);
        std::filesystem::create_directories(folder.toStdString() + "/ports");
        std::filesystem::create_symlink(slavePath, folder.toStdString() + "/ports/com"
                                                       + std::to_string(number));
        notifier = std::make_unique<QSocketNotifier>(master, QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, [this] {
            char buf[512];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0) {
                received.append(buf, n);
                if (onReceived)
                    onReceived();
            }
        });
    }
    ~PtyModem() { hangUp(); }
    void send(const QByteArray& bytes) { QVERIFY(::write(master, bytes.data(), bytes.size()) == bytes.size()); }
    void hangUp()
    {
        notifier.reset();
        if (holder >= 0)
            ::close(holder);
        if (master >= 0)
            ::close(master);
        holder = master = -1;
    }
    // How many descriptors of this process point at the line's far end (the port's).
    int openCountInProcess() const
    {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code ec;
            if (std::filesystem::read_symlink(entry.path(), ec) == slavePath)
                ++count;
        }
        return count - (holder >= 0 ? 1 : 0);
    }

    int master = -1;
    int holder = -1;
    std::string slavePath;
    QByteArray received;
    std::function<void()> onReceived;
    std::unique_ptr<QSocketNotifier> notifier;
};

// The exchange wired to a real QSerialPort whose far end is a PtyModem.
struct SerialRig {
    explicit SerialRig(int number = 3, const std::string& speed = "9600,n,8,1")
        : modem(dir.path(), number), port(dir.path().toStdString(), "zorvel.ini"),
          exchange(port, clock, PortSettings{number, speed})
    {
        presenter.showLink(exchange, clock);
    }
    // Runs one command to the end of its window.
    bool send(const std::string& command)
    {
        bool done = false;
        exchange.SendCommand({CommandKind::Query, command}, [&] { done = true; });
        return QTest::qWaitFor([&] { return done; }, 3000);
    }
    QTemporaryDir dir;
    PtyModem modem;
    QtClock clock;
    StatusFields fields;
    StatusPresenter presenter{fields};
    QtSerialModemPort port;
    ReplyWindow exchange;
};

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

class SerialExchangeTest : public QObject {
    Q_OBJECT
private slots:
    void oneOpenAndOneClosePerCommand();
    void junkBeforeTheCommandNeverReachesTheReply();
    void vanishingFarEndDoesNotSpin();
    void missingPortIsReported();
};

void SerialExchangeTest::oneOpenAndOneClosePerCommand()
{
    SerialRig rig;
    PtyModem& modem = rig.modem;
    int openDuringWait = -1;
    modem.onReceived = [&] {
        if (modem.received.endsWith("\r\n")) {
            openDuringWait = modem.openCountInProcess();
            modem.send(modem.received + "\r\n+CSQ: 18,99\r\n\r\nOK\r\n");
        }
    };
    for (const char* command : {"AT+CSQ\r\n", "AT+CSQ\r\n"}) {
        modem.received.clear();
        QElapsedTimer elapsed;
        elapsed.start();
        QVERIFY(rig.send(command));
        QVERIFY(elapsed.elapsed() > 950 && elapsed.elapsed() < 2200);
        QCOMPARE(modem.received, QByteArray(command));
        QCOMPARE(openDuringWait, 1);
        QCOMPARE(modem.openCountInProcess(), 0);
        QCOMPARE(QByteArray::fromStdString(rig.fields.text(Field::txtStatus)),
                 QByteArray("AT+CSQ\r\n\r\n+CSQ: 18,99\r\n\r\nOK\r\n"));
    }
}

void SerialExchangeTest::junkBeforeTheCommandNeverReachesTheReply()
{
    SerialRig rig(2, "115200,n,8,1");
    PtyModem& modem = rig.modem;
    modem.send("\r\n+CMTI: \"SM\",1\r\n^RSSI:12\r\n"); // while the port is closed
    modem.onReceived = [&] {
        if (modem.received.endsWith("\r\n"))
            modem.send("OK\r\n");
    };
    QVERIFY(rig.send("AT\r\n"));
    QCOMPARE(QByteArray::fromStdString(rig.fields.text(Field::txtStatus)), QByteArray("OK\r\n"));
}

void SerialExchangeTest::vanishingFarEndDoesNotSpin()
{
    SerialRig rig;
    rig.modem.onReceived = [&] { rig.modem.hangUp(); };
    const double cpuBefore = cpuSeconds();
    QVERIFY(rig.send("AT+CSQ\r\n"));
    // A spinning error loop would burn the whole window (1 to 2 s) of CPU.
    QVERIFY2(cpuSeconds() - cpuBefore < 0.5, qPrintable(QString::number(cpuSeconds() - cpuBefore)));
    QCOMPARE(rig.fields.text(Field::txtReady), std::string("READY"));
}

void SerialExchangeTest::missingPortIsReported()
{
    QTemporaryDir dir;
    QtClock clock;
    QtSerialModemPort port(dir.path().toStdString(), "zorvel.ini");
    // Port 999 exists neither as a link of ours nor as a device.
    ReplyWindow exchange(port, clock, PortSettings{999, "9600,n,8,1"});
    std::string message;
    exchange.onPortUnavailable = [&](const std::string& m) { message = m; };
    exchange.SendCommand({CommandKind::Query, "ATZ\r\n"}, [] {});
    QCOMPARE(message, std::string("COM999: not available. Please check or change the port."));

    PtyModem modem(dir.path(), 4);
    ReplyWindow badSettings(port, clock, PortSettings{4, "9600,n,8,1.5"});
    badSettings.onPortUnavailable = [&](const std::string& m) { message = m; };
    badSettings.SendCommand({CommandKind::Query, "ATZ\r\n"}, [] {});
    QVERIFY2(message.find("\"Speed\"") != std::string::npos, message.c_str());
    QVERIFY2(message.find("9600,n,8,1.5") != std::string::npos, message.c_str());
    QVERIFY2(message.find("zorvel.ini") != std::string::npos, message.c_str());
}

QTEST_GUILESS_MAIN(SerialExchangeTest)
#include "test_serial_exchange.moc"
