#pragma once
// Fault cases that run side by side: each has its own program, modem and receiver, steps
// that fire when a condition holds (start a helper late, change a fault), and ends when
// its stored SMS are gone from the modem or its time is up. Each case takes a cycle of
// ten seconds per SMS, so running them together keeps the suite short.
#include <QElapsedTimer>
#include <QTcpServer>
#include <QtTest>

#include <functional>
#include <memory>

#include "e2e/Account.h"
#include "e2e/GatewayRig.h"

namespace zorvel::testing {

struct Scenario;
using Condition = std::function<bool(Scenario&)>;
using Action = std::function<void(Scenario&)>;

struct Scenario {
    QString name;
    QList<Sms> sms;                 // every SMS of the case
    bool storedAtStart = true;      // false: steps add them while the program runs
    QStringList modemArgs{"--mode", "text"};
    QStringList receiverArgs;       // empty list and startReceiverAtOnce: plain receiver
    bool startReceiverAtOnce = true;
    QByteArray extraIni;
    QMap<QString, QString> env;     // added to the program's environment
    int timeoutMs = 60000;          // the program's forwarding time-out, for the account
    int limitSeconds = 150;         // the case ends here at the latest
    Condition finished;             // default: every SMS stored was deleted
    QList<std::pair<Condition, Action>> steps;  // each fires once, in order
    // Checks beyond the account; returns what is wrong, or nothing.
    std::function<QStringList(Scenario&)> extraChecks;
    Action onTick;                  // runs every half second while the case runs
    Action beforeStart;             // runs before any helper starts
    // Where the requests are read from when the receiver is not the project's own.
    std::function<QList<WebRequest>(const Scenario&)> requestSource;
    std::vector<std::unique_ptr<QProcess>> helpers;  // further processes of the case
    bool expectExact = true;        // false: the case leaves SMS on the modem on purpose
    QString knownFault;             // a fault of the program this case shows
    QString blockedBy;              // what keeps the case from running as meant

    std::unique_ptr<GatewayRig> rig = std::make_unique<GatewayRig>();
    QElapsedTimer clock;
    int nextStep = 0;
    bool done = false;
    bool timedOut = false;
    QString startError;
    QStringList notes;              // figures worth printing
    Account account;
    QStringList failures;

    double seconds() const { return clock.isValid() ? clock.elapsed() / 1000.0 : 0; }
    QList<ModemEvent> modemEvents() const { return readModemLog(rig->path("modem.log")); }
    QList<WebRequest> requests() const
    {
        return requestSource ? requestSource(*this) : readReceiverLog(rig->path("received.jsonl"));
    }
    ~Scenario()
    {
        for (auto& p : helpers) {
            p->terminate();
            if (!p->waitForFinished(3000))
                p->kill();
            p->waitForFinished(3000);
        }
    }
    int commands(const QByteArray& prefix) const
    {
        int n = 0;
        for (const ModemEvent& e : modemEvents())
            n += e.kind == "CMD" && unescapeLogged(e.details).startsWith(prefix);
        return n;
    }
    int storeEvents(const QByteArray& what) const
    {
        int n = 0;
        for (const ModemEvent& e : modemEvents())
            n += e.kind == "STORE" && e.details.startsWith(what);
        return n;
    }
    // A control file for the simulated modem, taken in at once.
    void modemControl(const QByteArray& lines)
    {
        static int serial = 0;
        const QString name = QStringLiteral("c%1").arg(++serial);
        QFile f(rig->path("inbox/." + name));
        if (f.open(QIODevice::WriteOnly)) {
            f.write(lines);
            f.close();
            QFile::rename(f.fileName(), rig->path("inbox/" + name + ".ctl"));
        }
    }
    void addMessage(const Sms& s)
    {
        static int serial = 0;
        const QString name = QStringLiteral("m%1").arg(++serial);
        QFile f(rig->path("inbox/." + name));
        if (f.open(QIODevice::WriteOnly)) {
            f.write(storeBlock(s));
            f.close();
            QFile::rename(f.fileName(), rig->path("inbox/" + name + ".msg"));
        }
    }
    static QByteArray storeBlock(const Sms& s)
    {
        return "from: " + s.sender + "\ntime: " + s.time + "\ntext-hex: " + s.text.toHex() + "\n";
    }
};

inline QByteArray storeOf(const QList<Sms>& list)
{
    QByteArray out;
    for (const Sms& s : list)
        out += Scenario::storeBlock(s) + "\n";
    return out;
}

// A port on 127.0.0.1 that nothing listens on right now.
inline quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

inline void startScenario(Scenario& s)
{
    GatewayRig& rig = *s.rig;
    s.clock.start();
    if (s.beforeStart)
        s.beforeStart(s);
    if (!s.startError.isEmpty())
        return;
    if (s.startReceiverAtOnce && !rig.startReceiver(s.receiverArgs)) {
        s.startError = "the web receiver did not start";
        return;
    }
    if (!rig.startModem(s.storedAtStart ? storeOf(s.sms) : QByteArray(), s.modemArgs)) {
        s.startError = "the simulated modem did not start";
        return;
    }
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    for (auto it = s.env.cbegin(); it != s.env.cend(); ++it)
        env.insert(it.key(), it.value());
    if (!rig.startGateway(s.extraIni, env))
        s.startError = "the program did not start";
}

inline bool everySmsDeleted(Scenario& s)
{
    return s.storeEvents("delete ") >= s.sms.size() && !s.sms.isEmpty();
}

// Runs every case at once until each has finished or reached its limit, then settles
// the accounts.
inline void runTogether(QList<Scenario*> cases)
{
    for (Scenario* s : cases) {
        // ZORVEL_KEEP_RUNS=1 keeps each case's folder (logs, ini) for a closer look.
        if (qEnvironmentVariableIsSet("ZORVEL_KEEP_RUNS")) {
            s->rig->dir.setAutoRemove(false);
            s->notes << s->rig->dir.path();
        }
        startScenario(*s);
    }
    for (;;) {
        bool all = true;
        for (Scenario* s : cases) {
            if (s->done)
                continue;
            if (!s->startError.isEmpty() || s->seconds() > s->limitSeconds) {
                s->done = true;
                s->timedOut = s->startError.isEmpty();
                continue;
            }
            if (s->onTick)
                s->onTick(*s);
            while (s->nextStep < s->steps.size() && s->steps[s->nextStep].first(*s))
                s->steps[s->nextStep++].second(*s);
            const bool ended = s->nextStep == s->steps.size()
                && (s->finished ? s->finished(*s) : everySmsDeleted(*s));
            if (ended) {
                s->notes << QStringLiteral("%1 s").arg(s->seconds(), 0, 'f', 0);
                s->done = true;
                // The last delete's reply window ends before anything else is read.
                QTest::qWait(100);
            }
            all = all && s->done;
        }
        if (all)
            break;
        QTest::qWait(500);
    }
    for (Scenario* s : cases) {
        if (s->rig->gateway.state() != QProcess::Running && s->startError.isEmpty()
            && s->rig->gateway.exitStatus() == QProcess::CrashExit)
            s->failures << "the program crashed";
        if (!s->startError.isEmpty())
            s->failures << s->startError;
        if (s->timedOut)
            s->notes << QStringLiteral("limit %1 s reached").arg(s->limitSeconds);
        s->account = settle(s->sms, s->rig->key, s->requests(), s->modemEvents(), s->timeoutMs);
        if (s->expectExact && !s->account.exact(int(s->sms.size())))
            s->failures << "account: " + s->account.summary();
        if (s->extraChecks)
            s->failures << s->extraChecks(*s);
    }
}

// One row per case in the test log: case, result, SMS lost, and the account.
inline void printFaultTable(const QList<Scenario*>& cases)
{
    qInfo("%-34s | %-12s | %-8s | %s", "case", "result", "SMS lost", "account");
    for (const Scenario* s : cases) {
        const QString result = s->failures.isEmpty() ? QStringLiteral("pass")
            : !s->knownFault.isEmpty() ? QStringLiteral("KNOWN FAULT")
            : !s->blockedBy.isEmpty() ? QStringLiteral("BLOCKED") : QStringLiteral("FAIL");
        qInfo("%-34s | %-12s | %-8d | %s%s", qPrintable(s->name), qPrintable(result), s->account.lost,
              qPrintable(s->account.summary()),
              qPrintable(s->notes.isEmpty() ? QString() : " [" + s->notes.join(", ") + "]"));
    }
}

// The cases of one test program: run side by side, their fault table printed, then one
// data row each for the account check.
using Cases = std::vector<std::unique_ptr<Scenario>>;

inline void runAndReport(const Cases& cases)
{
    QList<Scenario*> all;
    for (const auto& s : cases)
        all.append(s.get());
    runTogether(all);
    printFaultTable(all);
}

inline void addAccountRows(const Cases& cases)
{
    QTest::addColumn<int>("which");
    for (int i = 0; i < int(cases.size()); ++i)
        QTest::newRow(qPrintable(cases[i]->name)) << i;
}

// One check per case, so that a case whose fault is kept on purpose (knownFault says
// why) is one expected failure. Called last in a test function: a blocked case skips it.
inline void verifyAccount(Scenario& s)
{
    if (!s.blockedBy.isEmpty() && !s.failures.isEmpty())
        QSKIP(qPrintable(s.blockedBy));
    if (!s.knownFault.isEmpty())
        QEXPECT_FAIL("", qPrintable(s.knownFault), Continue);
    QVERIFY2(s.failures.isEmpty() && s.account.lost == 0,
             qPrintable(QStringLiteral("SMS lost: %1; ").arg(s.account.lost) + s.failures.join("; ")));
}

} // namespace zorvel::testing
