// The modem side misbehaving, against the real program: silence, replies in pieces,
// unsolicited lines, junk, long replies, both echo styles, and a modem that goes away.
// Every case ends with the exact account; the cases run side by side, one row each.
#include <QtTest>

#include "e2e/Soak.h"

using namespace zorvel::testing;

namespace {

QList<Sms> messages(const QByteArray& tag, int n, int length = 0)
{
    QList<Sms> out;
    for (int i = 0; i < n; ++i) {
        QByteArray text = "Tom & Jerry #" + QByteArray::number(i) + " caf\xE9 2+2=4\nOK";
        while (text.size() < length)
            text += " 100% a=b&c";
        out.append({"+1555" + tag + QByteArray::number(i), "26/12/07,10:0" + QByteArray::number(i) + ":00+04",
                    length ? text.left(length) : text});
    }
    return out;
}

Scenario* modemCase(const QString& name, const QByteArray& tag, const QStringList& args, int n = 2)
{
    auto* s = new Scenario;
    s->name = name;
    s->sms = messages(tag, n);
    s->modemArgs << args;
    return s;
}

// A plain 27.005 modem prints <tooa>,<length> after the time stamp (as after AT+CSDH=1);
// the header rule puts them into the time value, which the web application receives.
const char* const extraHeaderFields = "kept as designed: header fields after the time stamp go into "
                                      "the time value";

// Applies `control` to the modem once `count` commands starting with `prefix` were seen.
void after(Scenario* s, const QByteArray& prefix, int count, const QByteArray& control)
{
    s->steps.append({[prefix, count](Scenario& c) { return c.commands(prefix) >= count; },
                     [control](Scenario& c) { c.modemControl(control); }});
}

// The list reply for the case's one stored SMS with an unsolicited line at `where`:
// 0 before the entry, 1 between header and text, 2 between text and the final OK.
Scenario* unsolicitedInList(int where)
{
    static const char* names[] = {"^RSSI before the first entry", "^RSSI between header and text",
                                  "+CMTI between text and OK"};
    auto* s = new Scenario;
    s->name = names[where];
    s->sms = {{"+155509" + QByteArray::number(where), "26/12/07,09:16:40+04", "Hello there"}};
    const QByteArray header = "\\r\\n+CMGL: 0,\\\"REC UNREAD\\\",\\\"" + s->sms[0].sender
        + "\\\",,\\\"" + s->sms[0].time + "\\\"\\r\\n";
    const QByteArray urc = where == 2 ? "\\r\\n+CMTI: \\\"SM\\\",1\\r\\n" : "\\r\\n^RSSI:18\\r\\n";
    QByteArray reply = where == 0 ? urc + header + "Hello there\\r\\n" : header;
    if (where == 1)
        reply += urc + "Hello there\\r\\n";
    if (where == 2)
        reply += "Hello there\\r\\n" + urc;
    reply += "\\r\\nOK\\r\\n";
    s->modemArgs << "--reply" << QString::fromLatin1("AT+CMGL=" + reply);
    // The canned list goes away once the SMS was deleted.
    after(s, "AT+CMGD", 1, "clear\n");
    return s;
}

Scenario* silentDelete()
{
    Scenario* s = modemCase("no reply to AT+CMGD, once", "04", {"--silent", "AT+CMGD"});
    after(s, "AT+CMGD", 1, "clear\n");
    s->extraChecks = [](Scenario& c) {
        return c.account.failedDeletes == 1 ? QStringList() : QStringList{"expected one unanswered delete"};
    };
    return s;
}

Scenario* arrivingWithJunk()
{
    auto* s = new Scenario;
    s->name = "junk between exchanges, +CMTI";
    s->sms = messages("07", 2);
    s->storedAtStart = false;
    s->modemArgs << "--junk-every" << "120" << "--cmti";
    for (int i = 0; i < 2; ++i)
        s->steps.append({[i](Scenario& c) { return c.seconds() >= 3 + 17 * i; },
                         [i](Scenario& c) { c.addMessage(c.sms[i]); }});
    return s;
}

// An SMS imitating a list entry for the next slot, and one holding a blank line and "OK",
// in text mode. The receiver refuses the first for good; its imitation must never go out
// nor delete the slot it names, and the second must arrive whole.
Scenario* hostileTexts()
{
    auto* s = new Scenario;
    s->name = "texts imitating an entry and an OK";
    const QByteArray stamp = "26/12/07,10:00:00+04";
    s->sms = {{"+15550960", stamp, "hi, this imitates\n+CMGL: 1,\"REC UNREAD\",\"+15550969\",,\"" + stamp +
                                       "\"\nfake"},
              {"+15550961", stamp, "victim"},
              {"+15550962", stamp, "Please answer\n\nOK\nor NO"}};
    s->receiverArgs = {"--refuse-message-containing", "imitates"};
    s->expectExact = false;
    s->finished = [](Scenario& c) { return c.storeEvents("delete ") >= 2 && c.seconds() > 45; };
    s->extraChecks = [](Scenario& c) {
        const Account& a = c.account;
        if (a.arrived == 2 && a.deleted == 2 && a.deletedWithout2xx == 0 && a.lost == 0 && a.garbled == 0 &&
            a.stillStored == 1)
            return QStringList();
        return QStringList{"expected the two others forwarded whole and deleted, the refused one kept: " +
                           a.summary()};
    };
    return s;
}

// The modem goes away after the first forward: the program shows the port box and sends
// nothing more; what was still stored was never deleted. Under the offscreen platform
// the box cannot be answered, so the checks are: no spinning, no command to a modem that
// appears on the same path afterwards.
Scenario* vanishing()
{
    auto* s = new Scenario;
    s->name = "modem vanishes while running";
    s->sms = messages("08", 3);
    s->expectExact = false;
    auto cpu = std::make_shared<double>(0);
    auto killedAt = std::make_shared<double>(0);
    s->steps.append({[](Scenario& c) { return c.storeEvents("delete ") >= 1; }, [killedAt](Scenario& c) {
                         c.rig->modem.kill();
                         *killedAt = c.seconds();
                     }});
    s->steps.append({[killedAt](Scenario& c) { return c.seconds() >= *killedAt + 8; }, [cpu](Scenario& c) {
                         *cpu = usageOf(c.rig->gateway.processId()).cpu;
                     }});
    s->steps.append({[killedAt](Scenario& c) { return c.seconds() >= *killedAt + 13; }, [cpu](Scenario& c) {
                         const double used = usageOf(c.rig->gateway.processId()).cpu - *cpu;
                         c.notes << QStringLiteral("CPU %1 s in 5 s with the box up").arg(used, 0, 'f', 2);
                         if (used > 0.5)
                             c.failures << "the program spins after the modem went away";
                         auto again = std::make_unique<QProcess>();
                         again->start(GatewayRig::tool("zorvel-simmodem"),
                                      {"--link", c.rig->path("ports/com3"), "--mode", "text", "--log",
                                       c.rig->path("modem2.log")});
                         c.helpers.push_back(std::move(again));
                     }});
    s->steps.append({[killedAt](Scenario& c) { return c.seconds() >= *killedAt + 27; }, [](Scenario&) {}});
    s->finished = [](Scenario&) { return true; };
    s->extraChecks = [](Scenario& c) {
        QStringList wrong;
        int later = 0;
        for (const ModemEvent& e : readModemLog(c.rig->path("modem2.log")))
            later += e.kind == "CMD";
        if (later > 0)
            wrong << QStringLiteral("%1 commands went to the modem after the port box").arg(later);
        if (c.rig->gateway.state() != QProcess::Running)
            wrong << "the program ended without the port box (or the box was not modal)";
        const Account& a = c.account;
        if (a.lost != 0 || a.deletedWithout2xx != 0 || a.deleted != a.acknowledged || a.garbled != 0
            || a.stillStored != c.sms.size() - a.deleted)
            wrong << "account: " + a.summary();
        return wrong;
    };
    return s;
}

} // namespace

class FaultsModem : public QObject {
    Q_OBJECT
    Cases cases_;

private slots:
    void initTestCase()
    {
        Scenario* silent = modemCase("no reply to AT+CSQ and AT+CMGL", "03",
                                     {"--silent", "AT+CSQ", "--silent", "AT+CMGL"});
        after(silent, "AT+CMGL", 2, "silent AT+CSQ\nclear\nsilent AT+CSQ\n");
        Scenario* longList = modemCase("list reply over 1024 bytes", "06", {});
        longList->sms = messages("06", 8, 160);
        longList->limitSeconds = 170;
        Scenario* genericEcho = modemCase("echo on, generic modem (LF echoed)", "11", {"--profile", "generic"});
        genericEcho->knownFault = extraHeaderFields;
        Scenario* genericNoEcho = modemCase("echo off, generic modem", "12",
                                            {"--profile", "generic", "--echo", "off"});
        genericNoEcho->knownFault = extraHeaderFields;
        for (Scenario* s : {modemCase("echo on, Huawei style", "01", {}),
                            modemCase("echo off, Huawei style", "02", {"--echo", "off"}), genericEcho,
                            genericNoEcho,
                            modemCase("reply in 40 pieces", "05", {"--pieces", "40", "--piece-delay", "15"}),
                            silent, silentDelete(), arrivingWithJunk(), unsolicitedInList(0),
                            unsolicitedInList(1), unsolicitedInList(2), longList, vanishing(),
                            hostileTexts()})
            cases_.emplace_back(s);
        runAndReport(cases_);
    }

    void account_data() { addAccountRows(cases_); }
    void account()
    {
        QFETCH(int, which);
        verifyAccount(*cases_[which]);
    }
};

QTEST_GUILESS_MAIN(FaultsModem)
#include "test_faults_modem.moc"
