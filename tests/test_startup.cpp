// Start-up and shutdown of the whole gateway in this process, on a real pseudo-terminal.
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>

#include "Gateway.h"
#include "frmMain.h"

using namespace zorvel;

namespace {

void writeIni(const QString& folder, const QByteArray& body)
{
    QFile file(folder + "/zorvel.ini");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(body);
}

// A quiet far end for ports/com<N>: it hears commands and never answers.
struct QuietLine {
    explicit QuietLine(const QString& folder, int number = 3)
    {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        grantpt(master);
        unlockpt(master);
        holder = ::open(ptsname(master), O_RDWR | O_NOCTTY);
        termios raw{};
        tcgetattr(holder, &raw);
        cfmakeraw(&raw);
        tcsetattr(holder, TCSANOW, &raw);
        std::filesystem::create_directories(folder.toStdString() + "/ports");
        std::filesystem::create_symlink(ptsname(master), folder.toStdString() + "/ports/com"
                                                             + std::to_string(number));
    }
    ~QuietLine()
    {
        ::close(holder);
        ::close(master);
    }
    QByteArray heard()
    {
        char buf[256];
        const ssize_t n = ::read(master, buf, sizeof buf);
        return n > 0 ? QByteArray(buf, n) : QByteArray();
    }
    int master = -1;
    int holder = -1;
};

struct Outcome {
    std::vector<std::string> messages;
    std::vector<int> endCodes;
};

void observe(Gateway& gateway, Outcome& outcome)
{
    gateway.endProgram = [&outcome](int code) { outcome.endCodes.push_back(code); };
    gateway.showMessage = [&outcome](const std::string& text, std::function<void()> afterOk) {
        outcome.messages.push_back(text);
        afterOk(); // the operator presses OK at once
    };
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void startupTexts_data();
    void startupTexts();
    void missingFileStopsBeforeTheWindow();
    void firstCommandAboutOneSecondAfterStartup();
    void unusablePortEndsAfterTheMessage_data();
    void unusablePortEndsAfterTheMessage();
    void closingDuringAnExchangeEndsAtOnce();
};

void StartupTest::startupTexts_data()
{
    QTest::addColumn<QByteArray>("pduLine");
    QTest::addColumn<QString>("modeText");
    QTest::newRow("text mode") << QByteArray("PDUmode=0\n") << "ASCII Mode";
    QTest::newRow("PDU mode") << QByteArray("PDUmode=1\n") << "PDU Mode";
    QTest::newRow("01 is not 1") << QByteArray("PDUmode=01\n") << "ASCII Mode";
    QTest::newRow("missing key") << QByteArray() << "ASCII Mode";
}

void StartupTest::startupTexts()
{
    QFETCH(QByteArray, pduLine);
    QFETCH(QString, modeText);
    QTemporaryDir dir;
    writeIni(dir.path(), "[Zorvel]\nCOM=3\nSpeed=9600,n,8,1\n" + pduLine);
    Gateway gateway(dir.path().toStdString());
    Outcome outcome;
    observe(gateway, outcome);
    QVERIFY(gateway.Form_Load());
    const StatusFields& f = gateway.fields();
    QCOMPARE(QString::fromStdString(f.text(Field::txtPDUmode)), modeText);
    QCOMPARE(f.text(Field::lblSMS), std::string());
    QCOMPARE(f.text(Field::lblSMSstamp), std::string("None"));
    QCOMPARE(f.text(Field::txtReady), std::string("READY"));
    QCOMPARE(f.text(Field::txtLastCheck), std::string("Starting Zorvel"));
    QCOMPARE(f.text(Field::txtCounter), std::string("Msgs: 0"));
    QCOMPARE(f.text(Field::txtNetName), std::string("No Service"));
    for (Field na : {Field::txtPhoneNo, Field::txtIMEI, Field::txtIMSI, Field::txtSYSINFO})
        QCOMPARE(f.text(na), std::string("NA"));
    for (Field bar : {Field::picS1, Field::picS2, Field::picS3, Field::picS4, Field::picS5})
        QCOMPARE(f.colour(bar), colours::darkGrey);
    QVERIFY(!f.visible(Field::txtSignal));
    QCOMPARE(gateway.window().lblVersion->text(), QString("V 1.24"));
    QVERIFY(gateway.window().lblCopyright->text().contains("Zorvel authors"));
    QCOMPARE(gateway.tmrMain().interval(), 1000);
    QVERIFY(gateway.tmrMain().isActive());
    QVERIFY(outcome.messages.empty());
}

void StartupTest::missingFileStopsBeforeTheWindow()
{
    QTemporaryDir dir;
    Gateway gateway(dir.path().toStdString());
    Outcome outcome;
    observe(gateway, outcome);
    QVERIFY(!gateway.Form_Load());
    QCOMPARE(outcome.messages.size(), size_t(1));
    QVERIFY(outcome.messages[0].find(dir.path().toStdString() + "/zorvel.ini") != std::string::npos);
    QCOMPARE(outcome.endCodes, std::vector<int>{78});
    QVERIFY(!gateway.tmrMain().isActive());
    QVERIFY(!gateway.window().isVisible());
}

void StartupTest::firstCommandAboutOneSecondAfterStartup()
{
    QTemporaryDir dir;
    writeIni(dir.path(), "[Zorvel]\nCOM=3\nSpeed=9600,n,8,1\n");
    QuietLine line(dir.path());
    Gateway gateway(dir.path().toStdString());
    Outcome outcome;
    observe(gateway, outcome);
    QElapsedTimer sinceStart;
    sinceStart.start();
    QVERIFY(gateway.Form_Load());
    QCOMPARE(line.heard(), QByteArray()); // start-up itself sends nothing
    QByteArray heard;
    QTRY_VERIFY_WITH_TIMEOUT(!(heard += line.heard()).isEmpty(), 3000);
    QVERIFY2(sinceStart.elapsed() >= 900, qPrintable(QString::number(sinceStart.elapsed())));
    QVERIFY(heard.startsWith("AT"));
    QVERIFY(heard.endsWith("\r\n"));
    QCOMPARE(gateway.fields().text(Field::txtReady), std::string("BUSY"));
}

void StartupTest::unusablePortEndsAfterTheMessage_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("code");
    // The modem may come back: a service manager tries again after code 1.
    QTest::newRow("missing port") << QByteArray("[Zorvel]\nCOM=999\nSpeed=9600,n,8,1\n")
                                  << "COM999: not available. Please check or change the port." << 1;
    // The file would fail the same way every time.
    QTest::newRow("unusable Speed") << QByteArray("[Zorvel]\nCOM=3\nSpeed=9600,n,4,1\n")
                                    << "The \"Speed\" value \"9600,n,4,1\" in %1/zorvel.ini cannot be used" << 78;
}

void StartupTest::unusablePortEndsAfterTheMessage()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, message);
    QFETCH(int, code);
    QTemporaryDir dir;
    writeIni(dir.path(), ini);
    Gateway gateway(dir.path().toStdString());
    Outcome outcome;
    observe(gateway, outcome);
    QVERIFY(gateway.Form_Load()); // the port is only tried by the first command
    QVERIFY(outcome.messages.empty());
    QTRY_COMPARE_WITH_TIMEOUT(outcome.messages.size(), size_t(1), 3000);
    QVERIFY2(QString::fromStdString(outcome.messages[0]).startsWith(message.arg(dir.path())),
             outcome.messages[0].c_str());
    QCOMPARE(outcome.endCodes, std::vector<int>{code});
    QVERIFY(!gateway.tmrMain().isActive());
}

void StartupTest::closingDuringAnExchangeEndsAtOnce()
{
    QTemporaryDir dir;
    writeIni(dir.path(), "[Zorvel]\nCOM=3\nSpeed=9600,n,8,1\n");
    QuietLine line(dir.path());
    Gateway gateway(dir.path().toStdString());
    Outcome outcome;
    observe(gateway, outcome);
    QVERIFY(gateway.Form_Load());
    gateway.showWindow();
    QTRY_COMPARE_WITH_TIMEOUT(gateway.fields().text(Field::txtReady), std::string("BUSY"), 3000);
    gateway.window().close();
    QCOMPARE(outcome.endCodes, std::vector<int>{0});
    QCOMPARE(gateway.fields().text(Field::txtReady), std::string("READY")); // the wait was ended
    QVERIFY(!gateway.tmrMain().isActive());
}

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
