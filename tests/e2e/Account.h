#pragma once
// The exact account of one run, from the two helpers' logs: which stored SMS reached the
// web application with exact bytes, which were deleted, and whether every delete followed
// a 2xx for that very message. Messages are told apart by their sender, so every SMS of a
// run gets a sender of its own.
#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <algorithm>

namespace zorvel::testing {

struct Sms {
    QByteArray sender, time, text;
};

// One request as the web application saw it.
struct WebRequest {
    qint64 ms = 0;          // when it arrived
    int status = 0;         // 0: connection reset without an answer
    int delayMs = 0;        // answer held back this long
    QByteArray path, key, sender, time, message;
    QByteArray idempotencyKey;  // the header's value as sent, quotes included
};

// One line of the modem's log, time stamp in ms.
struct ModemEvent {
    qint64 ms = 0;
    QByteArray kind, details;
};

// The bytes of a value the simulated modem logged in double quotes with escapes.
inline QByteArray unescapeLogged(const QByteArray& quoted)
{
    QByteArray out;
    const QByteArray s = quoted.startsWith('"') && quoted.endsWith('"') && quoted.size() >= 2
        ? quoted.mid(1, quoted.size() - 2) : quoted;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 >= s.size()) {
            out += s[i];
            continue;
        }
        const char e = s[++i];
        switch (e) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'x': out += char(s.mid(i + 1, 2).toInt(nullptr, 16)); i += 2; break;
        default: out += e; break;
        }
    }
    return out;
}

inline QList<ModemEvent> readModemLog(const QString& file)
{
    QList<ModemEvent> out;
    QFile log(file);
    if (!log.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& line : log.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() < 2)
            continue;
        ModemEvent e;
        e.ms = QDateTime::fromString(QString::fromLatin1(parts[0]), Qt::ISODateWithMs).toMSecsSinceEpoch();
        e.kind = parts[1];
        e.details = line.mid(parts[0].size() + parts[1].size() + 2);
        out.append(e);
    }
    return out;
}

// The local web receiver's JSON lines.
inline QList<WebRequest> readReceiverLog(const QString& file)
{
    QList<WebRequest> out;
    QFile log(file);
    if (!log.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& line : log.readAll().split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        WebRequest r;
        r.ms = qint64(o.value("ms").toDouble());
        r.status = o.value("status").toInt();
        r.delayMs = o.value("delay_ms").toInt();
        r.path = o.value("path").toString().toLatin1();
        r.idempotencyKey = o.value("idempotency_key").toString().toLatin1();
        for (const QJsonValue& p : o.value("params").toArray()) {
            const QByteArray bytes = QByteArray::fromHex(p.toObject().value("hex").toString().toLatin1());
            const QString name = p.toObject().value("name").toString();
            if (name == "key") r.key = bytes;
            else if (name == "sender") r.sender = bytes;
            else if (name == "time") r.time = bytes;
            else if (name == "message") r.message = bytes;
        }
        out.append(r);
    }
    return out;
}

struct Account {
    int stored = 0;             // SMS the modem took in
    int arrived = 0;            // distinct SMS acknowledged with a 2xx, exact bytes
    int acknowledged = 0;       // requests the program saw answered with a 2xx
    int deleteCommands = 0;     // AT+CMGD sent
    int deleted = 0;            // deletes the modem carried out
    int failedDeletes = 0;      // AT+CMGD the modem did not carry out
    int duplicates = 0;         // acknowledged requests beyond the first per SMS
    int lateAnswers = 0;        // 2xx written after the program had given up waiting
    int resent = 0;             // the same GET again within 100 ms: the HTTP layer's own resend
    int garbled = 0;            // requests whose bytes match no stored SMS
    int deletedWithout2xx = 0;  // deletes not preceded by a 2xx for that SMS
    int deletedAgain = 0;       // deletes repeated after a failed one, with no new request
    int lost = 0;               // deleted without ever having arrived
    int stillStored = 0;        // on the modem at the end
    QStringList problems;

    // The account holds when nothing was lost or garbled, every delete followed its 2xx,
    // the program deleted once per 2xx, and a failed delete was repeated without a second
    // request.
    bool exact(int expected) const
    {
        return problems.isEmpty() && arrived == expected && lost == 0 && garbled == 0
            && deletedWithout2xx == 0 && deleteCommands == acknowledged + deletedAgain
            && duplicates == 0 && deletedAgain == failedDeletes;
    }
    QString summary() const
    {
        return QStringLiteral("stored %1 arrived %2 2xx %3 delete-cmds %4 deleted %5 failed-deletes %6 "
                              "deleted-again %7 duplicates %8 late %9 resent %10 garbled %11 "
                              "deleted-without-2xx %12 lost %13 left %14%15")
            .arg(stored).arg(arrived).arg(acknowledged).arg(deleteCommands).arg(deleted)
            .arg(failedDeletes).arg(deletedAgain).arg(duplicates).arg(lateAnswers).arg(resent)
            .arg(garbled).arg(deletedWithout2xx).arg(lost).arg(stillStored)
            .arg(problems.isEmpty() ? QString() : " | " + problems.join("; "));
    }
};

// `timeoutMs`: the program's forwarding time-out; a 2xx held back that long never reached it.
inline Account settle(const QList<Sms>& sent, const QByteArray& key, const QList<WebRequest>& requests,
                      const QList<ModemEvent>& modem, int timeoutMs = 60000)
{
    Account a;
    QHash<QByteArray, const Sms*> bySender;
    for (const Sms& s : sent)
        bySender.insert(s.sender, &s);

    // Acknowledged requests per sender, in arrival order, not yet matched to a delete.
    QHash<QByteArray, QList<qint64>> open;
    QHash<QByteArray, int> ackCount;
    QHash<QByteArray, qint64> previous;  // last request per sender and path
    QHash<QByteArray, bool> previousAcked;
    for (const WebRequest& r : requests) {
        // Qt resends a GET at once when its connection closes before an answer; the
        // program then sees one answer for the two, so the earlier one does not count.
        const QByteArray same = r.sender + '\0' + r.path;
        if (previous.contains(same) && r.ms - previous.value(same) < 100) {
            ++a.resent;
            if (previousAcked.value(same)) {
                --a.acknowledged;
                --ackCount[r.sender];
                open[r.sender].removeLast();
            }
        }
        previous[same] = r.ms;
        previousAcked[same] = false;
        const Sms* s = bySender.value(r.sender);
        const bool exactBytes = s && r.key == key && r.time == s->time && r.message == s->text;
        if (!exactBytes) {
            ++a.garbled;
            a.problems << QStringLiteral("request with unknown bytes: sender \"%1\" time \"%2\" message \"%3\"")
                              .arg(QString::fromLatin1(r.sender.toPercentEncoding()),
                                   QString::fromLatin1(r.time.toPercentEncoding()),
                                   QString::fromLatin1(r.message.toPercentEncoding()));
            continue;
        }
        if (r.status < 200 || r.status > 299)
            continue;
        if (r.delayMs >= timeoutMs) {
            ++a.lateAnswers;
            continue;
        }
        ++a.acknowledged;
        ++ackCount[r.sender];
        open[r.sender].append(r.ms + r.delayMs);
        previousAcked[same] = true;
    }
    for (int n : ackCount) {
        a.arrived += n > 0;
        a.duplicates += qMax(0, n - 1);
    }

    // Walk the modem's log: which sender sits in which slot, and each delete's fate.
    QHash<QByteArray, QByteArray> slot;  // index -> sender
    QHash<QByteArray, bool> arrivedBefore;
    QByteArray pendingDelete;            // index of an AT+CMGD not yet carried out
    for (const ModemEvent& e : modem) {
        if (e.kind == "STORE" && e.details.startsWith("add ")) {
            const QList<QByteArray> f = e.details.split(' ');
            const int from = e.details.indexOf("from=\""), end = e.details.lastIndexOf(" source=");
            slot.insert(f.value(1), unescapeLogged(e.details.mid(from + 5, end - from - 5)));
            ++a.stored;
        } else if (e.kind == "CMD" || e.kind == "STOP") {
            if (!pendingDelete.isNull())
                ++a.failedDeletes;
            pendingDelete = QByteArray();
            const QByteArray command = unescapeLogged(e.details);
            if (e.kind == "CMD" && command.startsWith("AT+CMGD=")) {
                ++a.deleteCommands;
                pendingDelete = command.mid(8).split(',').first();
                const QByteArray sender = slot.value(pendingDelete);
                QList<qint64>& acks = open[sender];
                // A 2xx for this SMS must have come before the delete.
                const auto it = std::find_if(acks.begin(), acks.end(), [&](qint64 ms) { return ms <= e.ms; });
                if (it == acks.end() && arrivedBefore.value(sender)) {
                    ++a.deletedAgain; // accepted before; only the delete had failed
                } else if (it == acks.end()) {
                    ++a.deletedWithout2xx;
                    a.problems << QStringLiteral("AT+CMGD=%1 without a 2xx for %2")
                                      .arg(QString::fromLatin1(pendingDelete), QString::fromLatin1(sender));
                } else {
                    acks.erase(it);
                    arrivedBefore[sender] = true;
                }
            }
        } else if (e.kind == "STORE" && e.details.startsWith("delete ")) {
            // "delete 3", or "delete 3 mem=ME" for the modem's own memory
            const QByteArray index = e.details.mid(7).trimmed().split(' ').first();
            if (index == pendingDelete)
                pendingDelete = QByteArray();
            ++a.deleted;
            const QByteArray sender = slot.take(index);
            if (!arrivedBefore.value(sender))
                ++a.lost;
        }
    }
    if (!pendingDelete.isNull())
        ++a.failedDeletes;
    a.stillStored = int(slot.size());
    for (auto it = open.cbegin(); it != open.cend(); ++it)
        if (!it.value().isEmpty())
            a.problems << QStringLiteral("%1 2xx for %2 without a delete")
                              .arg(it.value().size()).arg(QString::fromLatin1(it.key()));
    return a;
}

} // namespace zorvel::testing
