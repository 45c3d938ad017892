// The poll cycle on the held link: the first cycle's SIM, storage and announcement steps,
// the pace of lists and status queries, announced pickup and draining the inbox.
#include <QRegularExpression>
#include <QtTest>

#include "HeldLink.h"
#include "StatusPresenter.h"
#include "PollCycle.h"
#include "SimReplies.h"
#include "fakes/CycleRig.h"

using namespace zorvel;
using namespace zorvel::testing;

namespace {

struct HeldRig {
    HeldRig(SetupSettings setup, bool held = true)
        : exchange(port, clock, PortSettings{3, "9600,n,8,1"}, HeldLinkTimes{}),
          cycle(exchange, http, clock, ForwardingSettings{MessageMode::Decoded, "http://h/in", "k"},
                std::move(setup), LinkPace{held})
    {
        presenter.showLink(exchange, clock);
        presenter.showReadings(cycle.readings);
        port.respond = [this](const std::string& w) {
            if (w.starts_with("AT+CPIN")) {
                const bool entry = w.starts_with("AT+CPIN=");
                if (entry)
                    ++pinEntries;
                if (entry || pinStates.empty())
                    return entry ? pinEntryReply : std::string("\r\nERROR\r\n");
                const std::string state = pinStates.front();
                if (pinStates.size() > 1)
                    pinStates.erase(pinStates.begin());
                return "\r\n+CPIN: " + state + "\r\n\r\nOK\r\n";
            }
            if (w.starts_with("AT+CPMS="))
                return std::string("\r\n+CPMS: 24,30,24,30,24,30\r\n\r\nOK\r\n");
            if (w.starts_with("AT+CNMI=2") && cnmiRefused)
                return std::string("\r\nERROR\r\n");
            return modem(w);
        };
        exchange.onAnnounced = [this] { cycle.messageAnnounced(); };
        exchange.start();
        cycle.onSimStopped = [this](const SimStop& s) { stopped = int(s.reason); };
        cycle.events.warning = [this](const std::string& w) { warnings.push_back(w); };
    }
    // Every request is answered at once with `status`.
    void tick(int status = 200)
    {
        cycle.tick();
        for (int i = 0; i < 100 && !http.pending.empty(); ++i)
            http.answer({status, {}});
        clock.advance(1000);
    }
    std::vector<std::string> written(std::size_t from = 0) const
    {
        return {port.written.begin() + static_cast<std::ptrdiff_t>(from), port.written.end()};
    }
    long count(const std::string& prefix) const
    {
        return std::count_if(port.written.begin(), port.written.end(),
                             [&](const std::string& c) { return c.starts_with(prefix); });
    }

    FakeClock clock;
    FakePort port;
    FakeHttp http;
    StatusFields fields;
    StatusPresenter presenter{fields};
    HeldLink exchange;
    ScriptedModem modem;
    PollCycle cycle;
    std::vector<std::string> pinStates;
    bool cnmiRefused = false;
    std::string pinEntryReply = "\r\nOK\r\n";
    int pinEntries = 0;
    int stopped = -1;
    std::vector<std::string> warnings;
};

std::string entry(int n)
{
    PduFields pdu;
    pdu.sender = "1555000" + std::to_string(1000 + n);
    const std::string text = "message " + std::to_string(n);
    pdu.text = std::u16string(text.begin(), text.end());
    return pduEntry(pdu);
}

} // namespace

class HeldCycleTest : public QObject {
    Q_OBJECT
private slots:
    void firstCycleAsksWhatIsConfigured_data();
    void firstCycleAsksWhatIsConfigured();
    void textLengthsAreAskedForAfterTheFormat();
    void aPinTheSimTookIsGivenAgainAfterAReset();
    void paceOfListsAndStatusQueries();
    void anAnnouncementStartsACycleAtOnceAndTheInboxDrains();
    void storageNearlyFullIsWarnedOnce();
    void simRepliesAndThePinKeptOutOfSight_data();
    void simRepliesAndThePinKeptOutOfSight();
    void aPinQuotedByTheModemIsShownNowhere_data();
    void aPinQuotedByTheModemIsShownNowhere();
};

void HeldCycleTest::firstCycleAsksWhatIsConfigured_data()
{
    QTest::addColumn<bool>("askPin");
    QTest::addColumn<QString>("pin");
    QTest::addColumn<QString>("storage");
    QTest::addColumn<bool>("announce");
    QTest::addColumn<QStringList>("pinStates"); // answers to AT+CPIN? in turn
    QTest::addColumn<bool>("cnmiRefused");
    QTest::addColumn<QString>("commands");      // the first cycle's commands up to AT+CNUM
    QTest::addColumn<int>("stopped");           // SimStop::Reason, -1 when polling goes on
    const QString tail = "AT+CNUM";
    QTest::newRow("nothing asked: as always") << false << "" << "" << false << QStringList{} << false
        << "ATZ|AT+CMGF=0|" + tail << -1;
    QTest::newRow("PIN= empty, READY") << true << "" << "" << false << QStringList{"READY"} << false
        << "ATZ|AT+CPIN?|AT+CMGF=0|" + tail << -1;
    QTest::newRow("state not given: going on") << true << "" << "" << false << QStringList{} << false
        << "ATZ|AT+CPIN?|AT+CMGF=0|" + tail << -1;
    QTest::newRow("PIN taken") << true << "1234" << "" << false << QStringList{"SIM PIN", "READY"} << false
        << "ATZ|AT+CPIN?|AT+CPIN=\"1234\"|AT+CPIN?|AT+CMGF=0|" + tail << -1;
    QTest::newRow("PIN refused: never a second try") << true << "1234" << "" << false
        << QStringList{"SIM PIN"} << false << "ATZ|AT+CPIN?|AT+CPIN=\"1234\"|AT+CPIN?"
        << int(SimStop::Reason::PinRefused);
    QTest::newRow("PIN asked, none configured") << true << "" << "" << false << QStringList{"SIM PIN"}
        << false << "ATZ|AT+CPIN?" << int(SimStop::Reason::NoPinConfigured);
    QTest::newRow("PUK: the PIN is not sent") << true << "1234" << "" << false << QStringList{"SIM PUK"}
        << false << "ATZ|AT+CPIN?" << int(SimStop::Reason::PukNeeded);
    QTest::newRow("phone lock") << true << "1234" << "" << false << QStringList{"PH-SIM PIN"}
        << false << "ATZ|AT+CPIN?" << int(SimStop::Reason::OtherLock);
    QTest::newRow("PIN2 does not guard messages") << true << "" << "" << false << QStringList{"SIM PIN2"}
        << false << "ATZ|AT+CPIN?|AT+CMGF=0|" + tail << -1;
    QTest::newRow("storage") << false << "" << "ME" << false << QStringList{} << false
        << "ATZ|AT+CMGF=0|AT+CPMS=\"ME\",\"ME\",\"ME\"|" + tail << -1;
    QTest::newRow("held link: announcements") << true << "" << "" << true << QStringList{"READY"} << false
        << "ATZ|AT+CPIN?|AT+CMGF=0|AT+CNMI=2,1,0,0,0|" + tail << -1;
    QTest::newRow("announcements, second form") << true << "" << "" << true << QStringList{"READY"} << true
        << "ATZ|AT+CPIN?|AT+CMGF=0|AT+CNMI=2,1,0,0,0|AT+CNMI=1,1,0,0,0|" + tail << -1;
}

void HeldCycleTest::firstCycleAsksWhatIsConfigured()
{
    QFETCH(bool, askPin);
    QFETCH(QString, pin);
    QFETCH(QString, storage);
    QFETCH(bool, announce);
    QFETCH(QStringList, pinStates);
    QFETCH(bool, cnmiRefused);
    QFETCH(QString, commands);
    QFETCH(int, stopped);
    HeldRig rig(SetupSettings{{}, askPin, pin.toStdString(), storage.toStdString(), announce});
    for (const QString& s : pinStates)
        rig.pinStates.push_back(s.toStdString());
    rig.cnmiRefused = cnmiRefused;
    for (int i = 0; i < 5; ++i)
        rig.tick();
    QStringList sent;
    for (const std::string& c : rig.written()) {
        QString line = QString::fromStdString(c).trimmed();
        sent << line;
        if (line == "AT+CNUM")
            break;
    }
    QCOMPARE(sent.join('|'), commands);
    QCOMPARE(rig.stopped, stopped);
    if (stopped >= 0) { // polling has stopped for good
        const std::size_t before = rig.port.written.size();
        for (int i = 0; i < 60; ++i)
            rig.tick();
        QCOMPARE(rig.port.written.size(), before);
    }
}

// Text mode on the held link: the lengths end each list and read; a modem that refuses
// them is named in the log, and polling goes on.
void HeldCycleTest::textLengthsAreAskedForAfterTheFormat()
{
    HeldRig rig(SetupSettings{{}, true, "", "", true, true});
    std::vector<std::string> notices;
    rig.cycle.events.notice = [&](const std::string& n) { notices.push_back(n); };
    const auto respond = rig.port.respond;
    rig.port.respond = [&](const std::string& w) {
        return w.starts_with("AT+CSDH") ? std::string("\r\nERROR\r\n") : respond(w);
    };
    for (int i = 0; i < 3; ++i)
        rig.tick();
    const auto sent = rig.written();
    const auto format = std::find(sent.begin(), sent.end(), std::string("AT+CMGF=0\r\n"));
    QVERIFY(format != sent.end() && format + 1 != sent.end());
    QCOMPARE(format[1], std::string("AT+CSDH=1\r\n"));
    QVERIFY(std::count(notices.begin(), notices.end(),
                       "the modem gives no text lengths (AT+CSDH=1 answered ERROR); each list and read is "
                       "confirmed with AT") == 1);
    QVERIFY(rig.count("AT+CMGL") >= 1);
}

void HeldCycleTest::aPinTheSimTookIsGivenAgainAfterAReset()
{
    HeldRig rig(SetupSettings{{}, true, "1234", "", true});
    rig.pinStates = {"SIM PIN", "READY", "SIM PIN", "READY"};
    for (int i = 0; i < 3; ++i)
        rig.tick();
    rig.cycle.linkReopened(); // a modem reset asks for the PIN anew
    for (int i = 0; i < 3; ++i)
        rig.tick();
    QCOMPARE(rig.pinEntries, 2);
    QCOMPARE(rig.stopped, -1);
    QCOMPARE(rig.count("ATZ"), 2L);
}

void HeldCycleTest::paceOfListsAndStatusQueries()
{
    HeldRig rig(SetupSettings{{}, true, "", "", true});
    rig.tick(); // the first cycle
    const long lists = rig.count("AT+CMGL"), signal = rig.count("AT+CSQ"), names = rig.count("AT+COPS?"),
               formats = rig.count("AT+CMGF");
    for (int i = 0; i < 60; ++i)
        rig.tick();
    // One minute: a list every 10 s; signal, operator and format every 30 s.
    QCOMPARE(rig.count("AT+CMGL") - lists, 6L);
    QCOMPARE(rig.count("AT+CSQ") - signal, 2L);
    QCOMPARE(rig.count("AT+COPS?") - names, 2L);
    QCOMPARE(rig.count("AT+CMGF") - formats, 2L);
    // Send sets text format for its message; the list after it sets the inbox's again.
    const std::size_t before = rig.port.written.size();
    rig.cycle.sendRequested();
    rig.tick();
    const std::vector<std::string> sent = rig.written(before);
    QCOMPARE(sent.front(), std::string("AT+CMGF=1\r\n"));
    QCOMPARE(sent.back(), std::string("AT+CMGL=4\r\n"));
    QCOMPARE(sent[sent.size() - 2], std::string("AT+CMGF=0\r\n"));
}

void HeldCycleTest::anAnnouncementStartsACycleAtOnceAndTheInboxDrains()
{
    HeldRig rig(SetupSettings{{}, true, "", "", true});
    rig.tick();
    rig.tick();
    const long lists = rig.count("AT+CMGL");
    for (int n = 0; n < 5; ++n)
        rig.modem.store[n] = entry(n);
    rig.port.arrive("\r\n+CMTI: \"SM\",0\r\n");
    QCOMPARE(rig.count("AT+CMGL"), lists + 1); // no tick needed
    // Each request answered as it comes: the inbox empties without waiting for a tick.
    for (int i = 0; i < 100 && !rig.http.pending.empty(); ++i)
        rig.http.answer({200, {}});
    QVERIFY(rig.modem.store.empty());
    QCOMPARE(rig.modem.deleted.size(), std::size_t(5));
    QCOMPARE(rig.cycle.forwardedCount, 5);
    // A modem announcing without pause gets one list a second, not one after the other.
    rig.clock.advance(1000);
    const long beforeFlood = rig.count("AT+CMGL");
    for (int i = 0; i < 50; ++i) {
        rig.port.arrive("\r\n+CMTI: \"SM\",9\r\n");
        rig.clock.advance(20);
    }
    QCOMPARE(rig.count("AT+CMGL") - beforeFlood, 1L);
    rig.tick();
    QCOMPARE(rig.count("AT+CMGL") - beforeFlood, 2L);
    // A refused message does not make the cycles run on without pause.
    rig.modem.store[7] = entry(7);
    rig.port.arrive("\r\n+CMTI: \"SM\",7\r\n");
    rig.http.answer({500, {}});
    const long afterRefusal = rig.count("AT+CMGL");
    rig.clock.advance(5000);
    QCOMPARE(rig.count("AT+CMGL"), afterRefusal);
}

void HeldCycleTest::storageNearlyFullIsWarnedOnce()
{
    HeldRig rig(SetupSettings{{}, false, "", "SM", true});
    for (int i = 0; i < 40; ++i)
        rig.tick(500); // 24 of 30 at start; the web application refuses, they stay
    QCOMPARE(rig.warnings.size(), std::size_t(1));
    QCOMPARE(rig.warnings[0], std::string("message storage 80% full: 24 of 30 used"));
}

void HeldCycleTest::simRepliesAndThePinKeptOutOfSight_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("decoded");
    QTest::newRow("state with echo") << "AT+CPIN?\r\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n" << "pin 1 SIM PIN";
    QTest::newRow("quoted state") << "\r\n+CPIN: \"READY\"\r\n\r\nOK\r\n" << "pin 0 READY";
    QTest::newRow("no SIM") << "\r\n+CME ERROR: 10\r\n" << "pin 4 +CME ERROR: 10";
    QTest::newRow("hostile state") << "\r\n+CPIN: \x1b[2J\r\n\r\nOK\r\n" << "pin 3 [2J"; // control bytes dropped
    QTest::newRow("fill after a choice") << "\r\n+CPMS: 3,30,3,30,3,30\r\n\r\nOK\r\n" << "fill 3/30";
    QTest::newRow("fill when asked") << "\r\n+CPMS: \"SM\",5,20,\"SM\",5,20\r\n\r\nOK\r\n" << "fill 5/20";
    QTest::newRow("fill of nonsense") << "\r\n+CPMS: 3,x\r\n\r\nOK\r\n" << "fill none";
    QTest::newRow("fill of zero slots") << "\r\n+CPMS: 0,0\r\n\r\nOK\r\n" << "fill none";
    QTest::newRow("echo hides the PIN") << "AT+CPIN=\"1234\"\r\r\nOK\r\n" << "hide AT+CPIN=<hidden>\r\r\nOK\r\n";
    QTest::newRow("unquoted, cut short") << "AT+CPIN=12" << "hide AT+CPIN=<hidden>";
}

void HeldCycleTest::simRepliesAndThePinKeptOutOfSight()
{
    QFETCH(QString, input);
    QFETCH(QString, decoded);
    const std::string in = input.toStdString();
    std::string out;
    if (decoded.startsWith("pin")) {
        const PinState s = DecodePinState(in);
        out = "pin " + std::to_string(int(s.kind)) + " " + s.shown;
    } else if (decoded.startsWith("fill")) {
        const auto f = DecodeStorageFill(in);
        out = f ? "fill " + std::to_string(f->used) + "/" + std::to_string(f->total) : "fill none";
    } else {
        out = "hide " + HidePin(in);
    }
    QCOMPARE(QString::fromStdString(out), decoded);
}

// Modems that quote the PIN in their answers: no notice, warning, stop message or text of
// the reply box holds it, whatever the line; a longer number with its digits inside stays,
// and so does a message's text on its way to the web application.
void HeldCycleTest::aPinQuotedByTheModemIsShownNowhere_data()
{
    QTest::addColumn<QStringList>("pinStates");
    QTest::addColumn<QString>("entryReply");
    const QStringList taken{"SIM PIN", "READY"};
    QTest::newRow("error quoting the command") << taken << "\r\n+CME ERROR: 16 (you said AT+CPIN=\"4321\")\r\n";
    QTest::newRow("inside a longer line, numbers beside")
        << taken << "\r\n+CME ERROR: pin=\"4321\";tries=2;tel=+4943210;IMEI 354321000043210\r\n";
    QTest::newRow("echo, then the PIN again") << taken << "AT+CPIN=4321\r\r\n+CPIN: \"4321\"\r\n+CME ERROR: 4321\r\n";
    QTest::newRow("state names it") << QStringList{"SIM PIN", "\"4321\""} << "\r\nOK\r\n";
}

void HeldCycleTest::aPinQuotedByTheModemIsShownNowhere()
{
    QFETCH(QStringList, pinStates);
    QFETCH(QString, entryReply);
    SetPinToHide("4321");
    const auto forget = qScopeGuard([] { SetPinToHide(""); });
    HeldRig rig(SetupSettings{{}, true, "4321", "", true});
    for (const QString& s : pinStates)
        rig.pinStates.push_back(s.toStdString());
    rig.pinEntryReply = entryReply.toStdString();
    std::string shown;
    rig.cycle.events.notice = rig.cycle.events.warning = [&](const std::string& n) { shown += n + '|'; };
    rig.cycle.onSimStopped = [&](const SimStop& s) {
        rig.stopped = int(s.reason);
        shown += s.state + '|';
    };
    rig.fields.onChanged = [&](Field f) {
        if (f == Field::txtStatus)
            shown += rig.fields.text(f) + '|';
    };
    PduFields pdu;
    pdu.sender = "15550001234";
    pdu.text = u"code 4321";
    rig.modem.store[1] = pduEntry(pdu);
    for (int i = 0; i < 10; ++i)
        rig.tick();

    const QString all = QString::fromStdString(shown);
    QVERIFY2(all.contains("<hidden>"), qPrintable(all));
    QVERIFY2(!all.contains(QRegularExpression("(^|\\D)4321(\\D|$)")), qPrintable(all));
    for (const char* number : {"354321000043210", "+4943210"})
        QVERIFY(!entryReply.contains(number) || all.contains(number));
    if (rig.stopped == -1) // the web application gets the text as it came
        QVERIFY(!rig.http.urls.empty() && rig.http.urls.front().ends_with("message=code%204321"));
}

QTEST_GUILESS_MAIN(HeldCycleTest)
#include "test_held_cycle.moc"
