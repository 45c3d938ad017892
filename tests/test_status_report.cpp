// The SMS-STATUS-REPORT decoder on published vectors (ModemManager's
// test-sms-part-3gpp.c, python-gsmmodem's test_pdu.py) and on reports built here field
// by field: every status class, the references 0 and 255, international, national and
// alphanumeric recipients, trailing optional fields; and what it refuses. Then the words
// for the status values.
#include <QtTest>

#include <cstring>
#include <memory>

#include "StatusReport.h"

using namespace zorvel;

namespace {

// A status report without service centre: first octet 06, then the fields as given.
QByteArray Report(const char* reference, const char* address, const char* status, const char* rest = "")
{
    return QByteArray("0006") + reference + address + "11101171955140" + "6210903100000A" + status + rest;
}

std::string_view View(const QByteArray& bytes)
{
    return std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace

class StatusReportTest : public QObject {
    Q_OBJECT
private slots:
    void decodes_data()
    {
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<int>("reference");
        QTest::addColumn<QString>("recipient");
        QTest::addColumn<QString>("submitted");
        QTest::addColumn<QString>("discharged");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("klass");  // delivered, trying or failed

        // ModemManager test_pdu_not_stored: service centre, national recipient, 0x30.
        QTest::newRow("ModemManager, still trying (centre specific)")
            << QByteArray("07914356060013F1065A098136397339F7219011700463802190117004638030") << 90
            << "639337937" << "12/09/11,07:40:36+08" << "12/09/11,07:40:36+08" << 0x30 << "trying";
        // python-gsmmodem test_decode: no service centre, international recipient.
        QTest::newRow("python-gsmmodem, delivered")
            << QByteArray("0006D60B911326880736F4111011719551401110117195714000") << 214 << "+31628870634"
            << "11/01/11,17:59:15+04" << "11/01/11,17:59:17+04" << 0x00 << "delivered";
        // python-gsmmodem: "semi-invalid" report of a ZTE modem; a B in the number shows
        // as the extra BCD digit '#'.
        QTest::newRow("python-gsmmodem, ZTE, B in the number")
            << QByteArray("0297F1061C0F910B487228297020F5317062419272803170624192138000") << 28
            << "+#08427829207025" << "13/07/26,14:29:27+08" << "13/07/26,14:29:31+08" << 0x00 << "delivered";
        // Lower-case hex reads the same.
        QTest::newRow("lower case") << QByteArray("0006d60b911326880736f4111011719551401110117195714000") << 214
                                    << "+31628870634" << "11/01/11,17:59:15+04" << "11/01/11,17:59:17+04" << 0
                                    << "delivered";

        // Built here: stamps with a negative zone too.
        const auto built = [](const char* name, const QByteArray& hex, int reference, const QString& recipient,
                              int status, const char* klass) {
            QTest::newRow(name) << hex << reference << recipient << "11/01/11,17:59:15+04"
                                << "26/01/09,13:00:00-20" << status << QString(klass);
        };
        const char* intl = "0D91945155001032F4";  // +4915550001234
        const QString number = "+4915550001234";
        built("reference 0", Report("00", intl, "00"), 0, number, 0x00, "delivered");
        built("reference 255", Report("FF", intl, "00"), 255, number, 0x00, "delivered");
        built("last of the delivered class", Report("02", intl, "1F"), 2, number, 0x1F, "delivered");
        built("congestion, still trying", Report("03", intl, "20"), 3, number, 0x20, "trying");
        built("last of the trying class", Report("04", intl, "3F"), 4, number, 0x3F, "trying");
        built("first of the failed class", Report("05", intl, "40"), 5, number, 0x40, "failed");
        built("reserved 0x80", Report("08", intl, "80"), 8, number, 0x80, "failed");
        built("reserved 0xFF", Report("09", intl, "FF"), 9, number, 0xFF, "failed");
        built("national recipient", Report("0A", "0C81105505002143", "00"), 10, "015550001234", 0, "delivered");
        built("unknown type, odd digits", Report("0B", "05812122F0", "00"), 11, "12220", 0, "delivered");
        // python-gsmmodem's address field vectors: "abc", "FRANCOIS" packed 7-bit.
        built("alphanumeric recipient", Report("0C", "06D061F118", "00"), 12, "abc", 0, "delivered");
        built("alphanumeric, 8 letters", Report("0D", "0ED04669D0397C26A7", "00"), 13, "FRANCOIS", 0, "delivered");
        built("no digits", Report("0E", "0081", "00"), 14, "", 0, "delivered");
        built("20 digits", Report("0F", "149121436587092143658709", "00"), 15, "+12345678901234567890", 0,
              "delivered");
        // TP-PI and the fields it announces (TP-PID, TP-DCS, TP-UDL and user data).
        built("trailing TP-PI and user data", Report("10", intl, "00", "07000005E8329BFD06"), 16, number, 0,
              "delivered");
        built("trailing TP-PI 00", Report("11", intl, "00", "00"), 17, number, 0, "delivered");
        // The other bits of the first octet (TP-MMS, TP-LP, TP-SRQ, TP-UDHI) change nothing.
        built("first octet with every other bit", Report("12", intl, "00").replace(0, 4, "00FE"), 18, number, 0,
              "delivered");
    }
    void decodes()
    {
        QFETCH(QByteArray, hex);
        QFETCH(int, reference);
        QFETCH(QString, recipient);
        QFETCH(QString, submitted);
        QFETCH(QString, discharged);
        QFETCH(int, status);
        QFETCH(QString, klass);
        std::string why;
        const std::optional<StatusReport> report = DecodeStatusReport(View(hex), &why);
        QVERIFY2(report, why.c_str());
        QCOMPARE(report->reference, reference);
        QCOMPARE(QString::fromStdString(report->recipient), recipient);
        QCOMPARE(QString::fromStdString(report->submitted), submitted);
        QCOMPARE(QString::fromStdString(report->discharged), discharged);
        QCOMPARE(report->status, status);
        QCOMPARE(report->delivered(), klass == "delivered");
        QCOMPARE(report->stillTrying(), klass == "trying");
        QCOMPARE(report->failed(), klass == "failed");
        QVERIFY(DecodeStatusReport(View(hex)).has_value());
    }

    void rejects_data()
    {
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<QString>("reason");  // the start of whyNot

        const QByteArray whole = "0006D60B911326880736F4111011719551401110117195714000";
        QTest::newRow("empty") << QByteArray() << "not hexadecimal";
        QTest::newRow("odd digit count") << whole.left(whole.size() - 1) << "not hexadecimal";
        QTest::newRow("not hex") << QByteArray(whole).replace(10, 1, "G") << "not hexadecimal";
        QTest::newRow("trailing CR") << whole + "\r" << "not hexadecimal";
        // Cut short at each field.
        QTest::newRow("SMSC cut short") << QByteArray("07914356060013") << "cut short in the service centre";
        QTest::newRow("no first octet") << QByteArray("00") << "cut short in the service centre";
        QTest::newRow("no reference") << QByteArray("0006") << "cut short before the reference";
        QTest::newRow("no address length") << QByteArray("0006D6") << "recipient address";
        QTest::newRow("address cut short") << whole.left(16) << "recipient address";
        QTest::newRow("address of 21 digits") << Report("00", "159121436587092143658709F1", "00") << "recipient address";
        QTest::newRow("no time stamp") << whole.left(22) << "cut short before the status";
        QTest::newRow("no status") << whole.left(50) << "cut short before the status";
        // Other kinds of PDU.
        QTest::newRow("SMS-DELIVER (ModemManager test_pdu1)")
            << QByteArray("07912104442961F4040B916171550591F800001120821105050A6AC8B2BC7C9A83C220F6DB7D2E")
            << "not a status report";
        QTest::newRow("SMS-SUBMIT as the encoder writes it")
            << QByteArray("0021000B916407551553F800000AE8329BFD4697D9EC37") << "not a status report";
        QTest::newRow("reserved message type 11") << QByteArray(whole).replace(2, 2, "07") << "not a status report";
    }
    void rejects()
    {
        QFETCH(QByteArray, hex);
        QFETCH(QString, reason);
        std::string why;
        QVERIFY(!DecodeStatusReport(View(hex), &why));
        QVERIFY2(QString::fromStdString(why).startsWith(reason), why.c_str());
        QVERIFY(!DecodeStatusReport(View(hex)));
    }

    // Every prefix of a good report but the whole is refused, without reading past it.
    void everyPrefixCutShort()
    {
        const std::string whole = "0297F1061C0F910B487228297020F5317062419272803170624192138000";
        for (std::size_t length = 0; length < whole.size(); ++length) {
            // A copy on the heap of exactly that size, for the sanitizers to watch.
            const std::unique_ptr<char[]> copy(new char[length + 1]);
            std::memcpy(copy.get(), whole.data(), length);
            QVERIFY(!DecodeStatusReport(std::string_view(copy.get(), length)));
        }
        QVERIFY(DecodeStatusReport(whole));
    }

    void texts_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");

        QTest::newRow("0x00") << 0x00 << "delivered (0x00)";
        QTest::newRow("0x01") << 0x01 << "forwarded, delivery not confirmed (0x01)";
        QTest::newRow("0x03 reserved") << 0x03 << "delivered (0x03)";
        QTest::newRow("0x1F centre specific") << 0x1F << "delivered (0x1F)";
        QTest::newRow("0x20") << 0x20 << "still trying: congestion (0x20)";
        QTest::newRow("0x25") << 0x25 << "still trying: error in the recipient's phone (0x25)";
        QTest::newRow("0x30 centre specific") << 0x30 << "still trying (0x30)";
        QTest::newRow("0x40") << 0x40 << "failed: remote procedure error (0x40)";
        QTest::newRow("0x46") << 0x46 << "failed: validity period expired (0x46)";
        QTest::newRow("0x49") << 0x49 << "failed: message does not exist (0x49)";
        QTest::newRow("0x4A reserved") << 0x4A << "failed (0x4A)";
        QTest::newRow("0x60") << 0x60 << "failed: congestion, no more attempts (0x60)";
        QTest::newRow("0x65") << 0x65 << "failed: error in the recipient's phone, no more attempts (0x65)";
        QTest::newRow("0x7F centre specific") << 0x7F << "failed (0x7F)";
        QTest::newRow("0x80 reserved") << 0x80 << "failed: reserved value (0x80)";
        QTest::newRow("0xFF reserved") << 0xFF << "failed: reserved value (0xFF)";
        QTest::newRow("-1") << -1 << "failed: not a status value (-1)";
        QTest::newRow("256") << 256 << "failed: not a status value (256)";
    }
    void texts()
    {
        QFETCH(int, status);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(StatusReportText(status)), text);
    }
};

QTEST_APPLESS_MAIN(StatusReportTest)
#include "test_status_report.moc"
