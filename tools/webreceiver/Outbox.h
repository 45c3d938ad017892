#pragma once
// The web application's side of sending SMS: the gateway polls the outbox path for
// messages to send and reports each change of a message's state on the same path. A
// message is offered on every poll until a report for it was answered 2xx.
#include "OutboxFile.h"
#include "QueryDecoding.h"

#include <QByteArray>
#include <QFile>
#include <QSet>
#include <QString>
#include <QStringList>

namespace zorvel::web {

struct OutboxOptions {
    QByteArray path;       // "/outbox"; empty: no outbox, every path is answered as before
    QString messagesPath;  // id<TAB>to<TAB>text lines, re-read on every poll
    QString rawPath;       // a poll's body verbatim instead, re-read on every poll
    int pollStatus = 200;  // a poll's status when no fault applies
    QString statesPath;    // id<TAB>state<TAB>time<TAB>detail appended per first report
};

struct StateReport {
    QByteArray id, state, time, detail;
    QByteArray repeatKey;  // the Idempotency-Key as sent; "id:state" in quotes when none came
};

struct OutboxRequest {
    enum class Kind { None, Poll, Report };
    Kind kind = Kind::None;
    StateReport report;
    QString error;  // a malformed report or a method the outbox does not take
    int errorStatus = 400;
};

struct PollAnswer {
    int status = 200;
    QByteArray contentType;
    QByteArray body;      // sent only when `served`
    bool served = true;   // false: the raw file could not be read, the answer is a plain 500
    int offered = -1;     // messages in the body; -1 for a raw body
    QStringList warnings; // skipped outbox lines, unreadable files
};

// "queued", "sending", "sent", "delivered", "failed" or "unknown".
bool isKnownState(const QByteArray& state);

// At most this many messages go out in one poll's answer.
constexpr int maxMessagesPerPoll = 100;

class Outbox {
public:
    explicit Outbox(OutboxOptions options);

    // Opens the states file; an error text, or empty.
    QString start();

    // A GET without `id` on the outbox path is a poll, one with `id` and `state` a report.
    OutboxRequest classify(const QByteArray& method, const QByteArray& path,
                           const QList<QueryParameter>& parameters,
                           const QList<QByteArray>& idempotencyKeys) const;

    // The answer to a poll that no fault answered otherwise.
    PollAnswer poll() const;

    // Whether a report with this key was answered 2xx before.
    bool isRepeat(const StateReport& report) const { return answeredKeys_.contains(report.repeatKey); }

    // The report was answered 2xx: its message is no longer offered, and a first report
    // goes to the states file.
    void acknowledge(const StateReport& report);

private:
    OutboxOptions options_;
    QSet<QString> acknowledgedIds_;
    QSet<QByteArray> answeredKeys_;
    QFile states_;
};

} // namespace zorvel::web
