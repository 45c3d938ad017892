#include "RequestRecord.h"

#include "ByteText.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace zorvel::web {

namespace {

QString outcomeText(const RequestRecord& record)
{
    QString out = record.reset ? QStringLiteral("reset, no answer") : QString::number(record.status);
    if (!record.location.isEmpty()) out += QLatin1String(" to ") + QString::fromLatin1(record.location);
    if (record.refused) out += QLatin1String(" (message refused)");
    if (record.offered >= 0) out += QStringLiteral(" (offered %1)").arg(record.offered);
    if (record.repeat) out += QLatin1String(" (repeat)");
    if (record.delayMs > 0) out += QStringLiteral(" after %1 ms").arg(record.delayMs);
    if (!record.error.isEmpty()) out += QLatin1String(" (") + record.error + ')';
    return out;
}

// Raw request-line bytes kept one to one, whatever they are.
QString rawText(const QByteArray& bytes) { return QString::fromLatin1(bytes); }

// A report's fields in a fixed order, whatever order they came in.
QString reportFields(const RequestRecord& record)
{
    QString out;
    for (const QByteArray name : {"id", "state", "time", "detail"})
        for (const QueryParameter& parameter : record.parameters)
            if (parameter.name == name) out += ' ' + displayParameter(parameter.name, parameter.value);
    return out;
}

} // namespace

QString consoleLine(const RequestRecord& record)
{
    QString line = QDateTime::fromMSecsSinceEpoch(record.receivedMs).toString("yyyy-MM-dd HH:mm:ss");
    if (record.outbox == QLatin1String("report") && record.error.isEmpty()) {
        // The state of a sent message is what one looks for, not the path it came on.
        line += QLatin1String(" state") + reportFields(record);
    } else if (!record.error.isEmpty() || record.parameters.isEmpty()) {
        // A request that could not be decoded is shown as it came.
        line += ' ' + quoteForDisplay(rawText(record.method));
        line += ' ' + quoteForDisplay(rawText(record.target.isEmpty() ? record.path : record.target));
    } else {
        line += ' ' + quoteForDisplay(rawText(record.method)) + ' ' + quoteForDisplay(rawText(record.path));
        for (const QueryParameter& parameter : record.parameters)
            line += ' ' + displayParameter(parameter.name, parameter.value);
    }
    for (const QByteArray& key : record.idempotencyKeys) line += ' ' + displayParameter("Idempotency-Key", key);
    return line + QLatin1String(" -> ") + outcomeText(record);
}

QByteArray jsonLine(const RequestRecord& record)
{
    QJsonArray parameters;
    for (const QueryParameter& parameter : record.parameters) {
        const ReadableText readable = readBytes(parameter.value);
        parameters.append(QJsonObject{
            {"name", readBytes(parameter.name).text},
            {"name_hex", QString::fromLatin1(parameter.name.toHex())},
            {"hex", QString::fromLatin1(parameter.value.toHex())},
            {"text", readable.text},
            {"encoding", readable.utf8 ? "utf-8" : "latin-1"},
        });
    }
    QJsonObject object{
        {"n", record.sequence},
        {"ms", record.receivedMs},
        {"time", QDateTime::fromMSecsSinceEpoch(record.receivedMs).toString(Qt::ISODateWithMs)},
        {"peer", record.peer},
        {"method", rawText(record.method)},
        {"target", rawText(record.target)},
        {"path", rawText(record.path)},
        {"query", rawText(record.query)},
        {"params", parameters},
        {"outcome", record.reset ? "reset" : "answered"},
        {"delay_ms", record.delayMs},
    };
    if (!record.reset) object.insert("status", record.status);
    if (!record.location.isEmpty()) object.insert("location", rawText(record.location));
    if (!record.error.isEmpty()) object.insert("error", record.error);
    if (record.refused) object.insert("refused", true);
    if (!record.outbox.isEmpty()) object.insert("outbox", record.outbox);
    if (record.offered >= 0) object.insert("offered", record.offered);
    if (record.repeat) object.insert("repeat", true);
    // The first value as sent, quotes and all; every value when the header came twice.
    if (!record.idempotencyKeys.isEmpty()) object.insert("idempotency_key", rawText(record.idempotencyKeys.first()));
    if (record.idempotencyKeys.size() > 1) {
        QJsonArray all;
        for (const QByteArray& key : record.idempotencyKeys) all.append(rawText(key));
        object.insert("idempotency_keys", all);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace zorvel::web
