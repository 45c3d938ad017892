#include "StoreFile.h"

namespace zorvel::sim {

QByteArray modemTimestamp(const QDateTime& time)
{
    const int quarters = time.offsetFromUtc() / 900;
    const QByteArray zone = QByteArray(quarters < 0 ? "-" : "+") +
                            QByteArray::number(qAbs(quarters)).rightJustified(2, '0');
    return time.toString(QStringLiteral("yy/MM/dd,HH:mm:ss")).toLatin1() + zone;
}

namespace {

struct Parser {
    QDateTime now;
    StoreFileResult result;
    StoredMessage current;
    bool hasContent = false;

    void finish()
    {
        if (!hasContent) return;
        if (current.stamp.isEmpty()) current.stamp = modemTimestamp(now);
        result.messages.append(current);
        current = StoredMessage{};
        hasContent = false;
    }

    bool fail(int lineNumber, const QString& what)
    {
        result.error = QStringLiteral("line %1: %2").arg(lineNumber).arg(what);
        return false;
    }

    // One "key: value" line; false (with the error set) when it is not understood.
    bool header(int lineNumber, const QByteArray& key, const QByteArray& value)
    {
        hasContent = true;
        if (key == "from") {
            current.sender = value;
        } else if (key == "time") {
            current.stamp = value;
        } else if (key == "status") {
            const auto status = statusFromText(value);
            if (!status) return fail(lineNumber, QStringLiteral("unknown status"));
            current.status = *status;
        } else if (key == "index") {
            bool ok = false;
            current.index = value.toInt(&ok);
            if (!ok || current.index < 0) return fail(lineNumber, QStringLiteral("bad index"));
        } else if (key == "pdu") {
            if (QByteArray::fromHex(value).toHex().toUpper() != value.toUpper())
                return fail(lineNumber, QStringLiteral("pdu is not hexadecimal"));
            current.pduHex = value.toUpper();
        } else if (key == "text-hex") {
            if (QByteArray::fromHex(value).toHex() != value.toLower())
                return fail(lineNumber, QStringLiteral("text-hex is not hexadecimal"));
            current.text = QByteArray::fromHex(value);
        } else if (key == "text") {
            current.text = value;
        } else {
            return fail(lineNumber, QStringLiteral("unknown key \"%1\"").arg(QString::fromLatin1(key)));
        }
        return true;
    }
};

} // namespace

StoreFileResult parseStoreFile(const QByteArray& data, const QDateTime& now)
{
    Parser parser;
    parser.now = now;
    QList<QByteArray> lines = data.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    bool inBody = false;
    QList<QByteArray> body;
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r')) line.chop(1);
        const int lineNumber = i + 1;
        if (inBody) {
            if (line == ".") {
                parser.current.text = body.join('\n');
                body.clear();
                inBody = false;
                parser.finish();
            } else {
                body.append(line.startsWith("..") ? line.mid(1) : line);
            }
            continue;
        }
        if (line.trimmed().isEmpty()) {
            parser.finish();
            continue;
        }
        if (line.startsWith('#')) continue;
        const qsizetype colon = line.indexOf(':');
        if (colon < 0) {
            parser.fail(lineNumber, QStringLiteral("expected \"key: value\""));
            return parser.result;
        }
        const QByteArray key = line.left(colon).trimmed().toLower();
        QByteArray value = line.mid(colon + 1).trimmed();
        if (key == "text" && !value.isEmpty()) {
            // A one-line text keeps its blanks; only the one after the colon goes.
            value = line.mid(colon + 1);
            if (value.startsWith(' ')) value.remove(0, 1);
        }
        if (key == "text" && value.isEmpty()) {
            parser.hasContent = true;
            inBody = true;
            continue;
        }
        if (!parser.header(lineNumber, key, value)) return parser.result;
    }
    if (inBody) {
        parser.fail(lines.size(), QStringLiteral("text not ended by a line with a single \".\""));
        return parser.result;
    }
    parser.finish();
    return parser.result;
}

} // namespace zorvel::sim
