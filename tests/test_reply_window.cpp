// The command exchange against a scripted port and a clock that only moves on demand.
#include <QtTest>

#include "ReplyWindow.h"
#include "StatusPresenter.h"
#include "fakes/FakeClock.h"
#include "fakes/FakePort.h"

using namespace zorvel;
using zorvel::testing::FakeClock;
using zorvel::testing::FakePort;

namespace {

struct Rig {
    explicit Rig(std::int64_t startMs = 1'700'000'000'000) : clock(startMs) { presenter.showLink(exchange, clock); }
    FakeClock clock;
    FakePort port;
    StatusFields fields;
    StatusPresenter presenter{fields};
    ReplyWindow exchange{port, clock, PortSettings{3, "9600,n,8,1"}};
    int doneCalls = 0;
    std::int64_t doneAt = -1;

    void send(const std::string& command, CommandKind kind = CommandKind::Query)
    {
        QVERIFY(exchange.SendCommand({kind, command}, [this] {
            ++doneCalls;
            doneAt = clock.nowMs();
        }));
    }
};

} // namespace

class ReplyWindowTest : public QObject {
    Q_OBJECT
private slots:
    void replyWindowFollowsTheWholeSecondRule_data();
    void replyWindowFollowsTheWholeSecondRule();
    void piecesAreAppendedInArrivalOrder();
    void silenceKeepsThePreviousReply();
    void inputWaitingBeforeTheWriteIsDiscarded();
    void bytesAfterTheWindowAreNotPartOfTheReply();
    void busyAndReadyFrameTheExchange();
    void lastCheckStaysCurrentDuringTheWait();
    void openFailureReportsThePortAndStops_data();
    void openFailureReportsThePortAndStops();
    void secondCommandDuringAWaitIsRefused();
    void closingTheWindowEndsTheWaitAtOnce();
    void clockSetBackDoesNotStretchTheWindow();
    void anOutboxPduWaitsForItsAnswer();
    void logHooksSeeEachCommandAndEachWholeReply();
};

void ReplyWindowTest::replyWindowFollowsTheWholeSecondRule_data()
{
    QTest::addColumn<int>("msIntoSecond");
    QTest::addColumn<int>("expectedWindowMs");
    // The window ends at the start of the second after next: just over one second for a
    // write late in a second, two seconds for a write right on a boundary.
    QTest::newRow("on the boundary") << 0 << 2000;
    QTest::newRow("early") << 1 << 1999;
    QTest::newRow("middle") << 500 << 1500;
    QTest::newRow("late") << 999 << 1001;
}

void ReplyWindowTest::replyWindowFollowsTheWholeSecondRule()
{
    QFETCH(int, msIntoSecond);
    QFETCH(int, expectedWindowMs);
    Rig rig(1'700'000'000'000 + msIntoSecond);
    rig.port.arrive(""); // nothing waiting
    rig.send("AT\r\n");
    const std::int64_t writtenAt = rig.clock.nowMs();
    rig.port.arrive("AT\r\r\nOK\r\n"); // an instant answer does not end the window early
    rig.clock.advance(expectedWindowMs - 1);
    QCOMPARE(rig.doneCalls, 0);
    QCOMPARE(rig.fields.text(Field::txtReady), std::string("BUSY"));
    rig.clock.advance(1);
    QCOMPARE(rig.doneCalls, 1);
    QCOMPARE(rig.doneAt - writtenAt, std::int64_t(expectedWindowMs));
    QVERIFY(rig.doneAt - writtenAt > 1000 && rig.doneAt - writtenAt <= 2000);
    QCOMPARE(rig.port.log.back(), std::string("close"));
    rig.clock.advance(10'000);
    QCOMPARE(rig.doneCalls, 1);
    QCOMPARE(rig.clock.armedTimers(), 0);
}

void ReplyWindowTest::piecesAreAppendedInArrivalOrder()
{
    Rig rig;
    std::vector<std::string> shown;
    rig.fields.onChanged = [&](Field f) {
        if (f == Field::txtStatus)
            shown.push_back(rig.fields.text(Field::txtStatus));
    };
    rig.send("AT+CSQ\r\n");
    rig.port.arrive("AT+CSQ\r");
    rig.clock.advance(100);
    rig.port.arrive("\r\n+CSQ: 18,99\r\n");
    rig.clock.advance(700);
    rig.port.arrive("\r\nOK\r\n");
    rig.clock.advance(2000);
    const std::vector<std::string> expected{
        "AT+CSQ\r", "AT+CSQ\r\r\n+CSQ: 18,99\r\n", "AT+CSQ\r\r\n+CSQ: 18,99\r\n\r\nOK\r\n"};
    QCOMPARE(shown, expected);
    QCOMPARE(rig.exchange.reply(), expected.back());
}

void ReplyWindowTest::silenceKeepsThePreviousReply()
{
    Rig rig;
    rig.send("AT+CNUM\r\n");
    rig.port.arrive("+CNUM: \"\",\"+15550001234\",145\r\n");
    rig.clock.advance(2000);
    rig.send("AT+CSQ\r\n");
    rig.clock.advance(2000);
    QCOMPARE(rig.doneCalls, 2);
    QCOMPARE(rig.fields.text(Field::txtStatus), std::string("+CNUM: \"\",\"+15550001234\",145\r\n"));
    QCOMPARE(rig.exchange.reply(), std::string());
}

void ReplyWindowTest::inputWaitingBeforeTheWriteIsDiscarded()
{
    Rig rig;
    rig.port.arrive("\r\n+CMTI: \"SM\",3\r\nJUNK");
    rig.send("AT\r\n");
    rig.port.arrive("OK\r\n");
    rig.clock.advance(2000);
    QCOMPARE(rig.fields.text(Field::txtStatus), std::string("OK\r\n"));
    const std::vector<std::string> expected{"open 3 9600,n,8,1", "discard", "write AT\r\n", "close"};
    QCOMPARE(rig.port.log, expected);
}

void ReplyWindowTest::bytesAfterTheWindowAreNotPartOfTheReply()
{
    Rig rig;
    rig.send("AT\r\n");
    rig.port.arrive("OK\r\n");
    rig.clock.advance(2000);
    rig.port.arrive("late");
    QCOMPARE(rig.fields.text(Field::txtStatus), std::string("OK\r\n"));
    QCOMPARE(rig.exchange.reply(), std::string("OK\r\n"));
}

void ReplyWindowTest::busyAndReadyFrameTheExchange()
{
    Rig rig;
    std::vector<std::string> events;
    rig.fields.onChanged = [&](Field f) {
        if (f == Field::txtReady)
            events.push_back(rig.fields.text(f)
                             + (rig.fields.colour(f) == colours::red ? " red" : " white"));
    };
    rig.send("AT\r\n");
    QCOMPARE(rig.fields.text(Field::txtReady), std::string("BUSY"));
    QCOMPARE(rig.fields.colour(Field::txtReady), colours::red);
    QVERIFY(rig.port.isOpen);
    rig.clock.advance(2000);
    QCOMPARE(rig.fields.text(Field::txtReady), std::string("READY"));
    QCOMPARE(rig.fields.colour(Field::txtReady), colours::white);
    QCOMPARE(rig.fields.colour(Field::txtLastCheck), colours::white);
    QVERIFY(!rig.port.isOpen);
    const std::vector<std::string> expected{"BUSY white", "BUSY red", "READY red", "READY white"};
    QCOMPARE(events, expected);
}

void ReplyWindowTest::lastCheckStaysCurrentDuringTheWait()
{
    Rig rig(1'700'000'000'400);
    rig.clock.setStartReference();
    std::vector<std::string> stamps;
    rig.fields.onChanged = [&](Field f) {
        if (f == Field::txtLastCheck)
            stamps.push_back(rig.fields.text(f));
    };
    rig.send("AT\r\n");
    rig.clock.advance(2000);
    // At the write, at the next whole second, and at the end of the window.
    const std::vector<std::string> expected{"T+0", "T+600", "T+1600"};
    QCOMPARE(stamps, expected);
}

void ReplyWindowTest::openFailureReportsThePortAndStops_data()
{
    QTest::addColumn<int>("portNumber");
    QTest::addColumn<QString>("settingsProblem");
    QTest::addColumn<QString>("message");
    QTest::newRow("port 3") << 3 << QString()
                            << "COM3: not available. Please check or change the port.";
    QTest::newRow("port 12") << 12 << QString()
                             << "COM12: not available. Please check or change the port.";
    QTest::newRow("negative") << -1 << QString()
                              << "COM-1: not available. Please check or change the port.";
    QTest::newRow("settings") << 3 << "bad speed" << "bad speed";
}

void ReplyWindowTest::openFailureReportsThePortAndStops()
{
    QFETCH(int, portNumber);
    QFETCH(QString, settingsProblem);
    QFETCH(QString, message);
    FakeClock clock;
    FakePort port;
    port.openSucceeds = false;
    port.settingsProblem = settingsProblem.toStdString();
    StatusFields fields;
    StatusPresenter presenter(fields);
    ReplyWindow exchange(port, clock, PortSettings{portNumber, "9600,n,8,1"});
    presenter.showLink(exchange, clock);
    std::vector<std::string> reports;
    exchange.onPortUnavailable = [&](const std::string& m) { reports.push_back(m); };
    bool done = false;
    exchange.SendCommand({CommandKind::Query, "ATZ\r\n"}, [&] { done = true; });
    clock.advance(5000);
    QCOMPARE(reports, std::vector<std::string>{message.toStdString()});
    QVERIFY(!done);
    QVERIFY(port.written.empty());
    // BUSY stays, so no tick starts anything while the message is up.
    QCOMPARE(fields.text(Field::txtReady), std::string("BUSY"));
}

void ReplyWindowTest::secondCommandDuringAWaitIsRefused()
{
    Rig rig;
    rig.send("AT+CSQ\r\n");
    QVERIFY(!rig.exchange.SendCommand({CommandKind::Query, "AT+COPS?\r\n"}, [] {}));
    rig.clock.advance(2000);
    QCOMPARE(rig.port.written, std::vector<std::string>{"AT+CSQ\r\n"});
    QCOMPARE(rig.doneCalls, 1);
}

void ReplyWindowTest::closingTheWindowEndsTheWaitAtOnce()
{
    Rig rig;
    rig.send("AT+CSQ\r\n");
    rig.clock.advance(300);
    rig.exchange.SetTimeoutFlag();
    QVERIFY(!rig.port.isOpen);
    QVERIFY(!rig.exchange.waiting());
    rig.clock.advance(5000);
    QCOMPARE(rig.doneCalls, 0); // the program is ending: the cycle does not go on
    QCOMPARE(rig.clock.armedTimers(), 0);
}

void ReplyWindowTest::clockSetBackDoesNotStretchTheWindow()
{
    Rig rig(1'700'000'000'500);
    rig.send("AT\r\n");
    rig.clock.jumpTo(1'700'000'000'500 - 3'600'000); // an hour back, mid-wait
    rig.clock.advance(3000);
    QCOMPARE(rig.doneCalls, 1);
}

// Whether an outbox message went out is only known from the answer to its PDU, which may
// take the network several seconds: that window stays open for it, up to a minute.
void ReplyWindowTest::anOutboxPduWaitsForItsAnswer()
{
    Rig rig(1'700'000'000'000);
    rig.send("0011\x1a", CommandKind::Submit);
    rig.clock.advance(4000);
    QCOMPARE(rig.doneCalls, 0);
    rig.port.arrive("\r\n+CMGS: 4\r\n\r\nOK\r\n");
    rig.clock.advance(1000);
    QCOMPARE(rig.doneCalls, 1);
    QCOMPARE(rig.exchange.reply(), std::string("\r\n+CMGS: 4\r\n\r\nOK\r\n"));

    rig.send("0011\x1a", CommandKind::Submit);
    rig.clock.advance(59'000);
    QCOMPARE(rig.doneCalls, 1);
    rig.clock.advance(2000);
    QCOMPARE(rig.doneCalls, 2); // silent: the caller cannot tell, and says so
    // Any other command keeps the window of one to two seconds.
    rig.send("AT+CSQ\r\n");
    rig.clock.advance(2000);
    QCOMPARE(rig.doneCalls, 3);
}

void ReplyWindowTest::logHooksSeeEachCommandAndEachWholeReply()
{
    Rig rig;
    std::vector<std::string> sent, replies;
    rig.exchange.onCommandSent = [&](const std::string& c) { sent.push_back(c); };
    rig.exchange.onReplyComplete = [&](const std::string& r) { replies.push_back(r); };
    rig.send("AT+CSQ\r\n");
    rig.port.arrive("AT+CSQ\r");
    rig.clock.advance(300);
    rig.port.arrive("\r\n+CSQ: 18,99\r\n\r\nOK\r\n");
    QVERIFY(replies.empty()); // not before the window has run out
    rig.clock.advance(2000);
    rig.send("AT+COPS?\r\n");
    rig.exchange.SetTimeoutFlag(); // cut short: no reply to tell
    QCOMPARE(sent, (std::vector<std::string>{"AT+CSQ\r\n", "AT+COPS?\r\n"}));
    QCOMPARE(replies, std::vector<std::string>{"AT+CSQ\r\r\n+CSQ: 18,99\r\n\r\nOK\r\n"});
    QCOMPARE(rig.doneCalls, 1);
}

QTEST_GUILESS_MAIN(ReplyWindowTest)
#include "test_reply_window.moc"
