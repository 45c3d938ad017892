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

// The port goes away under the program and comes back on the same path (a USB modem
// re-enumerating); a message arrives meanwhile. Nothing is lost, no box, no exit.
Scenario* vanishing()
{
    auto* s = onFastLink(modemCase("port vanishes and comes back", "29", {}, 3));
    s->modemArgs << "--cmti";
    s->steps.append({[](Scenario& c) { return c.storeEvents("delete ") >= 1; }, [](Scenario& c) {
                         c.modemControl("vanish-for 8\n");
                         const Sms later = messages("30", 1).first();
                         c.sms.append(later);
                         c.addMessage(later);
                     }});
    s->extraChecks = [](Scenario& c) {
        QStringList wrong;
        const QByteArray log = programLog(c);
        if (!log.contains("lost: ") || !log.contains("open again"))
            wrong << "the loss and the return were not logged";
        if (c.rig->gateway.state() != QProcess::Running)
            wrong << "the program ended";
        return wrong;
    };
    return s;
}

// The modem stops answering anything; the program closes and reopens the port after three
// silent commands, which ends the hang.
Scenario* hanging()
{
    auto* s = onFastLink(modemCase("modem hangs until reopened", "31", {}, 3));
    s->steps.append({[](Scenario& c) { return c.storeEvents("delete ") >= 1; },
                     [](Scenario& c) { c.modemControl("hang\n"); }});
    s->extraChecks = [](Scenario& c) {
        const QByteArray log = programLog(c);
        return log.contains("answered nothing to 3 commands") ? QStringList()
                                                              : QStringList{"no reopening logged"};
    };
    return s;
}

// Every SIM state: the right PIN is entered once and never shown; the others stop the
// program with exit code 77 and the state named, after at most one try.
Scenario* simCase(const QString& name, const QStringList& modemArgs, const QByteArray& ini, int exitCode,
                  int tries, const QByteArray& told)
{
    auto* s = new Scenario;
    s->name = name;
    s->sms = messages("32", 1);
    s->modemArgs << modemArgs;
    s->extraIni = ini;
    s->env.insert("QT_LOGGING_RULES", "zorvel.*.debug=true"); // the modem trace too
    if (exitCode != 0) {
        // Without a window the text goes to stderr and the program ends (with one, a box).
        s->rig->gatewayArgs = {"--no-window"};
        s->expectExact = false;
        s->finished = [](Scenario& c) { return c.rig->gateway.state() == QProcess::NotRunning; };
    }
    s->extraChecks = [exitCode, tries, told](Scenario& c) {
        QStringList wrong;
        const QByteArray log = programLog(c);
        if (log.contains("4321") || log.contains("9999"))
            wrong << "the PIN appears in the log";
        int made = 0;
        for (const ModemEvent& e : c.modemEvents())
            made += e.kind == "SIM";
        if (made != tries)
            wrong << QStringLiteral("%1 PIN tries, expected %2").arg(made).arg(tries);
        if (exitCode != 0) {
            if (c.rig->gateway.state() != QProcess::NotRunning || c.rig->gateway.exitCode() != exitCode)
                wrong << QStringLiteral("exit code %1, expected %2").arg(c.rig->gateway.exitCode()).arg(exitCode);
            if (!log.contains(told))
                wrong << "the state was not named: " + QString::fromLatin1(told);
            if (c.storeEvents("delete ") != 0)
                wrong << "a message was deleted";
        }
        return wrong;
    };
    return s;
}

// Where new messages are kept: a message in the modem's own memory is seen only when
// Storage names it.
Scenario* storageCase(const QByteArray& storage, bool seen, const QByteArray& link)
{
    auto* s = new Scenario;
    s->name = "Storage=" + storage + (link.isEmpty() ? ", design link" : "");
    s->sms = messages("33", 1);
    s->storedAtStart = false;
    s->extraIni = "Storage=" + storage + "\r\n" + link;
    s->steps.append({[](Scenario&) { return true; }, [](Scenario& c) {
                         QFile f(c.rig->path("inbox/.me"));
                         if (f.open(QIODevice::WriteOnly))
                             f.write(Scenario::storeBlock(c.sms[0]) + "storage: ME\n");
                         f.close();
                         QFile::rename(f.fileName(), c.rig->path("inbox/me.msg"));
                     }});
    s->expectExact = storage != "MT";
    if (!seen) {
        s->expectExact = false;
        s->finished = [](Scenario& c) { return c.seconds() > 25; };
    }
    s->extraChecks = [seen, storage](Scenario& c) {
        QStringList wrong;
        if (storage == "MT") {
            // The account follows slots by their index in one memory; through MT the
            // modem's own memory is numbered after the SIM's, so it is checked here.
            const bool delivered = c.requests().size() == 1 && c.requests()[0].status == 200;
            if (!delivered || c.storeEvents("delete 0 mem=ME") != 1)
                wrong << "the message in the modem's memory was not forwarded and deleted";
            c.account = Account{};
        }
        if (!programLog(c).contains("message storage " + storage + ": "))
            wrong << "the storage's use was not logged";
        if (!seen && (!c.requests().isEmpty() || c.storeEvents("delete ") != 0))
            wrong << "a message outside the chosen storage was forwarded or deleted";
        return wrong;
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
                            unsolicitedInList(2), hostileTexts(), pausedAfterTextsOk("a pause after a text's OK"),
                            pausedAfterTextsOk("a pause after a text's OK, no lengths", {"--no-csdh"})})
            cases_.emplace_back(onFastLink(s));
        const QStringList pin{"--sim-pin", "4321"};
        for (Scenario* s :
             {announcedPickup(), drained(), silentModem(), vanishing(), hanging(),
              simCase("SIM PIN, the right PIN", pin, fastLink + "PIN=4321\r\n", 0, 1, {}),
              simCase("SIM ready, PIN= empty, design link", {}, "PIN=\r\n", 0, 0, {}),
              simCase("SIM PIN, a wrong PIN, design link", pin, "PIN=9999\r\n", 77, 1, "did not take the PIN"),
              simCase("SIM PIN, none configured", pin, fastLink, 77, 0, "asks for its PIN (SIM PIN)"),
              simCase("SIM PUK", {"--sim-state", "puk"}, fastLink + "PIN=4321\r\n", 77, 0, "locked (SIM PUK)"),
              storageCase("ME", true, fastLink), storageCase("MT", true, fastLink),
              storageCase("SM", false, {})})
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
