// The modem side misbehaving, against the real program: silence, replies in pieces,
// unsolicited lines, junk, long replies, both echo styles, and a modem that goes away.
// Every case ends with the exact account; the cases run side by side, one row each.
#include <QtTest>

#include "e2e/ModemCases.h"
#include "e2e/Soak.h"

using namespace zorvel::testing;

namespace {

// A plain 27.005 modem prints <tooa>,<length> after the time stamp (as after AT+CSDH=1);
// the header rule puts them into the time value, which the web application receives.
const char* const extraHeaderFields = "kept for the web applications that read it: header fields after "
                                      "the time stamp go into the time value, as always sent";

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
                            hostileTexts(), pausedAfterTextsOk("a pause after a text's OK")})
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
