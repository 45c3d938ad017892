// How a configured port number and settings text become a device and line settings, and
// how a lock file names the process that holds a port.
#include <QtTest>
#include <set>

#include "LineSettings.h"
#include "PortLocator.h"
#include "PortLock.h"

using namespace zorvel;

Q_DECLARE_METATYPE(LineSettings::Parity)
Q_DECLARE_METATYPE(LineSettings::StopBits)

class PortSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void settingsText_data();
    void settingsText();
    void portNumberToDevice_data();
    void portNumberToDevice();
    void lockHolder_data();
    void lockHolder();
    void lockFileName();
};

void PortSettingsTest::settingsText_data()
{
    using P = LineSettings::Parity;
    using S = LineSettings::StopBits;
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("baud");
    QTest::addColumn<P>("parity");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<S>("stopBits");
    QTest::newRow("usual") << "9600,n,8,1" << true << 9600 << P::None << 8 << S::One;
    QTest::newRow("upper case parity") << "115200,E,7,2" << true << 115200 << P::Even << 7 << S::Two;
    QTest::newRow("odd, mark, space") << "19200,o,8,1" << true << 19200 << P::Odd << 8 << S::One;
    QTest::newRow("mark") << "2400,m,8,1" << true << 2400 << P::Mark << 8 << S::One;
    QTest::newRow("space, 1.5 stop") << "300,s,5,1.5" << true << 300 << P::Space << 5 << S::OneAndHalf;
    QTest::newRow("four data bits") << "9600,n,4,1" << true << 9600 << P::None << 4 << S::One;
    QTest::newRow("blanks around fields") << " 9600 , n , 8 , 1 " << true << 9600 << P::None << 8 << S::One;
    QTest::newRow("empty") << "" << false << 0 << P::None << 0 << S::One;
    QTest::newRow("three fields") << "9600,n,8" << false << 0 << P::None << 0 << S::One;
    QTest::newRow("five fields") << "9600,n,8,1,x" << false << 0 << P::None << 0 << S::One;
    QTest::newRow("unknown parity") << "9600,x,8,1" << false << 0 << P::None << 0 << S::One;
    QTest::newRow("parity word") << "9600,none,8,1" << false << 0 << P::None << 0 << S::One;
    QTest::newRow("nine data bits") << "9600,n,9,1" << false << 0 << P::None << 0 << S::One;
    QTest::newRow("three data bits") << "9600,n,3,1" << false << 0 << P::None << 0 << S::One;
    QTest::newRow("three stop bits") << "9600,n,8,3" << false << 0 << P::None << 0 << S::One;
    QTest::newRow("baud not a number") << "fast,n,8,1" << false << 0 << P::None << 0 << S::One;
    QTest::newRow("baud with letters") << "9600b,n,8,1" << false << 0 << P::None << 0 << S::One;
    QTest::newRow("zero baud") << "0,n,8,1" << false << 0 << P::None << 0 << S::One;
    QTest::newRow("negative baud") << "-9600,n,8,1" << false << 0 << P::None << 0 << S::One;
    QTest::newRow("the ini file's path") << "/home/user/gateway" << false << 0 << P::None << 0 << S::One;
}

void PortSettingsTest::settingsText()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    const auto parsed = ParseLineSettings(text.toStdString());
    QCOMPARE(parsed.has_value(), valid);
    if (!valid)
        return;
    QTEST(parsed->baud, "baud");
    QTEST(parsed->parity, "parity");
    QTEST(parsed->dataBits, "dataBits");
    QTEST(parsed->stopBits, "stopBits");
}

void PortSettingsTest::portNumberToDevice_data()
{
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("device");
    const QStringList pc{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS3", "/dev/ttyUSB0", "/dev/ttyUSB1",
                         "/dev/ttyACM0"};
    QTest::newRow("COM1 is the first serial device") << pc << 1 << "/dev/ttyS0";
    QTest::newRow("COM2") << pc << 2 << "/dev/ttyS1";
    QTest::newRow("ttyS counting stops at the first gap") << pc << 3 << "/dev/ttyUSB0";
    QTest::newRow("second USB adapter") << pc << 4 << "/dev/ttyUSB1";
    QTest::newRow("then ACM modems") << pc << 5 << "/dev/ttyACM0";
    QTest::newRow("beyond the last device") << pc << 6 << "";
    QTest::newRow("zero") << pc << 0 << "";
    QTest::newRow("negative") << pc << -3 << "";
    QTest::newRow("own link wins") << (pc + QStringList{"/gw/ports/com3"}) << 3 << "/gw/ports/com3";
    QTest::newRow("own link for another number") << (pc + QStringList{"/gw/ports/com7"}) << 3
                                                 << "/dev/ttyUSB0";
    QTest::newRow("only an ACM modem") << QStringList{"/dev/ttyACM0"} << 1 << "/dev/ttyACM0";
    QTest::newRow("nothing at all") << QStringList{} << 1 << "";
}

void PortSettingsTest::portNumberToDevice()
{
    QFETCH(QStringList, present);
    QFETCH(int, number);
    QFETCH(QString, device);
    std::set<std::string> paths;
    for (const QString& p : present)
        paths.insert(p.toStdString());
    const auto exists = [&](const std::string& p) { return paths.count(p) > 0; };
    QCOMPARE(QString::fromStdString(DeviceForPort(number, "/gw", exists)), device);
}

// Anyone may write a lock file in /tmp: only a plain process id counts.
void PortSettingsTest::lockHolder_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<long>("pid"); // 0: none
    QTest::newRow("QLockFile") << QByteArray("812\nzorvel\nhost\n") << 812L;
    QTest::newRow("uucp, padded") << QByteArray("       812\n") << 812L;
    QTest::newRow("no line break") << QByteArray("4194304") << 4194304L;
    QTest::newRow("above the largest id") << QByteArray("4194305\n") << 0L;
    QTest::newRow("would overflow") << QByteArray("99999999999999999999999\n") << 0L;
    QTest::newRow("zero") << QByteArray("0\n") << 0L;
    QTest::newRow("text after the digits") << QByteArray("812abc\n") << 0L;
    QTest::newRow("binary id") << QByteArray("\x2c\x03\x00\x00", 4) << 0L;
    QTest::newRow("empty") << QByteArray() << 0L;
}

void PortSettingsTest::lockHolder()
{
    QFETCH(QByteArray, content);
    QFETCH(long, pid);
    QCOMPARE(LockHolder(content.toStdString()).value_or(0), pid);
}

void PortSettingsTest::lockFileName()
{
    QCOMPARE(LockFileName("/dev/ttyUSB0"), std::string("LCK..ttyUSB0"));
    QCOMPARE(LockFileName("/dev/pts/3"), std::string("LCK..pts_3"));
    QCOMPARE(LockFileName("/home/sms/ports/com3"), std::string("LCK.._home_sms_ports_com3"));
}

QTEST_GUILESS_MAIN(PortSettingsTest)
#include "test_port_settings.moc"
