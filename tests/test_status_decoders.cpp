// Status replies as devices send them, through to the texts and bar colours the window
// shows. Device rows carry replies transcribed from public modem logs and test suites
// (ModemManager, python-gsmmodem, ts-gsm-modem); numbers and identities are made up.
#include <QtTest>

#include "StatusDecoders.h"

using namespace zorvel;

namespace {

QByteArray bytes(const std::string& s) { return QByteArray::fromStdString(s); }

// A reply without echo, in the V.250 layout: CR LF, the line, CR LF, CR LF OK CR LF.
QByteArray plain(const QByteArray& line) { return "\r\n" + line + "\r\n\r\nOK\r\n"; }

// The same with the command echoed, the echo ending in CR CR LF.
QByteArray echoed(const QByteArray& command, const QByteArray& line)
{
    return command + "\r\r\n" + line + "\r\n\r\nOK\r\n";
}

const QByteArray errorReply = "\r\nERROR\r\n";

} // namespace

class StatusDecodersTest : public QObject {
    Q_OBJECT
private slots:
    void ownNumber_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("txtPhoneNo");
        QTest::newRow("empty name, international number")
            << plain("+CNUM: \"\",\"+447700900123\",145") << QByteArray("+447700900123");
        QTest::newRow("echo on") << echoed("AT+CNUM", "+CNUM: \"\",\"+447700900123\",145") << QByteArray("+447700900123");
        QTest::newRow("ModemManager generic, named line")
            << plain("+CNUM: \"something\",\"5550001234\",161") << QByteArray("5550001234");
        QTest::newRow("ModemManager generic, no name")
            << plain("+CNUM: ,\"5550001234\",161") << QByteArray("5550001234");
        QTest::newRow("ModemManager generic, name unquoted")
            << plain("+CNUM: something,\"+34600000999\",145") << QByteArray("+34600000999");
        QTest::newRow("ModemManager, several lines: first wins")
            << plain("+CNUM: something,\"+34600000999\",145\r\n+CNUM: ,\"+34600000998\",145")
            << QByteArray("+34600000999");
        QTest::newRow("SIMCom SIM800L") << plain("+CNUM: \"\",\"+15550004321\",129") << QByteArray("+15550004321");
        QTest::newRow("only OK: empty, not NA") << QByteArray("\r\nOK\r\n") << QByteArray();
        QTest::newRow("ERROR: empty") << errorReply << QByteArray();
        QTest::newRow("SIM without number: quotes stay") << plain("+CNUM: \"\",\"\",129") << QByteArray(",\"\"");
    }
    void ownNumber()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, txtPhoneNo);
        QCOMPARE(bytes(DecodeCNUM(answer.toStdString())), txtPhoneNo);
    }

    void networkSummary_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("txtSYSINFO");
        QTest::newRow("worked example (Huawei dongle, ts-gsm-modem)")
            << plain("^SYSINFO:2,3,0,5,1,,4") << QByteArray("In Service | Home | 3G | SIM OK");
        QTest::newRow("Huawei, ModemManager plugin: GSM, sub-mode 3")
            << plain("^SYSINFO:2,1,0,3,1,,3") << QByteArray("In Service | Home | 2G | SIM OK");
        QTest::newRow("Huawei, ModemManager plugin: roaming code 5 unknown")
            << plain("^SYSINFO:2,4,5,3,1") << QByteArray("In Service | 5 | 2G | SIM OK");
        QTest::newRow("echo on") << echoed("AT^SYSINFO", "^SYSINFO:1,0,1,0,255")
                                 << QByteArray("Restricted | Roaming | No Service | SIM Not Present");
        QTest::newRow("blank after colon stays in F1")
            << plain("^SYSINFO: 2,3,0,5,1") << QByteArray(" 2 | Home | 3G | SIM OK");
        QTest::newRow("GPS mode, codes without entry")
            << plain("^SYSINFO:4,0,2,6,240") << QByteArray("Power Save | 2 | GPS | 240");
        QTest::newRow("mode 7 shown as digits") << plain("^SYSINFO:3,0,0,7,4") << QByteArray("Regional | Home | 7 | Invalid SIM");
        QTest::newRow("eighth field dropped") << plain("^SYSINFO:2,3,0,5,1,,4,9") << QByteArray("In Service | Home | 3G | SIM OK");
        QTest::newRow("comma before any colon starts F1") << plain(",0,2,1,4,3") << QByteArray("No Service | Roaming | HDR | Invalid SIM PS");
        QTest::newRow("second colon restarts F1") << plain("^SYSINFO:2,3:0,5,1") << QByteArray("20 | Roaming |  | ");
        QTest::newRow("ERROR: only the separators") << errorReply << QByteArray(" |  |  | ");
        QTest::newRow("Huawei unsolicited ^RSSI ahead of the reply")
            << QByteArray("\r\n^RSSI:20\r\n\r\n^SYSINFO:2,3,0,5,1,,4\r\n\r\nOK\r\n") << QByteArray("20 |  |  | ");
    }
    void networkSummary()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, txtSYSINFO);
        QCOMPARE(bytes(DecodeSYSINFO(answer.toStdString())), txtSYSINFO);
    }

    void identityLines_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("shown");
        QTest::newRow("Huawei K3715, no echo") << plain("356938035643809") << QByteArray("356938035643809");
        QTest::newRow("echo on") << echoed("AT+GSN", "356938035643809") << QByteArray("356938035643809");
        QTest::newRow("letters and blanks kept") << plain(" IMEI: 35693803 5643809") << QByteArray(" IMEI: 35693803 5643809");
        QTest::newRow("ERROR shown as is") << errorReply << QByteArray("ERROR");
        QTest::newRow("nothing after the echo") << QByteArray("AT+GSN\r") << QByteArray();
    }
    void identityLines()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, shown);
        QCOMPARE(bytes(DecodeGSN(answer.toStdString())), shown);
        QCOMPARE(bytes(DecodeCIMI(answer.toStdString())), shown);
    }

    void signal_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("txtSignal");
        QTest::addColumn<QString>("lit"); // one character per box, '1' for white
        QTest::newRow("worked example 18") << plain("+CSQ: 18,99") << QByteArray("OOOO_") << "11110";
        QTest::newRow("99: not known") << plain("+CSQ: 99,99") << QByteArray("N/A") << "00000";
        QTest::newRow("0") << plain("+CSQ: 0,0") << QByteArray("_____") << "00000";
        QTest::newRow("1") << plain("+CSQ: 1,99") << QByteArray("O____") << "10000";
        QTest::newRow("2, one-digit BER") << plain("+CSQ: 2,0") << QByteArray("O____") << "10000";
        QTest::newRow("3") << plain("+CSQ: 3,99") << QByteArray("OO___") << "11000";
        QTest::newRow("7") << plain("+CSQ: 7,99") << QByteArray("OO___") << "11000";
        QTest::newRow("8") << plain("+CSQ: 8,99") << QByteArray("OOO__") << "11100";
        QTest::newRow("12") << plain("+CSQ: 12,99") << QByteArray("OOO__") << "11100";
        QTest::newRow("13") << plain("+CSQ: 13,99") << QByteArray("OOOO_") << "11110";
        QTest::newRow("19") << plain("+CSQ: 19,99") << QByteArray("OOOOO") << "11111";
        QTest::newRow("31") << plain("+CSQ: 31,99") << QByteArray("OOOOO") << "11111";
        QTest::newRow("32 matches no key") << plain("+CSQ: 32,99") << QByteArray("32") << "00000";
        QTest::newRow("05 matches no key") << plain("+CSQ: 05,99") << QByteArray("05") << "00000";
        QTest::newRow("45 matches no key") << plain("+CSQ: 45,99") << QByteArray("45") << "00000";
        QTest::newRow("no blank after colon loses a digit") << plain("+CSQ:18,99") << QByteArray("OOO__") << "11100";
        QTest::newRow("ERROR lights box 4") << errorReply << QByteArray("ERROR") << "00010";
        QTest::newRow("empty value lights box 4") << plain("+CSQ: ,99") << QByteArray("ERROR") << "00010";
        QTest::newRow("nothing received") << QByteArray() << QByteArray("ERROR") << "00010";
        QTest::newRow("SIMCom SIM808, echo on") << echoed("AT+CSQ", "+CSQ: 20,0") << QByteArray("OOOOO") << "11111";
        QTest::newRow("SIMCom SIM808, +CMTI ahead of the reply")
            << QByteArray("\r\n+CMTI: \"SM\",4\r\n+CSQ: 20,0\r\n\r\nOK\r\n") << QByteArray(" \"SM\"") << "00000";
    }
    void signal()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, txtSignal);
        QFETCH(QString, lit);
        const SignalBars decoded = DecodeCSQ(answer.toStdString());
        QCOMPARE(bytes(decoded.text), txtSignal);
        for (int k = 0; k < 5; ++k)
            QVERIFY2(decoded.lit[static_cast<std::size_t>(k)] == (lit[k] == u'1'),
                     qPrintable(QStringLiteral("box %1").arg(k + 1)));
    }

    void operatorName_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("txtNetName");
        QTest::newRow("worked example 23410") << plain("+COPS: 0,2,\"23410\",2") << QByteArray("O2 UK");
        QTest::newRow("23415") << plain("+COPS: 0,2,\"23415\",0") << QByteArray("Vodafone UK");
        QTest::newRow("23420") << plain("+COPS: 0,2,\"23420\",2") << QByteArray("Three UK");
        QTest::newRow("23430") << plain("+COPS: 0,2,\"23430\",7") << QByteArray("EE");
        QTest::newRow("23433") << plain("+COPS: 0,2,\"23433\",0") << QByteArray("EE (Orange)");
        QTest::newRow("echo on") << echoed("AT+COPS?", "+COPS: 0,2,\"23410\",2") << QByteArray("O2 UK");
        QTest::newRow("other code shown as is") << plain("+COPS: 0,2,\"26201\",7") << QByteArray("26201");
        QTest::newRow("name by letters") << plain("+COPS: 0,0,\"vodafone UK\",2") << QByteArray("vodafone UK");
        QTest::newRow("ModemManager, China Mobile with AcT")
            << plain("+COPS: 1,0,\"CHINA MOBILE\",7") << QByteArray("CHINA MOBILE");
        QTest::newRow("ModemManager, China Mobile without AcT loses a letter")
            << plain("+COPS: 1,0,\"CHINA MOBILE\"") << QByteArray("CHINA MOBIL");
        QTest::newRow("ModemManager, 46000 without AcT loses a digit")
            << plain("+COPS: 1,2,\"46000\"") << QByteArray("4600");
        QTest::newRow("unregistered +COPS: 0 gives empty") << plain("+COPS: 0") << QByteArray();
        QTest::newRow("ERROR gives empty") << errorReply << QByteArray();
    }
    void operatorName()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, txtNetName);
        QCOMPARE(bytes(DecodeCOPS(answer.toStdString())), txtNetName);
    }
};

QTEST_GUILESS_MAIN(StatusDecodersTest)
#include "test_status_decoders.moc"
