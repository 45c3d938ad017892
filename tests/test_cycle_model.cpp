// The poll cycle against the model modem and web application: every seed of the cycle's
// fuzz target replayed (a broken rule fails with its trace), then the model's own parts
// where a mistake would hide faults: the modem's bytes and their timing, and the rule's
// bookkeeping.
#include <QDir>
#include <QtTest>

#include "fakes/FakeClock.h"
#include "model/CycleDriver.h"
#include "ForwardUrl.h"
#include "model/ModelModem.h"
#include "model/ModelWeb.h"

using namespace zorvel;
using namespace zorvel::model;

class CycleModelTest : public QObject {
    Q_OBJECT
private slots:
    void corpus_data();
    void corpus();
    void modemBytes_data();
    void modemBytes();
    void rule_data();
    void rule();
    void scriptMessages_data();
    void scriptMessages();
    void webReadsTheQuery_data();
    void webReadsTheQuery();
};

void CycleModelTest::corpus_data()
{
    QTest::addColumn<QString>("path");
    const QDir dir(ZORVEL_SOURCE_DIR "/fuzz/corpus/fuzz_cycle");
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    QVERIFY(!files.isEmpty());
    for (const QString& file : files)
        QTest::newRow(file.toUtf8().constData()) << dir.filePath(file);
}

void CycleModelTest::corpus()
{
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray script = file.readAll();
    const Outcome outcome = RunScript(std::string_view(script.constData(), script.size()));
    if (!outcome.ok)
        QFAIL(outcome.report.c_str());
}

// One exchange as the gateway runs it (open, discard, write, read until the window ends,
// close), then a second one with a plain AT: what each read.
void CycleModelTest::modemBytes_data()
{
    QTest::addColumn<QString>("styles");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    const QByteArray entry1 = "+CMGL: 1,\"REC UNREAD\",\"+1555\",,\"26/12/07,10:00:00+00\"\r\nOK\r\n\r\nRING\r\n";
    const QByteArray entry2 = "+CMGL: 2,\"REC UNREAD\",\"+1666\",,\"26/12/07,10:00:05+00\"\r\nb\r\n";
    const QByteArray ok = "\r\nOK\r\n";
    QTest::newRow("text list on time")
        << "." << QByteArray("AT+CMGL=\"ALL\"\r\n") << "\r\n" + entry1 + entry2 + ok << ok;
    QTest::newRow("+CMTI between the entries, ^RSSI after OK")
        << "M1R" << QByteArray("AT+CMGL=\"ALL\"\r\n")
        << "\r\n" + entry1 + "\r\n+CMTI: \"SM\",3\r\n" + entry2 + ok + "\r\n^RSSI:18\r\n" << ok;
    QTest::newRow("no unsolicited line between a text and its OK")
        << "R1" << QByteArray("AT+CMGR=2\r\n")
        << "\r\n+CMGR: \"REC UNREAD\",\"+1666\",,\"26/12/07,10:00:05+00\"\r\nb\r\n" + ok + "\r\n^RSSI:18\r\n" << ok;
    QTest::newRow("late: arrives after the next write, before its reply")
        << "L" << QByteArray("AT+CMGR=2\r\n") << QByteArray()
        << "\r\n+CMGR: \"REC UNREAD\",\"+1666\",,\"26/12/07,10:00:05+00\"\r\nb\r\n" + ok + ok;
    QTest::newRow("never") << "N" << QByteArray("AT+CSQ\r\n") << QByteArray() << ok;
    QTest::newRow("cut short: three bytes inside, the tail in the next window")
        << "C3" << QByteArray("AT+CMGD=2\r\n") << QByteArray("\r\nO") << "K\r\n" + ok;
    QTest::newRow("failed delete") << "F." << QByteArray("AT+CMGD=2\r\n")
                                   << QByteArray("\r\n+CMS ERROR: 500\r\n") << ok;
    QTest::newRow("empty slot") << "." << QByteArray("AT+CMGR=7\r\n")
                                << QByteArray("\r\n+CMS ERROR: 321\r\n") << ok;
    QTest::newRow("PDU format is refused a text-mode list")
        << "." << QByteArray("AT+CMGL=4\r\n") << QByteArray("\r\n+CMS ERROR: 305\r\n") << ok;
}

void CycleModelTest::modemBytes()
{
    QFETCH(QString, styles);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    testing::FakeClock clock;
    Trace trace(clock);
    ModelStore store(Mode::Text, trace, 15);
    store.add({"+1555", "26/12/07,10:00:00+00", "OK\r\n\r\nRING", {}, {}, {}, false, 0, false});
    store.add({"+1666", "26/12/07,10:00:05+00", "b", {}, {}, {}, false, 0, false});
    store.accepted({"+1666", "26/12/07,10:00:05+00", "b"});
    ModelModem modem(clock, store, trace);
    modem.plan({}, ParseReplyStyles(styles.toStdString()));
    const auto exchange = [&](const QByteArray& line) {
        modem.open(3, "9600,n,8,1");
        modem.discardInput();
        modem.write(line.toStdString());
        clock.advance(2000); // the window of a write on a whole second
        modem.close();
        return QByteArray::fromStdString(modem.readAll());
    };
    QCOMPARE(exchange(command), first);
    QCOMPARE(exchange("AT\r\n"), second);
    QVERIFY2(!trace.broken(), trace.report().c_str());
    QCOMPARE(store.messages().count(2), std::size_t(styles == "F." || !command.startsWith("AT+CMGD") ? 1 : 0));
}

// Steps on a store: "+text" stores a message (sender +1555, stamp S; in decoded mode a PDU
// of its own holding that text), "2text" is a 2xx for that sender, stamp and message,
// "-n" is the modem's delete of index n.
void CycleModelTest::rule_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("broken"); // what the report starts with; empty: nothing
    const int text = int(Mode::Text), decoded = int(Mode::Decoded);
    QTest::newRow("accepted, then deleted") << text << QStringList{"+a", "2a", "-1"} << "";
    QTest::newRow("deleted without a 2xx") << text << QStringList{"+a", "-1"} << "AT+CMGD removed index 1";
    QTest::newRow("a 2xx for a shortened text") << text << QStringList{"+a\r\nb", "2a", "-1"}
                                                << "AT+CMGD removed index 1";
    QTest::newRow("line breaks as LF, control bytes dropped")
        << text << QStringList{"+a\r\n\tb\x01", "2a\nb", "-1"} << "";
    QTest::newRow("the slot's new message is not the accepted one")
        << text << QStringList{"+a", "2a", "-1", "+b", "-1"} << "AT+CMGD removed index 1";
    QTest::newRow("a second 2xx while it stays stored") << text << QStringList{"+a", "2a", "2a"}
                                                        << "2xx number 2";
    QTest::newRow("stored again after its delete: a new message")
        << text << QStringList{"+a", "2a", "-1", "+a", "2a", "-1"} << "";
    QTest::newRow("a copy while the first stays counts as one")
        << text << QStringList{"+a", "2a", "+a", "-2", "-1"} << "";
    QTest::newRow("decoded: a part inside the joined text")
        << decoded << QStringList{"+Hello ", "+world", "2Hello world", "-1", "-2"} << "";
    QTest::newRow("decoded: a part the request missed")
        << decoded << QStringList{"+Hello ", "+world", "2Hello [...]", "-1", "-2"}
        << "AT+CMGD removed index 2";
    QTest::newRow("decoded: two PDUs that decode alike are two messages")
        << decoded << QStringList{"+a", "+a", "2a", "-1", "2a", "-2"} << "";
    QTest::newRow("decoded: one 2xx too many for two PDUs that decode alike")
        << decoded << QStringList{"+a", "+a", "2a", "2a", "2a"} << "2xx number 3";
}

void CycleModelTest::rule()
{
    QFETCH(int, mode);
    QFETCH(QStringList, steps);
    QFETCH(QString, broken);
    testing::FakeClock clock;
    Trace trace(clock);
    ModelStore store(Mode(mode), trace, 15);
    const std::string sender = "+1555", stamp = "26/12/07,10:00:00+00";
    for (int n = 0; n < steps.size(); ++n) {
        const QString& step = steps[n];
        const std::string arg = step.mid(1).toStdString();
        if (step.startsWith('+'))
            store.add({sender, stamp, arg, "PDU" + std::to_string(n) + arg, sender, arg, false, 0, false});
        else if (step.startsWith('2'))
            store.accepted({sender, mode == int(Mode::Text) ? stamp : "26/12/07,09:15:00+04", arg});
        else
            store.remove(step.mid(1).toInt());
    }
    const QString report = QString::fromStdString(trace.report());
    if (broken.isEmpty())
        QVERIFY2(report.isEmpty(), qPrintable(report));
    else
        QVERIFY2(report.startsWith("RULE BROKEN: " + broken), qPrintable(report));
}

// What a script line stores, as the modem will show it in text and in PDU format.
void CycleModelTest::scriptMessages_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("shown"); // oa|scts|text in text mode, hex|sender|text else
    QTest::newRow("escapes; stamp from the clock")
        << "text" << QByteArray("sms +1555||a\\r\\nb\\x01\\xe9|c")
        << QByteArray("+1555|26/12/07,22:13:20+00|a\r\nb\x01\xe9|c");
    QTest::newRow("sender and stamp keep what fits in quotes")
        << "text" << QByteArray("sms \"+1,5\"|26/12/07,10:00:00+00\"x|t")
        << QByteArray("+15|26/12/07,10:00:00+00|t");
    QTest::newRow("a text message in PDU mode is UCS2")
        << "pdu" << QByteArray("sms +1555||Hi")
        << QByteArray("0004049151550008622170905100400400480069|+1555|Hi");
    QTest::newRow("a part carries its concatenation header")
        << "decoded" << QByteArray("part 1555|7|2|1|\\u0416")
        << QByteArray("004404915155000862217090510040080500030702010416|+1555|\xD0\x96");
    QTest::newRow("a PDU written out is decoded like the gateway reads it")
        << "decoded" << QByteArray("pdu 07919730071111F1040B919730123456F80000622170905100400AE8329BFD4697D9EC37")
        << QByteArray("07919730071111F1040B919730123456F80000622170905100400AE8329BFD4697D9EC37|+79032143658|hellohello");
}

void CycleModelTest::scriptMessages()
{
    QFETCH(QString, mode);
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, shown);
    const Scenario scenario = ParseScenario(("mode " + mode.toUtf8() + "\n" + line).toStdString());
    QCOMPARE(scenario.steps.size(), std::size_t(1));
    const StoredMessage m = MessageFor(scenario.steps[0], scenario.mode, "26/12/07,22:13:20+00");
    const std::string got = scenario.mode == Mode::Text ? m.oa + "|" + m.scts + "|" + m.text
                                                        : m.hex + "|" + m.decodedSender + "|" + m.decodedText;
    QCOMPARE(QByteArray::fromStdString(got), shown);
}

// The model web application must read exactly what the gateway sends, and nothing else:
// a request it misreads would hide a fault or invent one.
void CycleModelTest::webReadsTheQuery_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QStringList>("values"); // empty: not readable
    const std::string hostile = "a&b=c#d+e%f \xE9\n";
    QTest::newRow("as the gateway encodes it")
        << QString::fromStdString(BuildForwardUrl("http://w/s", "k&y", "+1555", "26/12/07,10:00:00+00", "x"))
        << QStringList{"k&y", "+1555", "26/12/07,10:00:00+00", "x"};
    QTest::newRow("hostile bytes come back whole")
        << QString::fromLatin1(BuildForwardUrl("http://w/s", "k", hostile, hostile, hostile).c_str())
        << QStringList{"k", QString::fromLatin1(hostile.c_str()), QString::fromLatin1(hostile.c_str()),
                       QString::fromLatin1(hostile.c_str())};
    QTest::newRow("a plus is a blank") << "http://w/s?key=k&sender=a+b&time=t&message=m"
                                       << QStringList{"k", "a b", "t", "m"};
    QTest::newRow("a bare & splits a value") << "http://w/s?key=k&sender=a&b&time=t&message=m" << QStringList{};
    QTest::newRow("a field missing") << "http://w/s?key=k&sender=s&message=m" << QStringList{};
    QTest::newRow("a broken escape") << "http://w/s?key=k&sender=%4&time=t&message=m" << QStringList{};
    QTest::newRow("another address") << "http://w/t?key=k&sender=s&time=t&message=m" << QStringList{};
}

void CycleModelTest::webReadsTheQuery()
{
    QFETCH(QString, url);
    QFETCH(QStringList, values);
    const auto got = DecodeQuery(url.toLatin1().toStdString(), "http://w/s");
    QStringList read;
    if (got)
        for (const std::string& v : *got)
            read << QString::fromLatin1(v.c_str(), qsizetype(v.size()));
    QCOMPARE(read, values);
}

QTEST_GUILESS_MAIN(CycleModelTest)
#include "test_cycle_model.moc"
