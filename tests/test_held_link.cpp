// The held link against a scripted port and a clock that only moves on demand: where an
// exchange ends, what counts as an announcement, and how a lost port or a silent modem
// heals.
#include <QtTest>

#include "HeldLink.h"
#include "StatusPresenter.h"
#include "fakes/FakeClock.h"
#include "fakes/FakePort.h"

using namespace zorvel;
using zorvel::testing::FakeClock;
using zorvel::testing::FakePort;

Q_DECLARE_METATYPE(zorvel::CommandKind)

namespace {

struct Rig {
    explicit Rig(std::int64_t lingerMs = 0)
    {
        times.textMode = lingerMs > 0;
        times.textLingerMs = lingerMs;
        exchange = std::make_unique<HeldLink>(port, clock, PortSettings{3, "9600,n,8,1"}, times);
        presenter.showLink(*exchange, clock);
        exchange->onAnnounced = [this] { ++announced; };
        exchange->onLinkLost = [this](const std::string& why) { lost.push_back(why); };
        exchange->onLinkBack = [this] { ++back; };
    }
    FakeClock clock;
    FakePort port;
    StatusFields fields;
    StatusPresenter presenter{fields};
    HeldLinkTimes times;
    std::unique_ptr<HeldLink> exchange;
    int doneCalls = 0;
    std::int64_t doneAt = -1;
    int announced = 0;
    int back = 0;
    std::vector<std::string> lost;

    void send(CommandKind kind, const std::string& command)
    {
        const std::int64_t start = clock.nowMs();
        QVERIFY(exchange->SendCommand({kind, command}, [this, start] {
            ++doneCalls;
            doneAt = clock.nowMs() - start;
        }));
    }
    std::string ready() const { return fields.text(Field::txtReady); }
};

} // namespace

class HeldLinkTest : public QObject {
    Q_OBJECT
private slots:
    void endsAtTheFinalResultOrItsCeiling_data();
    void endsAtTheFinalResultOrItsCeiling();
    void aTextLineOkDoesNotEndAListInTextMode();
    void aPauseAfterATextsOkDoesNotEndItsReply_data();
    void aPauseAfterATextsOkDoesNotEndItsReply();
    void aModemThatPausedIsWaitedForLongerNextTime();
    void announcementsCountOnlyOutsideMessageText_data();
    void announcementsCountOnlyOutsideMessageText();
    void aLostPortIsReopenedEveryFiveSeconds();
    void aSilentModemIsReopenedAfterThreeCommands();
    void aLateReplyIsNotTakenForTheNextCommands();
    void aPortMissingAtStartIsReportedAsBefore();
};

void HeldLinkTest::endsAtTheFinalResultOrItsCeiling_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<CommandKind>("kind");
    QTest::addColumn<QStringList>("pieces"); // arriving 10 ms apart
    QTest::addColumn<int>("endsAfterMs");
    QTest::addColumn<bool>("settled");
    const QString csq = "AT+CSQ\r\n";
    QTest::newRow("OK") << csq << CommandKind::Query << QStringList{"AT+CSQ\r\r\n+CSQ: 18,99\r\n", "\r\nOK\r\n"} << 10 << true;
    QTest::newRow("ERROR") << csq << CommandKind::Query << QStringList{"\r\nERROR\r\n"} << 0 << true;
    QTest::newRow("CMS ERROR") << "AT+CMGD=3\r\n" << CommandKind::Delete << QStringList{"\r\n+CMS ERROR: 321\r\n"} << 0 << true;
    QTest::newRow("CME ERROR in words") << csq << CommandKind::Query << QStringList{"\r\n+CME ERROR: SIM busy\r\n"} << 0 << true;
    QTest::newRow("OK then an announcement") << csq << CommandKind::Query
        << QStringList{"\r\nOK\r\n\r\n+CMTI: \"SM\",1\r\n"} << 0 << true;
    QTest::newRow("OK split before its line end") << csq << CommandKind::Query << QStringList{"\r\nOK", "\r\n"} << 10 << true;
    // A flood of announcements after the result hides nothing and stretches nothing.
    QTest::newRow("OK then 5000 announcements") << "AT+CMGL=4\r\n" << CommandKind::List
        << QStringList{"\r\nOK\r\n" + QString("\r\n+CMTI: \"SM\",1\r\n").repeated(5000)} << 0 << true;
    QTest::newRow("prompt") << "AT+CMGS=\"+15550001\"\r\n" << CommandKind::Recipient << QStringList{"\r\n> "} << 0 << true;
    QTest::newRow("a prompt ends only a recipient") << csq << CommandKind::Query << QStringList{"\r\n> "} << 2000 << true;
    QTest::newRow("OK inside a line is not final") << csq << CommandKind::Query << QStringList{"\r\n+CSQ: OK\r\n"} << 2000 << true;
    QTest::newRow("query silent: its ceiling") << csq << CommandKind::Query << QStringList{} << 2000 << true;
    QTest::newRow("list silent: its ceiling") << "AT+CMGL=4\r\n" << CommandKind::List << QStringList{} << 10000 << true;
    QTest::newRow("text silent: its ceiling") << "Hello\x1a" << CommandKind::MessageText << QStringList{} << 60000 << true;
    // The operator may type anything: a text that reads like a command is still a text.
    QTest::newRow("text like a list: a text's ceiling") << "AT+CMGL=4\r\n\x1a" << CommandKind::MessageText
        << QStringList{} << 60000 << true;
    QTest::newRow("text like a recipient: no prompt ends it") << "AT+CMGS=\"1\"\x1a" << CommandKind::MessageText
        << QStringList{"\r\n> "} << 60000 << true;
    // A modem that streams without end is cut off, and what it sent decides nothing.
    QTest::newRow("a reply beyond 1 MiB") << "AT+CMGL=4\r\n" << CommandKind::List
        << QStringList{QString(600'000, 'x'), QString(600'000, 'y') + "\r\n"} << 10 << false;
}

void HeldLinkTest::endsAtTheFinalResultOrItsCeiling()
{
    QFETCH(QString, command);
    QFETCH(CommandKind, kind);
    QFETCH(QStringList, pieces);
    QFETCH(int, endsAfterMs);
    QFETCH(bool, settled);
    Rig rig;
    QVERIFY(rig.exchange->start());
    rig.send(kind, command.toStdString());
    QCOMPARE(rig.ready(), std::string("BUSY"));
    std::string all;
    for (const QString& piece : pieces) {
        rig.port.arrive(piece.toStdString());
        all += piece.toStdString();
        if (rig.doneCalls == 0)
            rig.clock.advance(10);
    }
    rig.clock.advance(120'000);
    QCOMPARE(rig.doneCalls, 1);
    QCOMPARE(rig.doneAt, std::int64_t(endsAfterMs));
    QCOMPARE(rig.exchange->replySettled(), settled);
    QCOMPARE(rig.exchange->reply(), all);
    QCOMPARE(rig.ready(), std::string("READY"));
    // The port stays open: no close, one open.
    QCOMPARE(std::count(rig.port.log.begin(), rig.port.log.end(), std::string("close")), 0);
}

void HeldLinkTest::aTextLineOkDoesNotEndAListInTextMode()
{
    Rig rig(200);
    QVERIFY(rig.exchange->start());
    rig.send(CommandKind::List, "AT+CMGL=\"ALL\"\r\n");
    const std::string first = "\r\n+CMGL: 1,\"REC UNREAD\",\"+1555\",,\"26/12/08,10:00:00+04\"\r\nHi\r\n\r\nOK\r\n";
    rig.port.arrive(first);
    rig.clock.advance(50);
    QCOMPARE(rig.doneCalls, 0); // lingering: the modem writes a reply in one go
    const std::string rest = "\r\n+CMGL: 2,\"REC UNREAD\",\"+1556\",,\"26/12/08,10:00:01+04\"\r\nx\r\n\r\nOK\r\n";
    rig.port.arrive(rest);
    // The modem's own lines after the result do not stretch the wait.
    const std::string junk = "\r\n^RSSI:18\r\n";
    rig.clock.advance(120);
    rig.port.arrive(junk);
    rig.clock.advance(79);
    rig.port.arrive(junk);
    QCOMPARE(rig.doneCalls, 0);
    rig.clock.advance(1);
    // No lengths in the headers: a plain "AT" confirms that nothing more was coming.
    QCOMPARE(rig.port.written.back(), std::string("AT\r\n"));
    QCOMPARE(rig.doneCalls, 0);
    rig.port.arrive("AT\r\r\nOK\r\n");
    QCOMPARE(rig.doneCalls, 1);
    QCOMPARE(rig.exchange->reply(), first + rest + junk + junk);
    QVERIFY(rig.exchange->replySettled());
}

// Text mode: a message's text may hold an "OK" line, and a modem may pause right after
// it. The lengths in the headers say where each text ends; without them, the answer to a
// plain "AT" comes only after the whole reply. Steps: bytes arriving, "+N" the clock
// moving on N ms, "AT" the modem answering the "AT" the exchange sent.
void HeldLinkTest::aPauseAfterATextsOkDoesNotEndItsReply_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<CommandKind>("kind");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("endsAfterMs");
    QTest::addColumn<bool>("settled");
    QTest::addColumn<QString>("reply"); // as handed on, without the text parameters
    const QString read = "AT+CMGR=1\r\n";
    const QString text = "Code 1234 is for login.\r\n\r\nOK\r\nIf it was not you, call 555-0100 now";
    const QString head = "\r\n+CMGR: \"REC READ\",\"+1555\",,\"26/12/08,10:00:00+04\"";
    const QString lengths = QString(",145,4,0,0,\"+1555000\",145,%1").arg(text.size());
    const QString cut = "Code 1234 is for login.\r\n\r\nOK\r\n";
    const QString rest = "If it was not you, call 555-0100 now\r\n\r\nOK\r\n";
    const QString whole = head + "\r\n" + text + "\r\n\r\nOK\r\n";
    QTest::newRow("lengths: the pause is waited out") << read << CommandKind::Read
        << QStringList{head + lengths + "\r\n" + cut, "+450", rest} << 450 << true << whole;
    QTest::newRow("lengths: a whole reply ends at once") << read << CommandKind::Read
        << QStringList{head + lengths + "\r\n" + cut + rest} << 0 << true << whole;
    QTest::newRow("lengths: a list of two") << "AT+CMGL=\"ALL\"\r\n" << CommandKind::List
        << QStringList{"\r\n+CMGL: 1,\"REC READ\",\"+1555\",,\"26/12/08,10:00:00+04\",145,2\r\nOK\r\n"
                       "+CMGL: 2,\"REC READ\",\"+1556\",,\"26/12/08,10:00:01+04\",145,2\r\nHi\r\n",
                       "+300", "\r\nOK\r\n"}
        << 300 << true
        << "\r\n+CMGL: 1,\"REC READ\",\"+1555\",,\"26/12/08,10:00:00+04\"\r\nOK\r\n"
           "+CMGL: 2,\"REC READ\",\"+1556\",,\"26/12/08,10:00:01+04\"\r\nHi\r\n\r\nOK\r\n";
    QTest::newRow("lengths: hex text counted in octets") << read << CommandKind::Read
        << QStringList{head + ",145,4,0,8,\"+1555000\",145,4\r\n004F004B\r\n\r\nOK\r\n"} << 0 << true
        << head + "\r\n004F004B\r\n\r\nOK\r\n";
    // A modem whose lengths are too long: at the ceiling the "AT" tells.
    QTest::newRow("lengths too long: confirmed at the ceiling") << read << CommandKind::Read
        << QStringList{head + ",145,4,0,0,\"+1555000\",145,90\r\nHi\r\n\r\nOK\r\n", "+2000", "AT"}
        << 2000 << true << head + "\r\nHi\r\n\r\nOK\r\n";
    QTest::newRow("no lengths: the rest comes before the AT's answer") << read << CommandKind::Read
        << QStringList{head + "\r\n" + cut, "+200", rest, "AT"} << 200 << false << head + "\r\n" + cut;
    QTest::newRow("no lengths, the rest within the wait") << read << CommandKind::Read
        << QStringList{head + "\r\n" + cut, "+100", rest, "+200", "AT"} << 300 << true << whole;
    QTest::newRow("no lengths: the AT's answer unheard") << read << CommandKind::Read
        << QStringList{head + "\r\nHi\r\n\r\nOK\r\n", "+2200"} << 2200 << false
        << head + "\r\nHi\r\n\r\nOK\r\n";
}

void HeldLinkTest::aPauseAfterATextsOkDoesNotEndItsReply()
{
    QFETCH(QString, command);
    QFETCH(CommandKind, kind);
    QFETCH(QStringList, steps);
    QFETCH(int, endsAfterMs);
    QFETCH(bool, settled);
    QFETCH(QString, reply);
    Rig rig(200);
    QVERIFY(rig.exchange->start());
    rig.send(kind, command.toStdString());
    for (const QString& step : steps) {
        if (step.startsWith('+'))
            rig.clock.advance(step.mid(1).toInt());
        else if (step == "AT")
            rig.port.arrive("AT\r\r\nOK\r\n");
        else
            rig.port.arrive(step.toStdString());
    }
    QCOMPARE(rig.doneCalls, 1);
    QCOMPARE(rig.doneAt, std::int64_t(endsAfterMs));
    QCOMPARE(rig.exchange->replySettled(), settled);
    QCOMPARE(QString::fromStdString(rig.exchange->reply()), reply);
}

// Without lengths, a modem that pauses inside a text would do so at every read of it:
// each reply that went on doubles the wait, so the message is read whole in the end.
void HeldLinkTest::aModemThatPausedIsWaitedForLongerNextTime()
{
    Rig rig(200);
    QVERIFY(rig.exchange->start());
    const std::string head = "\r\n+CMGR: \"REC READ\",\"+1555\",,\"26/12/08,10:00:00+04\"\r\nabove\r\n\r\nOK\r\n";
    const std::string rest = "below\r\n\r\nOK\r\n";
    for (const bool whole : {false, true}) {
        rig.send(CommandKind::Read, "AT+CMGR=1\r\n");
        if (rig.port.written.back() == "AT\r\n") // in step again after the reply that went on
            rig.port.arrive("\r\nOK\r\n"), rig.clock.advance(200);
        rig.port.arrive(head);
        rig.clock.advance(300);
        rig.port.arrive(rest);
        rig.clock.advance(500);
        rig.port.arrive("\r\nOK\r\n"); // the answer to the "AT" after the reply
        QCOMPARE(rig.exchange->replySettled(), whole);
        QCOMPARE(rig.exchange->reply(), whole ? head + rest : head);
    }
    QCOMPARE(rig.doneCalls, 2);
}

void HeldLinkTest::announcementsCountOnlyOutsideMessageText_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<CommandKind>("kind");
    QTest::addColumn<QString>("during");
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("announced");
    QTest::newRow("between exchanges") << "AT+CSQ\r\n" << CommandKind::Query << "\r\nOK\r\n" << "\r\n+CMTI: \"SM\",4\r\n" << 1;
    QTest::newRow("its line ends later") << "AT+CSQ\r\n" << CommandKind::Query << "\r\nOK\r\n" << "\r\n+CMTI: \"SM\",4" << 1;
    QTest::newRow("inside a status reply") << "AT+CSQ\r\n" << CommandKind::Query << "\r\n+CMTI: \"ME\",2\r\n\r\nOK\r\n" << "" << 1;
    QTest::newRow("inside a list: may be a text") << "AT+CMGL=4\r\n" << CommandKind::List
        << "\r\n+CMGL: 1,0,,5\r\n+CMTI: \"SM\",1\r\n\r\nOK\r\n" << "" << 0;
    QTest::newRow("inside a read: may be a text") << "AT+CMGR=1\r\n" << CommandKind::Read
        << "\r\n+CMGR: \"REC READ\",\"+1\",,\"x\"\r\n+CMTI: \"SM\",1\r\n\r\nOK\r\n" << "" << 0;
    QTest::newRow("words are text") << "AT+CSQ\r\n" << CommandKind::Query << "\r\nOK\r\n" << "\r\n+CMTI: call me\r\n" << 0;
    QTest::newRow("other lines") << "AT+CSQ\r\n" << CommandKind::Query << "\r\nOK\r\n" << "\r\nRING\r\n^RSSI:18\r\n" << 0;
}

void HeldLinkTest::announcementsCountOnlyOutsideMessageText()
{
    QFETCH(QString, command);
    QFETCH(CommandKind, kind);
    QFETCH(QString, during);
    QFETCH(QString, after);
    QFETCH(int, announced);
    Rig rig;
    QVERIFY(rig.exchange->start());
    rig.send(kind, command.toStdString());
    rig.port.arrive(during.toStdString());
    rig.port.arrive(after.toStdString());
    rig.clock.advance(20'000);
    QCOMPARE(rig.doneCalls, 1);
    // The next command reads what waits before it discards it.
    rig.port.waiting += "\r\n+CMTI: \"SM\",9\r\n";
    rig.send(CommandKind::Query, "AT\r\n");
    QCOMPARE(rig.announced, announced + 1);
}

void HeldLinkTest::aLostPortIsReopenedEveryFiveSeconds()
{
    Rig rig;
    QVERIFY(rig.exchange->start());
    rig.send(CommandKind::List, "AT+CMGL=4\r\n");
    rig.port.arrive("\r\n+CMGL: 1,0,,5\r\n");
    rig.port.openSucceeds = false;
    rig.port.fail("device vanished");
    rig.clock.advance(0);
    QCOMPARE(rig.doneCalls, 1); // ends with what it heard, not settled
    QVERIFY(!rig.exchange->replySettled());
    QCOMPARE(rig.lost, std::vector<std::string>{"device vanished"});
    QCOMPARE(rig.ready(), std::string("DOWN"));
    // A command while the port is away hears nothing at once.
    rig.send(CommandKind::Delete, "AT+CMGD=1\r\n");
    rig.clock.advance(0);
    QCOMPARE(rig.doneCalls, 2);
    QCOMPARE(rig.exchange->reply(), std::string());
    QCOMPARE(rig.ready(), std::string("DOWN"));
    const auto opens = [&] {
        return std::count_if(rig.port.log.begin(), rig.port.log.end(),
                             [](const std::string& l) { return l.starts_with("open"); });
    };
    rig.clock.advance(14'999);
    QCOMPARE(opens(), 1 + 2); // the start, then at 5 s and 10 s
    QCOMPARE(rig.back, 0);
    rig.port.openSucceeds = true;
    rig.clock.advance(1);
    QCOMPARE(opens(), 1 + 3);
    QCOMPARE(rig.back, 1);
    QCOMPARE(rig.ready(), std::string("READY"));
    QCOMPARE(rig.clock.armedTimers(), 0); // nothing polls while all is well
}

void HeldLinkTest::aSilentModemIsReopenedAfterThreeCommands()
{
    Rig rig;
    QVERIFY(rig.exchange->start());
    // After a silent command a plain "AT" goes first; the answered command has it answered.
    for (const char* reply : {"", "", "\r\nOK\r\n", "", "", ""}) {
        rig.send(CommandKind::Query, "AT+CSQ\r\n");
        rig.port.arrive(reply);
        rig.clock.advance(300);
        rig.port.arrive(reply);
        rig.clock.advance(2'000);
    }
    QCOMPARE(rig.doneCalls, 6);
    // An answer in between starts the count again: only the last three in a row count.
    QCOMPARE(rig.lost.size(), std::size_t(1));
    QVERIFY(rig.lost[0].find("nothing to 3 commands") != std::string::npos);
    QCOMPARE(rig.back, 1); // reopened at once
    QCOMPARE(std::count(rig.port.log.begin(), rig.port.log.end(), std::string("close")), 1);
    QCOMPARE(rig.ready(), std::string("READY"));
}

// The modem answers a command only after its ceiling: that late reply, arriving with the
// next command, must not pass for the next command's (a read of another slot, an empty list).
void HeldLinkTest::aLateReplyIsNotTakenForTheNextCommands()
{
    Rig rig;
    QVERIFY(rig.exchange->start());
    rig.send(CommandKind::Read, "AT+CMGR=1\r\n");
    rig.clock.advance(2'000);
    QCOMPARE(rig.doneCalls, 1);
    rig.send(CommandKind::Read, "AT+CMGR=2\r\n");
    QCOMPARE(rig.port.written.back(), std::string("AT\r\n"));
    rig.port.arrive("\r\n+CMGR: 1,,22\r\n0791\r\n\r\nOK\r\n"); // the late reply
    rig.clock.advance(30);
    rig.port.arrive("\r\nOK\r\n"); // the "AT"'s
    rig.clock.advance(199);
    QCOMPARE(rig.port.written.back(), std::string("AT\r\n"));
    rig.clock.advance(1);
    QCOMPARE(rig.port.written.back(), std::string("AT+CMGR=2\r\n"));
    rig.port.arrive("\r\n+CMGR: 0,,25\r\n0792\r\n\r\nOK\r\n");
    QCOMPARE(rig.doneCalls, 2);
    QCOMPARE(rig.exchange->reply(), std::string("\r\n+CMGR: 0,,25\r\n0792\r\n\r\nOK\r\n"));
    // Back in step: the next command goes out at once.
    rig.send(CommandKind::Query, "AT+CSQ\r\n");
    QCOMPARE(rig.port.written.back(), std::string("AT+CSQ\r\n"));
    rig.port.arrive("\r\nOK\r\n");
    // A prompt that did not come in time: the text follows at once, as a modem whose
    // prompt was late would take an "AT" for part of the message.
    rig.send(CommandKind::Recipient, "AT+CMGS=\"+15550001111\"\r");
    rig.clock.advance(2'000);
    rig.send(CommandKind::MessageText, "hello\x1a");
    QCOMPARE(rig.port.written.back(), std::string("hello\x1a"));
}

void HeldLinkTest::aPortMissingAtStartIsReportedAsBefore()
{
    Rig rig;
    rig.port.openSucceeds = false;
    std::string told;
    rig.exchange->onPortUnavailable = [&](const std::string& text) { told = text; };
    QVERIFY(!rig.exchange->start());
    QCOMPARE(told, std::string("COM3: not available. Please check or change the port."));
    QCOMPARE(rig.ready(), std::string("BUSY"));
    QCOMPARE(rig.clock.armedTimers(), 0);
}

QTEST_GUILESS_MAIN(HeldLinkTest)
#include "test_held_link.moc"
