// The first entry of a message list, in text and PDU format: header fields, the whole
// body (several lines, an "OK" line, an empty line), the label texts, and the replies
// that hold no entry. Device rows are transcribed from public logs and test suites
// (esphome and GSM-GPRS shield issues, Perl Device::Gsm and vumi tests) with made-up
// numbers.
#include <QtTest>

#include "InboxDecoder.h"
#include "MessageRead.h"
#include "ReplyShape.h"

using namespace zorvel;

namespace {

QByteArray bytes(const std::string& s) { return QByteArray::fromStdString(s); }

const QByteArray header3 = "+CMGL: 3,\"REC UNREAD\",\"+447700900123\",,\"17/11/19,14:05:09+00\"";
const QByteArray stamp3 = "17/11/19,14:05:09+00";
const QByteArray echo = "AT+CMGL=\"ALL\"\r\r\n";
const QByteArray tail = "\r\n\r\nOK\r\n"; // end of the last body line, empty line, OK

} // namespace

class InboxDecoderTest : public QObject {
    Q_OBJECT
private slots:
    void commands()
    {
        QCOMPARE(bytes(ListCommand(MessageFormat::Text)), QByteArray("AT+CMGL=\"ALL\"\r\n"));
        QCOMPARE(bytes(ListCommand(MessageFormat::Pdu)), QByteArray("AT+CMGL=4\r\n"));
        QCOMPARE(bytes(DeleteCommand("3")), QByteArray("AT+CMGD=3\r\n"));
        QCOMPARE(bytes(DeleteCommand("")), QByteArray()); // no index, no delete
    }

    void textEntry_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("index");
        QTest::addColumn<QByteArray>("sender");
        QTest::addColumn<QByteArray>("stamp");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("shownText");

        const QByteArray number = "+447700900123";
        QTest::newRow("worked example, echo on")
            << echo + header3 + "\r\nHello there" + tail << QByteArray("3") << number << stamp3
            << QByteArray("Hello there") << QByteArray("Hello there");
        QTest::newRow("echo off") << "\r\n" + header3 + "\r\nHello there" + tail << QByteArray("3") << number
                                  << stamp3 << QByteArray("Hello there") << QByteArray("Hello there");
        QTest::newRow("CR CR LF after every line")
            << echo + header3 + "\r\r\nHello there\r\r\n\r\r\nOK\r\r\n" << QByteArray("3") << number << stamp3
            << QByteArray("Hello there") << QByteArray("Hello there");
        QTest::newRow("two lines joined with LF")
            << echo + header3 + "\r\nLine one\nLine two" + tail << QByteArray("3") << number << stamp3
            << QByteArray("Line one\nLine two") << QByteArray("Line one\nLine two");
        QTest::newRow("lines ending CR LF inside the text")
            << echo + header3 + "\r\nLine one\r\nLine two" + tail << QByteArray("3") << number << stamp3
            << QByteArray("Line one\nLine two") << QByteArray("Line one\nLine two");
        QTest::newRow("empty line inside the text")
            << echo + header3 + "\r\nabove\n\nbelow" + tail << QByteArray("3") << number << stamp3
            << QByteArray("above\n\nbelow") << QByteArray("above\n\nbelow");
        QTest::newRow("OK as the only line is a body")
            << echo + header3 + "\r\nOK" + tail << QByteArray("3") << number << stamp3 << QByteArray("OK")
            << QByteArray("OK");
        QTest::newRow("text ending in an empty line and OK keeps them")
            << echo + header3 + "\r\nSend\n\nOK" + tail << QByteArray("3") << number << stamp3
            << QByteArray("Send\n\nOK") << QByteArray("Send\n\nOK");
        QTest::newRow("empty text") << echo + header3 + "\r\n" + tail << QByteArray("3") << number << stamp3
                                    << QByteArray() << QByteArray();
        QTest::newRow("SIMCom SIM800L, named sender, next entry ends the body")
            << echo + "+CMGL: 96,\"REC READ\",\"Play\",\"\",\"23/02/09,13:07:04+04\"\r\n"
                      "Nie masz srodkow na koncie, aby wyslac wiadomosc.\r\n"
                      "+CMGL: 97,\"REC READ\",\"Play\",\"\",\"23/02/09,13:42:18+04\"\r\nsecond" + tail
            << QByteArray("96") << QByteArray("Play") << QByteArray("23/02/09,13:07:04+04")
            << QByteArray("Nie masz srodkow na koncie, aby wyslac wiadomosc.")
            << QByteArray("Nie masz srodkow na koncie, ab...");
        QTest::newRow("SIMCom SIM900, phone-book name skipped")
            << QByteArray("\r\n+CMGL: 1,\"REC READ\",\"+79000000012\",\"1\",\"15/09/23,00:34:17+24\"\r\nTest") + tail
            << QByteArray("1") << QByteArray("+79000000012") << QByteArray("15/09/23,00:34:17+24")
            << QByteArray("Test") << QByteArray("Test");
        QTest::newRow("SIMCom SIM900, headers without text")
            << QByteArray("\r\n+CMGL: 1,\"REC READ\",\"+79000000012\",\"1\",\"15/09/23,00:34:17+24\"\r\n"
                          "+CMGL: 2,\"REC READ\",\"+79000000012\",\"1\",\"15/09/23,01:34:03+24\"") + tail
            << QByteArray("1") << QByteArray("+79000000012") << QByteArray("15/09/23,00:34:17+24")
            << QByteArray() << QByteArray();
        QTest::newRow("control bytes dropped, Latin-1 kept")
            << echo + header3 + "\r\na\tb\x01" "c caf\xE9" + tail << QByteArray("3") << number << stamp3
            << QByteArray("abc caf\xE9") << QByteArray("abc caf\xE9");
        QTest::newRow("30 bytes shown whole")
            << echo + header3 + "\r\n" + QByteArray(30, 'x') + tail << QByteArray("3") << number << stamp3
            << QByteArray(30, 'x') << QByteArray(30, 'x');
        QTest::newRow("31 bytes shown as 30 and dots")
            << echo + header3 + "\r\n" + QByteArray(31, 'x') + tail << QByteArray("3") << number << stamp3
            << QByteArray(31, 'x') << QByteArray(30, 'x') + "...";
        QTest::newRow("unquoted sender still loses its ends")
            << QByteArray("\r\n+CMGL: 5,\"REC READ\",+447700900123,,\"17/11/19,14:05:09+00\"\r\nHi") + tail
            << QByteArray("5") << QByteArray("44770090012") << stamp3 << QByteArray("Hi") << QByteArray("Hi");
        QTest::newRow("extra header fields end up in the stamp")
            << QByteArray("\r\n+CMGL: 4,\"REC UNREAD\",\"+447700900123\",,\"17/11/19,14:05:09+00\",145,2\r\nHi") + tail
            << QByteArray("4") << number << QByteArray("17/11/19,14:05:09+00\",145,") << QByteArray("Hi")
            << QByteArray("Hi");
        QTest::newRow("unsolicited +CMTI after OK stays out")
            << echo + header3 + "\r\nHello there" + tail + "\r\n+CMTI: \"SM\",4\r\n" << QByteArray("3") << number
            << stamp3 << QByteArray("Hello there") << QByteArray("Hello there");
        QTest::newRow("unsolicited line in front of the list")
            << "\r\n+CMTI: \"SM\",3\r\n" + header3 + "\r\nHello" + tail << QByteArray("3") << number
            << stamp3 << QByteArray("Hello") << QByteArray("Hello");
        QTest::newRow("modem that echoes the LF too")
            << "AT+CMGL=\"ALL\"\r\n" + header3 + "\r\nHello" + tail << QByteArray("3") << number
            << stamp3 << QByteArray("Hello") << QByteArray("Hello");
        QTest::newRow("^RSSI between header and text")
            << echo + header3 + "\r\n\r\n^RSSI:18\r\nHello there" + tail << QByteArray("3") << number
            << stamp3 << QByteArray("Hello there") << QByteArray("Hello there");
        QTest::newRow("+CMTI between text and OK")
            << echo + header3 + "\r\nHello there\r\n\r\n+CMTI: \"SM\",1" + tail << QByteArray("3")
            << number << stamp3 << QByteArray("Hello there") << QByteArray("Hello there");
    }
    void textEntry()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, index);
        QFETCH(QByteArray, sender);
        QFETCH(QByteArray, stamp);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, shownText);
        const auto entry = DecodeCMGL(reply.toStdString(), MessageFormat::Text);
        QVERIFY(entry.has_value());
        QCOMPARE(bytes(entry->index), index);
        QCOMPARE(bytes(entry->sender), sender);
        QCOMPARE(bytes(entry->stamp), stamp);
        QCOMPARE(bytes(entry->text), text);
        QCOMPARE(bytes(entry->shownStamp), sender + "    " + stamp);
        QCOMPARE(bytes(entry->shownText), shownText);
        QVERIFY(entry->complete);
    }

    void replyCutShortIsFlagged()
    {
        // The reply window closed before the final OK: the text so far, marked incomplete.
        const auto entry = DecodeCMGL((echo + header3 + "\r\nLine one\r\nLine tw").toStdString(),
                                      MessageFormat::Text);
        QVERIFY(entry.has_value());
        QCOMPARE(bytes(entry->text), QByteArray("Line one\nLine tw"));
        QVERIFY(!entry->complete);

        const auto endsInLf = DecodeCMGL((echo + header3 + "\r\nLine one\r\n").toStdString(), MessageFormat::Text);
        QVERIFY(endsInLf.has_value());
        QCOMPARE(bytes(endsInLf->text), QByteArray("Line one"));
        QVERIFY(!endsInLf->complete);
    }

    void noEntry_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("empty store, echo on") << echo + "\r\nOK\r\n";
        QTest::newRow("empty store, echo off") << QByteArray("\r\nOK\r\n");
        QTest::newRow("ERROR") << QByteArray("\r\nERROR\r\n");
        QTest::newRow("+CMS ERROR") << echo + "\r\n+CMS ERROR: 321\r\n";
        QTest::newRow("nothing received") << QByteArray();
        QTest::newRow("previous reply left in place") << QByteArray("AT+CMGF=1\r\r\nOK\r\n");
        QTest::newRow("header without the blank") << QByteArray("\r\n+CMGL:3,\"REC UNREAD\",\"+4477\",,\"x\"\r\nHi") + tail;
        // Whatever stands in the index's place goes into a delete command: only 1 to 5 digits do.
        for (const char* index : {"", "9;+CMGD=0", "123456", "1a", " 1", "-1"})
            QTest::newRow(qPrintable(QStringLiteral("index \"%1\"").arg(QLatin1String(index))))
                << "\r\n+CMGL: " + QByteArray(index) + ",\"REC READ\",\"+4477\",,\"x\"\r\nHi" + tail;
    }
    void noEntry()
    {
        QFETCH(QByteArray, reply);
        QVERIFY(!DecodeCMGL(reply.toStdString(), MessageFormat::Text).has_value());
    }

    void pduEntry_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("index");
        QTest::addColumn<QByteArray>("shownStamp");
        QTest::addColumn<QByteArray>("pdu");

        const QByteArray vumi1 = "07911326040011F5240B911356000010F20000111081017362401654747A0E4ACF41F4329E0E6A97E7F3F0B90C8A01";
        const QByteArray vumi2 = "07911326040011F5240B911356000010F20000111081017323401654747A0E4ACF41F4329E0E6A97E7F3F0B90C9201";
        QTest::newRow("vumi test modem, two entries")
            << "AT+CMGL=4\r\r\n+CMGL: 1,0,,39\r\n" + vumi1 + "\r\n+CMGL: 2,0,,39\r\n" + vumi2 + tail
            << QByteArray("1") << QByteArray("    ") << vumi1;
        const QByteArray deviceGsm = "0791932350593900040C919355000000100000208082319082000DC170382C168BC3E1B0582C06";
        QTest::newRow("Device::Gsm phone log, echo off")
            << "\r\n+CMGL: 2,1,,31\r\n" + deviceGsm + tail << QByteArray("2") << QByteArray("    ") << deviceGsm;
        QTest::newRow("name printed in the third field")
            << "\r\n+CMGL: 7,1,\"Mum\",31\r\n" + deviceGsm + tail << QByteArray("7") << QByteArray("Mum    ")
            << deviceGsm;
    }
    void pduEntry()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, index);
        QFETCH(QByteArray, shownStamp);
        QFETCH(QByteArray, pdu);
        const auto entry = DecodeCMGL(reply.toStdString(), MessageFormat::Pdu);
        QVERIFY(entry.has_value());
        QCOMPARE(bytes(entry->index), index);
        QCOMPARE(bytes(entry->sender), QByteArray("PDU"));
        QCOMPARE(bytes(entry->stamp), QByteArray("PDU"));
        QCOMPARE(bytes(entry->text), pdu);
        QCOMPARE(bytes(entry->shownStamp), shownStamp);
        QCOMPARE(bytes(entry->shownText), pdu.left(30) + "...");
        QVERIFY(entry->complete);
    }
};

// Every entry of a list, and whether the list reached its end.
class InboxListTest : public QObject {
    Q_OBJECT
private slots:
    void entries_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QStringList>("texts"); // "index:text" per entry
        QTest::addColumn<bool>("whole");
        const QByteArray h1 = "+CMGL: 1,\"REC READ\",\"+15550001111\",,\"26/12/07,10:00:00+04\"\r\n";
        const QByteArray h2 = "+CMGL: 2,\"REC READ\",\"+15550002222\",,\"26/12/07,10:00:00+04\"\r\n";
        QTest::newRow("two entries") << "AT+CMGL\r\r\n" + h1 + "one\r\n" + h2 + "two\r\n\r\nOK\r\n"
                                     << QStringList{"1:one", "2:two"} << true;
        QTest::newRow("second with two lines and a ring between")
            << "\r\n" + h1 + "one\r\n\r\n^RSSI:12\r\n" + h2 + "two\r\nlines\r\n\r\nOK\r\n"
            << QStringList{"1:one", "2:two\nlines"} << true;
        QTest::newRow("cut after the first entry") << "\r\n" + h1 + "one\r\n" + h2.left(20)
                                                   << QStringList{"1:one", "2:"} << false;
        QTest::newRow("cut inside the second text") << "\r\n" + h1 + "one\r\n" + h2 + "tw"
                                                    << QStringList{"1:one", "2:tw"} << false;
        QTest::newRow("empty store") << QByteArray("\r\nOK\r\n") << QStringList{} << false;
        QTest::newRow("PDU entries") << QByteArray("\r\n+CMGL: 4,1,,3\r\n00AABB\r\n+CMGL: 9,0,,2\r\n00CC\r\n\r\nOK\r\n")
                                     << QStringList{"4:00AABB", "9:00CC"} << true;
    }
    void entries()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QStringList, texts);
        QFETCH(bool, whole);
        const InboxList list = DecodeCMGLList(reply.toStdString(), MessageFormat::Text);
        QStringList got;
        for (const InboxEntry& e : list.entries)
            got << QString::fromStdString(e.index + ":" + e.text);
        QCOMPARE(got, texts);
        if (!texts.isEmpty())
            QCOMPARE(list.whole, whole);
    }

    // A message read on its own: its text runs to the empty line before the reply's last
    // line, which must be "OK"; anything else says nothing.
    void read_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("pdu");
        QTest::addColumn<QByteArray>("text"); // "-" for no message
        const QByteArray h = "AT+CMGR=2\r\r\n+CMGR: \"REC READ\",\"+15550001111\",,\"26/12/07,10:00:00+04\"\r\n";
        QTest::newRow("plain") << h + "Hi\r\n\r\nOK\r\n" << false << QByteArray("Hi");
        QTest::newRow("lines that imitate a list and its end")
            << h + "a\r\n+CMGL: 1,\"REC READ\",\"+1\",,\"x\"\r\n\r\nOK\r\nb\r\n\r\nOK\r\n" << false
            << QByteArray("a\n+CMGL: 1,\"REC READ\",\"+1\",,\"x\"\n\nOK\nb");
        QTest::newRow("announcement after OK") << h + "Hi\r\n\r\nOK\r\n\r\n+CMTI: \"SM\",3\r\n" << false
                                               << QByteArray("Hi");
        QTest::newRow("cut short") << h + "Hi\r\n" << false << QByteArray("-");
        QTest::newRow("empty slot") << QByteArray("\r\n+CMS ERROR: 321\r\n") << false << QByteArray("-");
        QTest::newRow("no reply") << QByteArray() << false << QByteArray("-");
        QTest::newRow("PDU") << QByteArray("\r\n+CMGR: 1,,3\r\n00AABB\r\n\r\nOK\r\n") << true
                             << QByteArray("00AABB");
        QTest::newRow("PDU of two lines") << QByteArray("\r\n+CMGR: 1,,3\r\n00AA\r\nBB\r\n\r\nOK\r\n") << true
                                          << QByteArray("-");
    }
    void read()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, pdu);
        QFETCH(QByteArray, text);
        const auto message = DecodeCMGR(reply.toStdString(), pdu ? MessageFormat::Pdu : MessageFormat::Text);
        QCOMPARE(message ? QByteArray::fromStdString(message->text) : QByteArray("-"), text);
        if (message && !pdu)
            QCOMPARE(message->sender + "|" + message->time, std::string("+15550001111|26/12/07,10:00:00+04"));
    }

    // Unsolicited lines by their whole shape, not by what they begin with.
    void unsolicited_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("unsolicited");
        for (const char* line : {"RING", "+CMTI: \"SM\",3", "^RSSI:18", "^BOOT:11111111,0,0,0,75",
                                 "+CREG: 1,\"00C3\",\"1A2B\"", "+CRING: VOICE", "+CUSD: 0,\"Balance 5\",15"})
            QTest::newRow(line) << QByteArray(line) << true;
        for (const char* line : {"RINGTONE offer", "RING RING", "+CMTI: call us", "+CMTI:", "^RSSI: 18 dB",
                                 "+CMT: \"+1\",,\"x\"", "OK"})
            QTest::newRow(line) << QByteArray(line) << false;
    }
    void unsolicited()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, unsolicited);
        QCOMPARE(IsUnsolicited(line.toStdString()), unsolicited);
    }
};

int main(int argc, char** argv)
{
    InboxDecoderTest first;
    InboxListTest second;
    return QTest::qExec(&first, argc, argv) | QTest::qExec(&second, argc, argv);
}
#include "test_inbox_decoder.moc"
