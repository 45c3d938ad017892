// Sending the outbox on the modem: which commands go out, and what each answer makes of
// the message. A message is never sent twice on its own once a PDU went down the line.
#include <QtTest>

#include <map>

#include "OutboxSender.h"
#include "SubmitReplies.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeOutbox.h"

using namespace zorvel;
using namespace zorvel::testing;

namespace {

// Answers each command by its first letters, from a list used in turn (the last repeats).
class ScriptedExchange : public Exchange {
public:
    bool SendCommand(Command command, std::function<void()> done) override
    {
        written.push_back(command.bytes);
        reply_.clear();
        for (auto& [prefix, replies] : script) {
            if (command.bytes.starts_with(prefix) && !replies.empty()) {
                reply_ = replies.front();
                if (replies.size() > 1)
                    replies.erase(replies.begin());
                break;
            }
        }
        done();
        return true;
    }
    void SetTimeoutFlag() override {}
    bool waiting() const override { return false; }
    const std::string& reply() const override { return reply_; }
    bool replySettled() const override { return true; }

    std::map<std::string, std::vector<std::string>> script{
        {"AT+CMGF", {"\r\nOK\r\n"}}, {"AT+CMGS", {"\r\n> "}}, {"\x1b", {""}}};
    std::vector<std::string> written;

private:
    std::string reply_;
};

// "F" the format, "S" an AT+CMGS, "P" a PDU, "E" the ESC that ends a text entry.
QString shape(const std::vector<std::string>& written)
{
    QString out;
    for (const std::string& w : written)
        out += w.starts_with("AT+CMGF") ? 'F' : w.starts_with("AT+CMGS") ? 'S' : w == "\x1b" ? 'E' : 'P';
    return out;
}

struct Rig {
    FakeClock clock;
    ScriptedExchange modem;
    FakeOutbox outbox;
    SendingSettings settings;
    QStringList notices;

    void queue(const std::string& id, const std::string& text, std::string to = "+15550001234")
    {
        outbox.add({id, std::move(to), text, 1, OutboxOrigin::Web}, clock.nowMs());
    }
    void sendOnce()
    {
        OutboxSender sender(modem, outbox, clock, settings);
        sender.onNotice = sender.onWarning = [this](const std::string& s) { notices << QString::fromStdString(s); };
        bool ended = false;
        sender.sendNext([&] { ended = true; });
        QVERIFY(ended);
    }
};

const std::string cmgs = "\r\n+CMGS: 17\r\n\r\nOK\r\n";
const std::string longText(161, 'a'); // two parts

} // namespace

class OutboxSenderTest : public QObject {
    Q_OBJECT
private slots:
    void answers_data();
    void answers();
    void aRefusedPartIsTriedAgainFromThatPart();
    void capsHoldMessagesBack();
    void nothingGoesOutWhenTheStoreCannotWrite();
    void aCrashWhileSendingLeavesTheMessageUnknown();
    void submitAnswers_data();
    void submitAnswers();
};

void OutboxSenderTest::answers_data()
{
    QTest::addColumn<std::string>("text");
    QTest::addColumn<QString>("cmgsReply");
    QTest::addColumn<QString>("pduReply");
    QTest::addColumn<int>("tries");
    QTest::addColumn<QString>("commands");
    QTest::addColumn<QString>("changes");

    const QString ok = QString::fromStdString(cmgs);
    QTest::newRow("taken") << std::string("Hi") << "\r\n> " << ok << 5 << "FSP" << "m:sending m:sent";
    QTest::newRow("two parts") << longText << "\r\n> " << ok << 5 << "FSPSP" << "m:sending m:sent";
    // Nothing went out: ESC ends a text entry that a late prompt may have opened.
    QTest::newRow("error before the prompt") << std::string("Hi") << "\r\n+CMS ERROR: 38\r\n" << ok << 5
                                             << "FSE" << "m:sending m:queued";
    QTest::newRow("no prompt") << std::string("Hi") << "" << ok << 5 << "FSE" << "m:sending m:queued";
    QTest::newRow("prompt then an error") << std::string("Hi") << "\r\n> \r\nERROR\r\n" << ok << 5
                                          << "FSE" << "m:sending m:queued";
    QTest::newRow("last try") << std::string("Hi") << "\r\n+CMS ERROR: 38\r\n" << ok << 1 << "FSE"
                              << "m:sending m:failed";
    // Once the PDU went down the line, only an answer can say it was not sent.
    QTest::newRow("silence after the PDU") << std::string("Hi") << "\r\n> " << "" << 5 << "FSP"
                                           << "m:sending m:unknown";
    QTest::newRow("OK without a reference") << std::string("Hi") << "\r\n> " << "\r\nOK\r\n" << 5 << "FSP"
                                            << "m:sending m:unknown";
    QTest::newRow("reference out of range") << std::string("Hi") << "\r\n> " << "\r\n+CMGS: 256\r\n\r\nOK\r\n"
                                            << 5 << "FSP" << "m:sending m:unknown";
    QTest::newRow("refused after the PDU") << std::string("Hi") << "\r\n> " << "\r\n+CMS ERROR: 500\r\n" << 5
                                           << "FSP" << "m:sending m:queued";
    QTest::newRow("too long for its parts") << std::string(1601, 'a') << "\r\n> " << ok << 5 << ""
                                            << "m:failed";
}

void OutboxSenderTest::answers()
{
    QFETCH(std::string, text);
    QFETCH(QString, cmgsReply);
    QFETCH(QString, pduReply);
    QFETCH(int, tries);
    QFETCH(QString, commands);
    QFETCH(QString, changes);
    Rig rig;
    rig.settings.tries = tries;
    rig.modem.script["AT+CMGS"] = {cmgsReply.toStdString()};
    rig.modem.script["0"] = {pduReply.toStdString()}; // every PDU starts with the SMSC's 00
    rig.queue("m", text);
    rig.sendOnce();
    QCOMPARE(shape(rig.modem.written), commands);
    QCOMPARE(QString::fromStdString([&] {
                 std::string s;
                 for (const std::string& c : rig.outbox.changes)
                     s += (s.empty() ? "" : " ") + c;
                 return s;
             }()),
             changes);
    // An unknown or failed message never goes out again on its own.
    const OutboxState state = rig.outbox.stateOf("m");
    if (state == OutboxState::Unknown || state == OutboxState::Failed) {
        rig.clock.advance(24 * 3600 * 1000);
        OutboxSender later(rig.modem, rig.outbox, rig.clock, rig.settings);
        QVERIFY(!later.due());
    }
}

void OutboxSenderTest::aRefusedPartIsTriedAgainFromThatPart()
{
    Rig rig;
    rig.modem.script["0"] = {cmgs, "\r\n+CMS ERROR: 500\r\n", "\r\n+CMGS: 18\r\n\r\nOK\r\n"};
    rig.queue("m", longText);
    rig.sendOnce();
    QCOMPARE(rig.outbox.stateOf("m"), OutboxState::Queued);
    QCOMPARE(rig.outbox.messages["m"].partsSent, 1);
    const std::string secondPart = rig.modem.written.back();

    OutboxSender sender(rig.modem, rig.outbox, rig.clock, rig.settings);
    QVERIFY(!sender.due()); // the back-off
    rig.clock.advance(30'000);
    QVERIFY(sender.due());
    rig.modem.written.clear();
    rig.sendOnce();
    QCOMPARE(shape(rig.modem.written), QString("FSP"));
    QCOMPARE(rig.modem.written.back(), secondPart); // same concatenation reference
    QCOMPARE(rig.outbox.stateOf("m"), OutboxState::Sent);
    QCOMPARE(rig.outbox.sent.size(), std::size_t(2));
}

void OutboxSenderTest::capsHoldMessagesBack()
{
    Rig rig;
    rig.settings.perMinute = 2;
    rig.modem.script["0"] = {cmgs};
    for (const char* id : {"a", "b", "c"})
        rig.queue(id, "Hi");
    OutboxSender sender(rig.modem, rig.outbox, rig.clock, rig.settings);
    sender.onNotice = [&](const std::string& s) { rig.notices << QString::fromStdString(s); };
    for (int i = 0; i < 2; ++i) {
        QVERIFY(sender.due());
        sender.sendNext([] {});
        rig.clock.advance(10'000);
    }
    QVERIFY(!sender.due());
    QVERIFY(!sender.due()); // said once
    QCOMPARE(rig.notices.filter("sending waits").size(), 1);
    QVERIFY2(rig.notices.filter("sending waits 40 s").size() == 1, qPrintable(rig.notices.join('\n')));
    rig.clock.advance(40'000);
    QVERIFY(sender.due());
}

void OutboxSenderTest::nothingGoesOutWhenTheStoreCannotWrite()
{
    Rig rig;
    rig.queue("m", "Hi");
    rig.outbox.failWrites = true;
    rig.sendOnce();
    QVERIFY(rig.modem.written.empty());
    QVERIFY(rig.notices.filter("disk full").size() == 1);
}

void OutboxSenderTest::aCrashWhileSendingLeavesTheMessageUnknown()
{
    Rig rig;
    rig.queue("m", "Hi");
    rig.outbox.markSending("m", 0);
    OutboxSender sender(rig.modem, rig.outbox, rig.clock, rig.settings);
    sender.recoverAfterCrash();
    QCOMPARE(rig.outbox.stateOf("m"), OutboxState::Unknown);
    QVERIFY(!sender.due());
}

void OutboxSenderTest::submitAnswers_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("kind"); // 0 sent, 1 refused, 2 unknown
    QTest::addColumn<int>("reference");
    QTest::newRow("plain") << QByteArray("\r\n+CMGS: 0\r\n\r\nOK\r\n") << 0 << 0;
    QTest::newRow("with a time stamp") << QByteArray("\r\n+CMGS: 255,\"26/12/08,10:00:00+04\"\r\n\r\nOK\r\n") << 0 << 255;
    QTest::newRow("a ring in between") << QByteArray("\r\n+CMGS: 9\r\n\r\nRING\r\n\r\nOK\r\n") << 0 << 9;
    QTest::newRow("two references") << QByteArray("\r\n+CMGS: 1\r\n+CMGS: 2\r\n\r\nOK\r\n") << 2 << -1;
    QTest::newRow("letters") << QByteArray("\r\n+CMGS: x1\r\n\r\nOK\r\n") << 2 << -1;
    QTest::newRow("cut short") << QByteArray("\r\n+CMGS: 12\r\n") << 2 << -1;
    QTest::newRow("cms error") << QByteArray("\r\n+CMS ERROR: 38\r\n") << 1 << -1;
    QTest::newRow("an OK inside a line is no OK") << QByteArray("\r\n+CMGS: 3 OK") << 2 << -1;
}

void OutboxSenderTest::submitAnswers()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, kind);
    QFETCH(int, reference);
    const SubmitAnswer answer = DecodeSubmitAnswer(reply.toStdString());
    QCOMPARE(static_cast<int>(answer.kind), kind);
    QCOMPARE(answer.reference, reference);
    // The prompt alone opens a text entry.
    QVERIFY(PromptCame("AT+CMGS=23\r\r\n> "));
    QVERIFY(!PromptCame("\r\n+CMS ERROR: 304\r\n"));
    QVERIFY(!PromptCame("\r\n>> \r\n"));
}

QTEST_GUILESS_MAIN(OutboxSenderTest)
#include "test_outbox_sender.moc"
