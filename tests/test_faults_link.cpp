// The held link (Link=fast) against the real program and the simulated modem: the modem's
// odd replies, texts imitating its lines, announced pickup, draining a full inbox, and a
// modem that stops answering. Every case ends with the exact account; the cases run side
// by side, one row each.
#include <QtTest>

#include "e2e/ModemCases.h"
#include "e2e/Soak.h"

using namespace zorvel::testing;

namespace {

const QByteArray fastLink = "Link=fast\r\n";
const QByteArray decoded = "PDUmode=1\r\nDecode=1\r\n";

// In decoded mode a text arrives as UTF-8: these texts are UTF-8 already.
QList<Sms> decodedMessages(const QByteArray& tag, int n)
{
    QList<Sms> out;
    for (int i = 0; i < n; ++i)
        out.append({"+1555" + tag + QByteArray::number(i),
                    "26/12/07,10:" + QByteArray::number(i).rightJustified(2, '0') + ":00+04",
                    "Tom & Jerry #" + QByteArray::number(i) + " caf\xC3\xA9 2+2=4\nOK"});
    return out;
}

Scenario* onFastLink(Scenario* s, const QByteArray& more = {})
{
    s->extraIni += fastLink + more;
    return s;
}

// What the program wrote to stderr so far (its log), kept for later reads.
QByteArray programLog(Scenario& c)
{
    static std::map<Scenario*, QByteArray> kept;
    kept[&c] += c.rig->gateway.readAllStandardError();
    return kept[&c];
}

// Messages arriving one by one while the program idles: each must reach the web
// application well inside the 10 s between lists, so the announcement started its cycle.
Scenario* announcedPickup()
{
    auto* s = onFastLink(new Scenario, decoded);
    s->name = "announced pickup";
    s->sms = decodedMessages("21", 3);
    s->storedAtStart = false;
    s->modemArgs = {"--mode", "pdu", "--cmti"};
    for (int i = 0; i < 3; ++i)
        s->steps.append({[i](Scenario& c) { return c.seconds() >= 6 + 4 * i; },
                         [i](Scenario& c) { c.addMessage(c.sms[i]); }});
    s->extraChecks = [](Scenario& c) {
        qint64 longest = 0;
        for (const ModemEvent& e : c.modemEvents()) {
            if (e.kind != "STORE" || !e.details.startsWith("add "))
                continue;
            for (const WebRequest& r : c.requests())
                if (e.details.contains("from=\"" + r.sender + "\""))
                    longest = std::max(longest, r.ms - e.ms);
        }
        c.notes << QStringLiteral("longest pickup %1 ms").arg(longest);
        return longest <= 2000 ? QStringList() : QStringList{"a message waited for the next list"};
    };
    return s;
}

// Twenty messages waiting at start go out one after the other, not one per cycle.
Scenario* drained()
{
    auto* s = onFastLink(new Scenario, decoded);
    s->name = "20 waiting messages drained";
    s->sms = decodedMessages("22", 20);
    s->modemArgs = {"--mode", "pdu"};
    s->extraChecks = [](Scenario& c) {
        const QList<WebRequest> got = c.requests();
        if (got.size() < 20)
            return QStringList{"not all arrived"};
        const qint64 span = got.last().ms - got.first().ms;
        c.notes << QStringLiteral("first to last %1 ms").arg(span);
        return span <= 5000 ? QStringList() : QStringList{"the inbox was not drained in one go"};
    };
    return s;
}

// Nothing answered at all for a while: after three silent commands the port is closed and
// opened again, and once the modem answers everything goes out.
Scenario* silentModem()
{
    auto* s = onFastLink(modemCase("modem silent, then back", "23", {"--silent", "AT"}, 2));
    s->steps.append({[](Scenario& c) { return c.commands("AT") >= 7; },
                     [](Scenario& c) { c.modemControl("clear\n"); }});
    s->extraChecks = [](Scenario& c) {
        const QByteArray log = programLog(c);
        if (!log.contains("answered nothing to 3 commands in a row") || !log.contains("open again"))
            return QStringList{"no reopening logged"};
        return QStringList();
    };
    return s;
}

} // namespace

class FaultsLink : public QObject {
    Q_OBJECT
    Cases cases_;

private slots:
    void initTestCase()
    {
        Scenario* pieces = modemCase("reply in 40 pieces", "24", {"--pieces", "40", "--piece-delay", "15"});
        Scenario* longList = modemCase("list reply over 1024 bytes", "25", {});
        longList->sms = messages("25", 8, 160);
        Scenario* generic = modemCase("generic modem, decoded", "26", {"--profile", "generic", "--mode", "pdu"});
        generic->extraIni += decoded;
        generic->sms = decodedMessages("26", 2);
        for (Scenario* s : {modemCase("echo on, Huawei style", "27", {}),
                            modemCase("echo off, Huawei style", "28", {"--echo", "off"}), generic, pieces,
                            longList, arrivingWithJunk(), unsolicitedInList(0), unsolicitedInList(1),
                            unsolicitedInList(2), hostileTexts()})
            cases_.emplace_back(onFastLink(s));
        for (Scenario* s : {announcedPickup(), drained(), silentModem()})
            cases_.emplace_back(s);
        for (auto& s : cases_)
            s->limitSeconds = std::min(s->limitSeconds, 90);
        runAndReport(cases_);
    }

    void account_data() { addAccountRows(cases_); }
    void account()
    {
        QFETCH(int, which);
        verifyAccount(*cases_[which]);
    }
};

QTEST_GUILESS_MAIN(FaultsLink)
#include "test_faults_link.moc"
