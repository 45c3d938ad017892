#pragma once
// What is kept of each request: one human line for the console and one JSON object per
// line for the log file (exact bytes in hex, a readable form beside them).
#include "QueryDecoding.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace zorvel::web {

struct RequestRecord {
    int sequence = 0;          // 1 for the first request since start
    qint64 receivedMs = 0;     // milliseconds since the epoch
    QString peer;              // "127.0.0.1:54321"
    QByteArray method;
    QByteArray target;         // as in the request line
    QByteArray path;
    QByteArray query;          // still encoded
    QList<QueryParameter> parameters;
    QString error;             // why the request or its query was malformed
    bool reset = false;        // closed without an answer
    int status = 0;
    int delayMs = 0;
    QByteArray location;
    bool refused = false;      // 400 by --refuse-message-containing
    QList<QByteArray> idempotencyKeys;  // every Idempotency-Key header's value, as sent
    QString outbox;            // "poll" or "report" on the outbox path, else empty
    int offered = -1;          // messages in a poll's answer; -1: none listed (raw body, fault)
    bool repeat = false;       // a report whose Idempotency-Key was answered 2xx before
};

// "2026-12-07 10:00:01 GET /sms key="demo" message="a\nb" -> 200" (local time); a state
// report reads "... state id="a1" state="sent" time="..." detail="" Idempotency-Key=... -> 200".
QString consoleLine(const RequestRecord& record);

// One compact JSON object, no newline.
QByteArray jsonLine(const RequestRecord& record);

} // namespace zorvel::web
