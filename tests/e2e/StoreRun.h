#pragma once
// A Scenario whose program keeps messages on disk (Store=1): its log kept in a file across
// restarts, kill -9 and restart, the receiver taken down and up on its port, and
// `zorvel --pending` read while it runs or between two runs.
#include <QRegularExpression>
#include <QSet>

#include <csignal>

#include "e2e/Scenario.h"

namespace zorvel::testing {

// The program's log lines that the store tests read ("<date> <time> <category>: <text>"),
// and the test's own marks between two runs ("<date> <time> test: killed").
struct GatewayLine {
    qint64 ms = 0;
    QByteArray text;  // after "<category>: "
};

inline QString gatewayLogPath(const Scenario& s) { return s.rig->path("gateway.log"); }

inline QList<GatewayLine> readGatewayLog(const QString& file)
{
    QList<GatewayLine> out;
    QFile log(file);
    if (!log.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& line : log.readAll().split('\n')) {
        const qsizetype colon = line.indexOf(": ", 24);
        if (line.size() < 24 || colon < 0)
            continue;
        const QDateTime at = QDateTime::fromString(QString::fromLatin1(line.left(23)), "yyyy-MM-dd HH:mm:ss.zzz");
        if (at.isValid())
            out.append({at.toMSecsSinceEpoch(), line.mid(colon + 2)});
    }
    return out;
}

inline QByteArray gatewayLogText(const Scenario& s)
{
    QFile log(gatewayLogPath(s));
    return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
}

inline void markGatewayLog(const Scenario& s, const QByteArray& what)
{
    QFile log(gatewayLogPath(s));
    if (log.open(QIODevice::WriteOnly | QIODevice::Append))
        log.write(QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss.zzz").toLatin1() + " test: " + what + "\n");
}

inline QProcessEnvironment gatewayEnvironment(const Scenario& s)
{
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("JOURNAL_STREAM");  // time-stamped lines, as in a file
    for (auto it = s.env.cbegin(); it != s.env.cend(); ++it)
        env.insert(it.key(), it.value());
    return env;
}

// Store=1 (and Decode=1 unless told otherwise), without window as a service runs it, the
// log appended to gateway.log unless `logFile` is false (then it stays on the QProcess's
// channel); call before startScenario.
// Decoded mode tells messages apart by their sender and needs one exchange per message
// taken in.
inline void useStore(Scenario& s, const QByteArray& moreIni = "Decode=1\r\n", bool logFile = true)
{
    s.extraIni += "Store=1\r\n" + moreIni;
    s.storedAtStart = false;
    s.modemArgs = {};
    s.expectExact = false;  // the account of the cycle without a store does not apply
    s.rig->gatewayArgs = {"--no-window"};
    const Action before = s.beforeStart;
    s.beforeStart = [before, logFile](Scenario& c) {
        if (logFile)
            c.rig->gateway.setStandardErrorFile(gatewayLogPath(c), QIODevice::Append);
        if (before)
            before(c);
    };
}

inline bool restartGateway(Scenario& s)
{
    markGatewayLog(s, "started again");
    return s.rig->startGateway(s.extraIni, gatewayEnvironment(s));
}

inline void killGateway(Scenario& s)
{
    s.rig->gateway.kill();  // SIGKILL
    s.rig->gateway.waitForFinished(5000);
    markGatewayLog(s, "killed");
}

inline void receiverDown(Scenario& s)
{
    s.rig->receiver.kill();
    s.rig->receiver.waitForFinished(5000);
    markGatewayLog(s, "receiver down");
}

inline bool receiverUp(Scenario& s)
{
    markGatewayLog(s, "receiver up");
    return s.rig->startReceiver({"--port", s.rig->address.section(':', 1)});
}

// `zorvel --folder DIR --pending`: its exit code and the lines of waiting messages (each
// starts with the message's id; the table's head, "No messages waiting." and the parts of
// long messages not joined yet are left out).
struct Pending {
    int exitCode = -1;
    QList<QByteArray> lines;
    QByteArray errors;
    bool has(const QByteArray& needle) const
    {
        return std::any_of(lines.cbegin(), lines.cend(), [&](const QByteArray& l) { return l.contains(needle); });
    }
};

inline Pending readPending(const Scenario& s)
{
    QProcess p;
    p.setProcessEnvironment(gatewayEnvironment(s));
    p.start(GatewayRig::tool("zorvel"), {"--folder", s.rig->dir.path(), "--pending"});
    Pending out;
    if (!p.waitForFinished(15000)) {
        p.kill();
        p.waitForFinished(3000);
        out.errors = "--pending did not end within 15 s";
        return out;
    }
    out.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    static const QRegularExpression message("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}  ");
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        if (line.startsWith("Parts of long messages"))
            break;
        if (message.match(QString::fromLatin1(line)).hasMatch())
            out.lines.append(line);
    }
    out.errors = p.readAllStandardError();
    return out;
}

// Senders whose slot the modem deleted, in the order of the deletes.
inline QList<QByteArray> deletedSenders(const QList<ModemEvent>& modem)
{
    QList<QByteArray> out;
    QHash<QByteArray, QByteArray> slot;  // index -> sender
    for (const ModemEvent& e : modem) {
        if (e.kind != "STORE")
            continue;
        if (e.details.startsWith("add ")) {
            const int from = e.details.indexOf("from=\""), end = e.details.lastIndexOf(" source=");
            slot.insert(e.details.split(' ').value(1), unescapeLogged(e.details.mid(from + 5, end - from - 5)));
        } else if (e.details.startsWith("delete ")) {
            out.append(slot.take(e.details.mid(7).trimmed()));
        }
    }
    return out;
}

// The Idempotency-Key values the program sends: a quoted UUID.
inline bool wellFormedKey(const QByteArray& key)
{
    static const QRegularExpression shape(R"(^"[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}"$)");
    return shape.match(QString::fromLatin1(key)).hasMatch();
}

// What the web application saw of the messages of a run with the store.
struct StoreAccount {
    int accepted = 0;     // messages with at least one 2xx, exact bytes
    int requests = 0;
    int repeats = 0;      // 2xx beyond the first for a message
    int garbled = 0;
    int lost = 0;         // deleted from the modem, never accepted
    QStringList problems;

    QString summary() const
    {
        return QStringLiteral("accepted %1 requests %2 repeats %3 garbled %4 lost %5%6")
            .arg(accepted).arg(requests).arg(repeats).arg(garbled).arg(lost)
            .arg(problems.isEmpty() ? QString() : " | " + problems.mid(0, 8).join("; "));
    }
};

// `kills`: when the program (or the receiver, which may die between writing its record of
// a 2xx and sending it) was killed. A repeat is only accepted after a 2xx that such a kill
// followed within `repeatWindowMs`, and it carries the key of the first request.
inline StoreAccount settleStore(const QList<Sms>& sent, const QByteArray& key, const QList<WebRequest>& requests,
                                const QList<ModemEvent>& modem, const QList<qint64>& kills,
                                qint64 repeatWindowMs = 2000)
{
    StoreAccount a;
    QHash<QByteArray, const Sms*> bySender;
    for (const Sms& s : sent)
        bySender.insert(s.sender, &s);
    QHash<QByteArray, QSet<QByteArray>> keysOf;  // sender -> Idempotency-Keys seen
    QHash<QByteArray, QByteArray> senderOfKey;
    QHash<QByteArray, qint64> last2xx;
    for (const WebRequest& r : requests) {
        ++a.requests;
        const Sms* s = bySender.value(r.sender);
        if (!s || r.key != key || r.time != s->time || r.message != s->text) {
            ++a.garbled;
            a.problems << "request with unknown bytes from " + QString::fromLatin1(r.sender.toPercentEncoding());
            continue;
        }
        keysOf[r.sender].insert(r.idempotencyKey);
        if (!wellFormedKey(r.idempotencyKey))
            a.problems << QStringLiteral("Idempotency-Key %1 is no quoted UUID").arg(QString::fromLatin1(r.idempotencyKey));
        const QByteArray other = senderOfKey.value(r.idempotencyKey);
        if (!other.isEmpty() && other != r.sender)
            a.problems << "one key for two messages: " + QString::fromLatin1(other + " and " + r.sender);
        senderOfKey.insert(r.idempotencyKey, r.sender);
        if (r.status < 200 || r.status > 299)
            continue;
        if (!last2xx.contains(r.sender)) {
            ++a.accepted;
        } else {
            ++a.repeats;
            const qint64 before = last2xx.value(r.sender);
            const bool killed = std::any_of(kills.cbegin(), kills.cend(), [&](qint64 k) {
                return k >= before && k <= r.ms && k - before <= repeatWindowMs;
            });
            if (!killed)
                a.problems << "accepted again with no kill right after its 2xx: " + QString::fromLatin1(r.sender);
        }
        last2xx.insert(r.sender, r.ms);
    }
    for (auto it = keysOf.cbegin(); it != keysOf.cend(); ++it)
        if (it.value().size() != 1)
            a.problems << QStringLiteral("%1 keys for %2").arg(it.value().size()).arg(QString::fromLatin1(it.key()));
    for (const QByteArray& sender : deletedSenders(modem))
        if (!last2xx.contains(sender)) {
            ++a.lost;
            a.problems << "deleted, never accepted: " + QString::fromLatin1(sender);
        }
    return a;
}

// The store's account of a case; the cycle's own account, which counts every delete before
// a 2xx as a loss, is replaced by it in the fault table.
inline StoreAccount settleStoreCase(Scenario& s, const QList<qint64>& kills = {})
{
    const StoreAccount a = settleStore(s.sms, s.rig->key, s.requests(), s.modemEvents(), kills);
    s.account = Account{};
    s.account.lost = a.lost;
    s.notes << a.summary();
    return a;
}

// Times of the test's kill marks in the program's log (kind: "killed", "receiver down").
inline QList<qint64> marks(const Scenario& s, const QByteArray& kind)
{
    QList<qint64> out;
    for (const GatewayLine& l : readGatewayLog(gatewayLogPath(s)))
        if (l.text == kind)
            out.append(l.ms);
    return out;
}

// Messages with a UTF-8 text of awkward pieces (decoded mode gives UTF-8 back), each with
// a sender of its own.
inline QList<Sms> storeMessages(const QByteArray& tag, int n, QRandomGenerator& random)
{
    static const QList<QByteArray> pieces{"Tom & Jerry", "2+2=4", "#1", "100% sure", "caf\xC3\xA9", "a=b&c=d",
                                          "?/,:;", "\xE2\x82\xAC 5", "\"quoted\"", "~_.-", "\xF0\x9F\x91\x8D"};
    QList<Sms> out;
    for (int i = 0; i < n; ++i) {
        QByteArray text = "store " + tag + " " + QByteArray::number(i);
        for (int k = 1 + int(random.bounded(3)); k > 0; --k)
            text += (random.bounded(5) == 0 ? "\n" : " ") + pieces[int(random.bounded(int(pieces.size())))];
        out.append({"+1555" + tag + QByteArray::number(10000 + i),
                    QStringLiteral("26/12/%1,%2:%3:05+04")
                        .arg(1 + i % 28, 2, 10, QChar('0')).arg(i / 60 % 24, 2, 10, QChar('0'))
                        .arg(i % 60, 2, 10, QChar('0')).toLatin1(),
                    text});
    }
    return out;
}

// The port's lock file QSerialPort leaves in /run/lock when the program is killed.
inline void removePortLock(const Scenario& s)
{
    QString name = s.rig->path("ports/com3");
    QFile::remove("/run/lock/LCK.." + name.replace('/', '_'));
}

} // namespace zorvel::testing
