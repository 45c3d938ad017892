#include "OutboxFile.h"

#include "ByteText.h"
#include "OutboxText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

namespace zorvel::web {

bool isValidMessageId(QByteArrayView id)
{
    if (id.isEmpty() || id.size() > 64) return false;
    for (const char c : id) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                        c == '_' || c == '.';
        if (!ok) return false;
    }
    return true;
}

namespace {

// Why the line cannot be offered, or empty.
QString readLine(const QByteArray& line, OutboxMessage& message)
{
    const QList<QByteArray> fields = line.split('\t');
    if (fields.size() != 3) return QStringLiteral("expected id<TAB>to<TAB>text, got %1 fields").arg(fields.size());
    if (!isValidMessageId(fields[0])) return QStringLiteral("the id is not 1 to 64 of A-Z a-z 0-9 - _ .");
    if (fields[1].trimmed().isEmpty()) return QStringLiteral("no recipient");
    if (!isValidUtf8(fields[1])) return QStringLiteral("the recipient is not UTF-8");
    const UnescapedText text = unescapeField(fields[2]);
    if (!text.ok()) return QLatin1String("text: ") + text.error;
    message.id = QString::fromLatin1(fields[0]);
    message.to = QString::fromUtf8(fields[1]);
    message.text = text.text;
    return {};
}

} // namespace

ParsedOutbox parseOutbox(const QByteArray& text)
{
    ParsedOutbox out;
    QSet<QString> ids;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QByteArray line = lines[n];
        if (line.endsWith('\r')) line.chop(1);
        if (line.trimmed().isEmpty() || line.trimmed().startsWith('#')) continue;
        OutboxMessage message;
        QString problem = readLine(line, message);
        if (problem.isEmpty() && ids.contains(message.id)) problem = QStringLiteral("id %1 again").arg(message.id);
        if (!problem.isEmpty()) {
            out.warnings.append(QStringLiteral("outbox line %1: %2, skipped").arg(n + 1).arg(problem));
            continue;
        }
        ids.insert(message.id);
        out.messages.append(message);
    }
    return out;
}

QByteArray pollBody(const QList<OutboxMessage>& messages)
{
    QJsonArray list;
    for (const OutboxMessage& m : messages)
        list.append(QJsonObject{{"id", m.id}, {"to", m.to}, {"text", m.text}});
    return QJsonDocument(QJsonObject{{"messages", list}}).toJson(QJsonDocument::Compact);
}

} // namespace zorvel::web
