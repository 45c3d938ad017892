// The poll cycle against a scripted modem, a fake clock and an HTTP client the test answers.
#include <QtTest>
#include <map>

#include "fakes/CycleRig.h"

using namespace zorvel;
using namespace zorvel::testing;


class PollCycleTest : public QObject {
    Q_OBJECT
private slots:
    void commandOrderOfTheFirstTwoCycles_data();
    void commandOrderOfTheFirstTwoCycles();
    void statusFieldsAfterTheFirstCycle();
    void sendFlagPlacement();
    void threePressesSendOneMessage();
    void silentModemMakesTheNextStepReadThePreviousReply();
    void oneMessagePerCycleDeletedAfterAcceptance();
    void failedForwardingKeepsTheMessage_data();
    void failedForwardingKeepsTheMessage();
    void noCommandWhileTheRequestIsInFlight();
    void closedGateOnlyRefreshesTheCounter();
    void listCutShortIsNotForwarded();
    void decodedLongMessageGoesWholeAndAllPartsAreDeleted();
    void refusedMessageLetsTheNextOneGo();
    void acceptedMessageWhoseDeleteFailedIsNotSentAgain();
};

void PollCycleTest::commandOrderOfTheFirstTwoCycles_data()
{
    QTest::addColumn<QString>("pduMode");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("list");
    QTest::newRow("text mode") << "0" << "AT+CMGF=1\r\n" << "AT+CMGL=\"ALL\"\r\n";
    QTest::newRow("PDU mode") << "1" << "AT+CMGF=0\r\n" << "AT+CMGL=4\r\n";
}

void PollCycleTest::commandOrderOfTheFirstTwoCycles()
{
    QFETCH(QString, pduMode);
    QFETCH(QString, format);
    QFETCH(QString, list);
    Rig rig(pduMode.toStdString());
    const std::string f = format.toStdString(), l = list.toStdString();
    const Commands first{"ATZ\r\n", f, "AT+CNUM\r\n", "AT^SYSINFO\r\n", "AT+GSN\r\n",
                         "AT+CIMI\r\n", "AT+CSQ\r\n", "AT+COPS?\r\n", f, l};
    QCOMPARE(rig.runCycle(), first);
    const Commands second{"AT+CSQ\r\n", "AT+COPS?\r\n", f, l};
    QCOMPARE(rig.runCycle(), second);
}

void PollCycleTest::statusFieldsAfterTheFirstCycle()
{
    Rig rig;
    rig.runCycle();
    QCOMPARE(rig.fields.text(Field::txtPhoneNo), std::string("+15550001234"));
    QCOMPARE(rig.fields.text(Field::txtIMEI), std::string("356938035643809"));
    QCOMPARE(rig.fields.text(Field::txtIMSI), std::string("262019876543210"));
    QCOMPARE(rig.fields.text(Field::txtNetName), std::string("SimNet"));
    QVERIFY(rig.fields.text(Field::txtSYSINFO) != "NA");
    QCOMPARE(rig.fields.colour(Field::picS1), colours::white);
}

void PollCycleTest::sendFlagPlacement()
{
    Rig rig;
    // Pressed while the first-cycle block runs: sent in the same cycle, before AT+CSQ.
    rig.tick();
    rig.cycle.sendRequested();
    rig.input = {"+15550009999", "Typed after the press"};
    for (int i = 0; i < 60 && rig.cycle.running(); ++i)
        rig.tick();
    const Commands& w = rig.port.written;
    const auto imsi = std::find(w.begin(), w.end(), "AT+CIMI\r\n");
    QVERIFY(imsi != w.end());
    const Commands afterBlock(imsi + 1, imsi + 5);
    const Commands expected{"AT+CMGF=1\r\n", "AT+CMGS=\"+15550009999\"\r\n",
                            "Typed after the press\x1a", "AT+CSQ\r\n"};
    QCOMPARE(afterBlock, expected);

    // Pressed after the send step of a cycle: waits for the next cycle.
    rig.tick(); // starts cycle 2: AT+CSQ goes out
    rig.cycle.sendRequested();
    for (int i = 0; i < 60 && rig.cycle.running(); ++i)
        rig.tick();
    // Block, send, format again in cycle 1, format again in cycle 2: no send yet.
    QCOMPARE(std::count(w.begin(), w.end(), "AT+CMGF=1\r\n"), 4);
    const Commands third = rig.runCycle();
    QCOMPARE(third.at(0), std::string("AT+CMGF=1\r\n"));
    QCOMPARE(third.at(1), std::string("AT+CMGS=\"+15550009999\"\r\n"));
    QVERIFY(!rig.cycle.sendPending);
}

void PollCycleTest::threePressesSendOneMessage()
{
    Rig rig("1");
    rig.runCycle();
    for (int i = 0; i < 3; ++i)
        rig.cycle.sendRequested();
    const Commands w = rig.runCycle();
    const Commands expected{"AT+CMGF=1\r\n", "AT+CMGS=\"+15550009999\"\r\n", "Balance?\x1a",
                            "AT+CSQ\r\n", "AT+COPS?\r\n", "AT+CMGF=0\r\n", "AT+CMGL=4\r\n"};
    QCOMPARE(w, expected);
}

void PollCycleTest::silentModemMakesTheNextStepReadThePreviousReply()
{
    Rig rig;
    rig.modem.silentOrOdd["AT^SYSINFO\r\n"] = "";
    rig.modem.silentOrOdd["AT+COPS?\r\n"] = "";
    rig.runCycle();
    // ^SYSINFO heard nothing: its decoder read the own-number reply still on show.
    QCOMPARE(rig.fields.text(Field::txtPhoneNo), std::string("+15550001234"));
    QVERIFY(rig.fields.text(Field::txtSYSINFO).find("+CNUM") != std::string::npos
            || rig.fields.text(Field::txtSYSINFO) != "NA");
    // The operator decoder read the signal reply: not an operator name.
    QVERIFY(rig.fields.text(Field::txtNetName) != "SimNet");
}

void PollCycleTest::oneMessagePerCycleDeletedAfterAcceptance()
{
    Rig rig;
    rig.modem.store[1] = textEntry("+15550001111", "first");
    rig.modem.store[2] = textEntry("+15550002222", "second");
    rig.tick();
    for (int i = 0; i < 60 && rig.http.pending.empty(); ++i)
        rig.tick();
    QCOMPARE(rig.http.urls.size(), size_t(1));
    QCOMPARE(rig.http.urls[0], std::string("http://h/in?key=k&sender=%2B15550001111"
                                           "&time=26%2F12%2F07%2C10%3A00%3A00%2B04&message=first"));
    QCOMPARE(rig.fields.text(Field::lblSMS), std::string("first"));
    rig.http.answer({200, {}});
    for (int i = 0; i < 60 && rig.cycle.running(); ++i)
        rig.tick();
    QCOMPARE(rig.port.written.back(), std::string("AT+CMGD=1\r\n"));
    QCOMPARE(rig.cycle.forwardedCount, 1);
    QCOMPARE(rig.modem.store.size(), size_t(1));

    rig.tick();
    for (int i = 0; i < 60 && rig.http.pending.empty(); ++i)
        rig.tick();
    QVERIFY(rig.http.urls[1].ends_with("message=second"));
    rig.http.answer({204, {}});
    for (int i = 0; i < 60 && rig.cycle.running(); ++i)
        rig.tick();
    QCOMPARE(rig.port.written.back(), std::string("AT+CMGD=2\r\n"));
    QCOMPARE(rig.cycle.forwardedCount, 2);
    rig.tick();
    QCOMPARE(rig.fields.text(Field::txtCounter), std::string("Msgs: 2"));
}

void PollCycleTest::failedForwardingKeepsTheMessage_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("shown");
    QTest::newRow("server error") << 500 << "" << "Not forwarded: HTTP 500";
    QTest::newRow("not found") << 404 << "" << "Not forwarded: HTTP 404";
    QTest::newRow("redirect not followed") << 302 << "" << "Not forwarded: HTTP 302 (redirect not followed)";
    QTest::newRow("refused") << 0 << "connection refused" << "Not forwarded: connection refused";
    QTest::newRow("time-out") << 0 << "no answer within 60 s" << "Not forwarded: no answer within 60 s";
}

void PollCycleTest::failedForwardingKeepsTheMessage()
{
    QFETCH(int, status);
    QFETCH(QString, error);
    QFETCH(QString, shown);
    Rig rig;
    rig.modem.store[4] = textEntry("+15550004444", "keep me");
    rig.tick();
    for (int i = 0; i < 60 && rig.http.pending.empty(); ++i)
        rig.tick();
    rig.http.answer({status, error.toStdString()});
    for (int i = 0; i < 60 && rig.cycle.running(); ++i)
        rig.tick();
    QCOMPARE(rig.cycle.forwardedCount, 0);
    QVERIFY(std::none_of(rig.port.written.begin(), rig.port.written.end(),
                         [](const std::string& c) { return c.starts_with("AT+CMGD"); }));
    QCOMPARE(QString::fromStdString(rig.fields.text(Field::lblForwardProblem)), shown);

    // The next cycle lists it first again; accepted this time, it is counted and deleted.
    rig.tick();
    for (int i = 0; i < 60 && rig.http.pending.empty(); ++i)
        rig.tick();
    QCOMPARE(rig.http.urls.size(), size_t(2));
    QCOMPARE(rig.http.urls[1], rig.http.urls[0]);
    rig.http.answer({200, {}});
    for (int i = 0; i < 60 && rig.cycle.running(); ++i)
        rig.tick();
    QCOMPARE(rig.cycle.forwardedCount, 1);
    QCOMPARE(rig.port.written.back(), std::string("AT+CMGD=4\r\n"));
    QCOMPARE(rig.fields.text(Field::lblForwardProblem), std::string());
}

void PollCycleTest::noCommandWhileTheRequestIsInFlight()
{
    Rig rig;
    rig.modem.store[1] = textEntry("+15550001111", "slow server");
    rig.tick();
    for (int i = 0; i < 60 && rig.http.pending.empty(); ++i)
        rig.tick();
    const std::size_t written = rig.port.written.size();
    for (int i = 0; i < 90; ++i) // a minute and a half of ticks while the server thinks
        rig.tick();
    QCOMPARE(rig.port.written.size(), written);
    QCOMPARE(rig.fields.text(Field::txtReady), std::string("READY"));
    rig.http.answer({200, {}});
    rig.tick();
    // The slot is read, then deleted.
    QCOMPARE(rig.port.written.back(), std::string("AT+CMGR=1\r\n"));
    for (int i = 0; i < 3; ++i)
        rig.tick();
    QCOMPARE(rig.port.written.back(), std::string("AT+CMGD=1\r\n"));
}

void PollCycleTest::closedGateOnlyRefreshesTheCounter()
{
    Rig rig;
    rig.cycle.forwardedCount = 5;
    rig.exchange.SendCommand({CommandKind::Query, "AT\r\n"}, [] {}); // the link is busy with a command of its own
    rig.cycle.tick();
    QCOMPARE(rig.port.written, Commands{"AT\r\n"});
    QCOMPARE(rig.fields.text(Field::txtCounter), std::string("Msgs: 5"));
    rig.clock.advance(2000); // its window ends: READY
    rig.cycle.tick(); // starts the cycle: ATZ goes out, BUSY shows
    rig.cycle.tick(); // a tick inside the exchange sends nothing more
    QCOMPARE(rig.port.written, (Commands{"AT\r\n", "ATZ\r\n"}));
}

void PollCycleTest::listCutShortIsNotForwarded()
{
    Rig rig;
    rig.runCycle();
    // The reply window ended in the middle of the first message's text.
    rig.modem.silentOrOdd["AT+CMGL=\"ALL\"\r\n"] =
        "\r\n+CMGL: 1,\"REC UNREAD\",\"+15550001111\",,\"26/12/07,10:00:00+04\"\r\nA long te";
    rig.runCycle();
    QVERIFY(rig.http.urls.empty());
    QVERIFY(rig.fields.text(Field::lblForwardProblem).starts_with("Not forwarded"));
}

void PollCycleTest::decodedLongMessageGoesWholeAndAllPartsAreDeleted()
{
    Rig rig("0", true); // decoding takes PDU format even with PDUmode=0
    PduFields part;
    part.reference = 42;
    part.count = 2;
    part.sequence = 2;
    part.text = u" world";
    rig.modem.store[3] = pduEntry(part);
    part.sequence = 1;
    part.text = u"Привет";
    rig.modem.store[5] = pduEntry(part);
    PduFields single;
    single.text = u"next";
    rig.modem.store[7] = pduEntry(single);

    const Commands first = rig.forwardAndAnswer(200);
    QVERIFY(std::count(first.begin(), first.end(), "AT+CMGF=0\r\n") == 2);
    QVERIFY(std::count(first.begin(), first.end(), "AT+CMGL=4\r\n") == 1);
    QCOMPARE(rig.http.urls.at(0), std::string("http://h/in?key=k&sender=%2B15550001234"
                                              "&time=26%2F12%2F07%2C09%3A15%3A00%2B04"
                                              "&message=%D0%9F%D1%80%D0%B8%D0%B2%D0%B5%D1%82%20world"));
    QCOMPARE(Rig::deletes(first), (Commands{"AT+CMGD=5\r\n", "AT+CMGD=3\r\n"}));
    QCOMPARE(rig.fields.text(Field::lblSMS), std::string("Привет world"));
    QCOMPARE(rig.cycle.forwardedCount, 1);

    QCOMPARE(Rig::deletes(rig.forwardAndAnswer(200)), Commands{"AT+CMGD=7\r\n"});
    QVERIFY(rig.http.urls.at(1).ends_with("&message=next"));
}

void PollCycleTest::refusedMessageLetsTheNextOneGo()
{
    Rig rig;
    rig.modem.store[1] = textEntry("+15550001111", "refused for ever");
    rig.modem.store[2] = textEntry("+15550002222", "fine");
    QVERIFY(Rig::deletes(rig.forwardAndAnswer(400)).empty());
    QCOMPARE(rig.fields.text(Field::lblForwardProblem), std::string("Not forwarded: HTTP 400"));
    QCOMPARE(Rig::deletes(rig.forwardAndAnswer(200)), Commands{"AT+CMGD=2\r\n"});
    QVERIFY(rig.http.urls.at(1).ends_with("message=fine"));
    // Alone now, the refused one is tried every cycle and stays.
    QVERIFY(Rig::deletes(rig.forwardAndAnswer(400)).empty());
    QVERIFY(Rig::deletes(rig.forwardAndAnswer(400)).empty());
    QCOMPARE(rig.http.urls.size(), std::size_t(4));
    QCOMPARE(rig.modem.store.size(), std::size_t(1));
}

void PollCycleTest::acceptedMessageWhoseDeleteFailedIsNotSentAgain()
{
    Rig rig;
    rig.modem.store[1] = textEntry("+15550001111", "once only");
    rig.modem.silentOrOdd["AT+CMGD=1\r\n"] = "\r\nERROR\r\n";
    QCOMPARE(Rig::deletes(rig.forwardAndAnswer(200)), Commands{"AT+CMGD=1\r\n"});
    rig.modem.silentOrOdd.clear();
    // Listed again: deleted without a second request.
    const Commands second = rig.runCycle();
    QCOMPARE(Rig::deletes(second), Commands{"AT+CMGD=1\r\n"});
    QCOMPARE(rig.http.urls.size(), std::size_t(1));
    QCOMPARE(rig.cycle.forwardedCount, 1);
    QVERIFY(rig.modem.store.empty());
}

QTEST_GUILESS_MAIN(PollCycleTest)
#include "test_poll_cycle.moc"
