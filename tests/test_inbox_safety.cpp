// What an SMS text, a silent modem or a modem still talking can make the inbox steps do:
// never delete a message whose own whole content the web application did not accept.
#include <QtTest>

#include "ForwardUrl.h"
#include "fakes/CycleRig.h"

using namespace zorvel;
using namespace zorvel::testing;

namespace {

const std::string stamp = "26/12/07,10:00:00+04";

std::string senderOf(int index) { return "+155500000" + std::to_string(index); }

// The request a stored text-mode entry should become: its lines joined with LF.
std::string requestFor(int index, std::string text)
{
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;)
        text.replace(at, 2, "\n");
    return BuildForwardUrl("http://h/in", "k", senderOf(index), stamp, text);
}

// Runs cycles for `seconds`, answering each request 400 when its URL holds `refuse`
// (percent-encoded), else 200; returns the URLs accepted.
std::vector<std::string> run(Rig& rig, int seconds, const std::string& refuse)
{
    std::vector<std::string> accepted;
    for (int i = 0; i < seconds; ++i) {
        rig.tick();
        while (!rig.http.pending.empty()) {
            const std::string url = rig.http.urls[rig.http.urls.size() - rig.http.pending.size()];
            const bool refused = !refuse.empty() && url.find(PercentEncode(refuse)) != std::string::npos;
            if (!refused)
                accepted.push_back(url);
            rig.http.answer({refused ? 400 : 200, {}});
        }
    }
    return accepted;
}

} // namespace

class InboxSafetyTest : public QObject {
    Q_OBJECT
private slots:
    void hostileTextsReachTheWebWhole_data();
    void hostileTextsReachTheWebWhole();
    void silentListDecidesNothing();
    void readStillStreamingAtTheWindowsEndDecidesNothing_data();
    void readStillStreamingAtTheWindowsEndDecidesNothing();
};

void InboxSafetyTest::hostileTextsReachTheWebWhole_data()
{
    QTest::addColumn<QByteArrayList>("texts"); // stored at indexes 1, 2, ...
    QTest::addColumn<QByteArray>("refuse");
    const QByteArray fake = "+CMGL: 3,\"REC UNREAD\",\"+15550009999\",,\"" + QByteArray(stamp.c_str()) + "\"";
    // The visible part is refused; the entry it imitates claims the victim's slot.
    QTest::newRow("imitated entry for another slot")
        << QByteArrayList{"hi\r\n" + fake + "\r\nfake", "other", "victim"} << QByteArray("hi");
    QTest::newRow("imitated entry with a command in its index")
        << QByteArrayList{"hi\r\n+CMGL: 9;+CMGD=0,\"REC READ\",\"+1\",,\"x\"\r\nfake", "victim"}
        << QByteArray("hi");
    QTest::newRow("blank line and RINGTONE") << QByteArrayList{"Dear customer\r\n\r\nRINGTONE offer", "next"}
                                             << QByteArray();
    QTest::newRow("blank line and OK") << QByteArrayList{"Please answer\r\n\r\nOK\r\nor NO", "next"}
                                       << QByteArray();
    QTest::newRow("blank line and ERROR at the end") << QByteArrayList{"Status:\r\n\r\nERROR", "next"}
                                                     << QByteArray();
    QTest::newRow("ends like an announcement") << QByteArrayList{"Hello\r\n\r\n+CMTI: \"SM\",1", "next"}
                                               << QByteArray();
}

void InboxSafetyTest::hostileTextsReachTheWebWhole()
{
    QFETCH(QByteArrayList, texts);
    QFETCH(QByteArray, refuse);
    Rig rig;
    std::map<std::string, std::string> requestOf; // stored entry -> its request
    for (int i = 0; i < texts.size(); ++i) {
        const std::string text = texts[i].toStdString();
        rig.modem.store[i + 1] = textEntry(senderOf(i + 1), text);
        requestOf[rig.modem.store[i + 1]] = requestFor(i + 1, text);
    }
    const std::vector<std::string> accepted = run(rig, 400, refuse.toStdString());

    for (const std::string& gone : rig.modem.deleted)
        QVERIFY2(std::count(accepted.begin(), accepted.end(), requestOf[gone]) == 1,
                 ("deleted without its whole content accepted: " + gone).c_str());
    for (const auto& [entry, request] : requestOf) {
        const bool refused = !refuse.isEmpty() && entry.find(refuse.toStdString()) != std::string::npos;
        QCOMPARE(std::count(accepted.begin(), accepted.end(), request), refused ? 0 : 1);
    }
    QCOMPARE(rig.modem.store.size(), std::size_t(refuse.isEmpty() ? 0 : 1));
    for (const std::string& command : rig.port.written)
        QVERIFY2(command.find(';') == std::string::npos, command.c_str());
}

// A modem busy with a late delete answers nothing for a while: the list step has no list
// of its own, so it neither forwards nor deletes, even though the old list still shows.
void InboxSafetyTest::silentListDecidesNothing()
{
    Rig rig;
    rig.modem.store[1] = textEntry(senderOf(1), "first");
    run(rig, 30, {});
    QVERIFY(rig.modem.store.empty());
    rig.modem.store[1] = textEntry(senderOf(2), "arrived in the freed slot");
    for (const char* command : {"AT+CSQ\r\n", "AT+COPS?\r\n", "AT+CMGF=1\r\n", "AT+CMGL=\"ALL\"\r\n"})
        rig.modem.silentOrOdd[command] = "";
    // The last reply the modem gave is the old list: it shows again for each command that
    // gets none.
    for (int i = 0; i < 60 && (rig.cycle.running() || rig.exchange.waiting()); ++i)
        rig.clock.advance(500); // the cycle under way ends; no tick starts another
    rig.modem.silentOrOdd["AT\r\n"] = "\r\n+CMGL: 1" + textEntry(senderOf(1), "first") + "\r\n\r\nOK\r\n";
    rig.exchange.SendCommand({CommandKind::Query, "AT\r\n"}, [] {});
    rig.clock.advance(2000);
    QCOMPARE(rig.fields.text(Field::txtStatus), rig.modem.silentOrOdd["AT\r\n"]);
    const std::size_t before = rig.port.written.size();
    run(rig, 15, {});
    for (std::size_t i = before; i < rig.port.written.size(); ++i)
        QVERIFY(!rig.port.written[i].starts_with("AT+CMGD") && !rig.port.written[i].starts_with("AT+CMGR"));
    QCOMPARE(rig.modem.store.size(), std::size_t(1));
}

void InboxSafetyTest::readStillStreamingAtTheWindowsEndDecidesNothing_data()
{
    QTest::addColumn<int>("arrivalMs");
    QTest::addColumn<bool>("forwarded");
    QTest::newRow("all there at once") << 0 << true;
    QTest::newRow("last bytes 50 ms before the window closes") << 1950 << false;
}

// The read of a text holding an "OK" line, cut right after that line by the window's end.
void InboxSafetyTest::readStillStreamingAtTheWindowsEndDecidesNothing()
{
    QFETCH(int, arrivalMs);
    QFETCH(bool, forwarded);
    Rig rig;
    rig.modem.store[1] = textEntry(senderOf(1), "Reply\r\n\r\nOK");
    rig.modem.silentOrOdd["AT+CMGR=1\r\n"] = "";
    auto timer = rig.clock.createTimer();
    rig.port.respond = [&](const std::string& written) {
        if (written != "AT+CMGR=1\r\n")
            return rig.modem(written);
        const std::string cut = "\r\n+CMGR: " + textEntry(senderOf(1), "Reply\r\n\r\nOK").substr(1) + "\r\n";
        if (arrivalMs == 0)
            return cut;
        timer->start(arrivalMs, [&rig, cut] { rig.port.arrive(cut); });
        return std::string();
    };
    run(rig, 60, {});
    QCOMPARE(!rig.http.urls.empty(), forwarded);
}

QTEST_GUILESS_MAIN(InboxSafetyTest)
#include "test_inbox_safety.moc"
