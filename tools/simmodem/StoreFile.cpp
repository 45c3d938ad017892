#include "StoreFile.h"

#include "Concatenation.h"

#include <QMap>

namespace zorvel::sim {

QByteArray modemTimestamp(const QDateTime& time)
{
    const int quarters = time.offsetFromUtc() / 900;
    const QByteArray zone = QByteArray(quarters < 0 ? "-" : "+") +
                            QByteArray::number(qAbs(quarters)).rightJustified(2, '0');
    return time.toString(QStringLiteral("yy/MM/dd,HH:mm:ss")).toLatin1() + zone;
}

namespace {

std::optional<bool> yesNo(const QByteArray& value)
{
    if (value.compare("yes", Qt::CaseInsensitive) == 0) return true;
    if (value.compare("no", Qt::CaseInsensitive) == 0) return false;
    return std::nullopt;
}

// "3,1,2": part numbers from 1 on.
std::optional<QList<int>> partList(const QByteArray& value)
{
    QList<int> parts;
    for (const QByteArray& piece : value.split(',')) {
        bool ok = false;
        const int part = piece.trimmed().toInt(&ok);
        if (!ok || part < 1) return std::nullopt;
        parts.append(part);
    }
    return parts;
}

struct Parser {
    QDateTime now;
    ConcatDefaults* defaults = nullptr;
    StoreFileResult result;
    StoredMessage current;
    bool hasContent = false;
    int blockLine = 0;                // where the current block starts
    int pduLine = 0;
    ConcatOptions concat;
    std::optional<bool> concatWanted;  // "concat: yes|no"
    QMap<QByteArray, int> concatLines; // concatenation keys given, with their lines

    bool finish()
    {
        if (!hasContent) return true;
        if (current.stamp.isEmpty()) current.stamp = modemTimestamp(now);
        const bool ok = store();
        current = StoredMessage{};
        concat = ConcatOptions{};
        concatWanted.reset();
        concatLines.clear();
        hasContent = false;
        return ok;
    }

    // The block as one slot, or as the parts of a concatenated SMS, one a slot.
    bool store()
    {
        const bool keysGiven = !concatLines.isEmpty();
        if (concatWanted == false && concatLines.size() > 1)
            return fail(concatLines.value("concat"), QStringLiteral("\"concat: no\" with other concatenation keys"));
        if (!current.pduHex.isEmpty()) {
            if (keysGiven && concatWanted != false)
                return fail(pduLine, QStringLiteral("a pdu: is listed as given and cannot be split into parts"));
            result.messages.append(current);
            return true;
        }
        const bool split = concatWanted.value_or(keysGiven || (defaults->longTexts && !fitsOneSms(current.text)));
        if (!split) {
            result.messages.append(current);
            return true;
        }
        const int automatic = concat.reference16 ? 0x1000 + defaults->nextReference : defaults->nextReference;
        const SplitResult parts = splitIntoParts(current, concat, automatic);
        if (!parts.error.isEmpty())
            return fail(concatLines.value(parts.badKey, blockLine),
                        QString::fromLatin1(parts.badKey) + ": " + parts.error);
        if (!concat.reference) defaults->nextReference = defaults->nextReference % 255 + 1;
        result.messages.append(parts.stored);
        return true;
    }

    // "concat:", "ref:", "ref16:", "parts-order:", "omit-parts:", "duplicate-parts:",
    // "split-surrogate:"; nothing when `key` is none of them.
    std::optional<bool> concatHeader(int lineNumber, const QByteArray& key, const QByteArray& value)
    {
        std::optional<bool> flag;
        std::optional<QList<int>> parts;
        if (key == "concat" || key == "ref16" || key == "split-surrogate") {
            flag = yesNo(value);
            if (!flag) return fail(lineNumber, QStringLiteral("%1: expected yes or no").arg(QString::fromLatin1(key)));
            if (key == "concat") concatWanted = *flag;
            else (key == "ref16" ? concat.reference16 : concat.splitSurrogate) = *flag;
        } else if (key == "ref") {
            bool ok = false;
            concat.reference = value.toInt(&ok);
            if (!ok || *concat.reference < 0 || *concat.reference > 0xFFFF)
                return fail(lineNumber, QStringLiteral("ref: expected a number 0-255 (0-65535 with ref16)"));
        } else if (key == "parts-order" || key == "omit-parts" || key == "duplicate-parts") {
            parts = partList(value);
            if (!parts)
                return fail(lineNumber,
                            QStringLiteral("%1: expected part numbers such as 3,1,2").arg(QString::fromLatin1(key)));
            (key == "parts-order" ? concat.order : key == "omit-parts" ? concat.omit : concat.duplicate) = *parts;
        } else {
            return std::nullopt;
        }
        concatLines.insert(key, lineNumber);
        return true;
    }

    bool fail(int lineNumber, const QString& what)
    {
        result.error = QStringLiteral("line %1: %2").arg(lineNumber).arg(what);
        return false;
    }

    // One "key: value" line; false (with the error set) when it is not understood.
    bool header(int lineNumber, const QByteArray& key, const QByteArray& value)
    {
        if (!hasContent) blockLine = lineNumber;
        hasContent = true;
        if (const auto known = concatHeader(lineNumber, key, value)) return *known;
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
            pduLine = lineNumber;
        } else if (key == "text-hex") {
            if (QByteArray::fromHex(value).toHex() != value.toLower())
                return fail(lineNumber, QStringLiteral("text-hex is not hexadecimal"));
            current.text = QByteArray::fromHex(value);
        } else if (key == "text") {
            current.text = value;
        } else if (key == "storage") {
            current.storage = value.toUpper();
            if (current.storage != "SM" && current.storage != "ME")
                return fail(lineNumber, QStringLiteral("storage: expected SM or ME"));
        } else {
            return fail(lineNumber, QStringLiteral("unknown key \"%1\"").arg(QString::fromLatin1(key)));
        }
        return true;
    }
};

} // namespace

StoreFileResult parseStoreFile(const QByteArray& data, const QDateTime& now, ConcatDefaults* concat)
{
    ConcatDefaults plain;
    Parser parser;
    parser.now = now;
    parser.defaults = concat ? concat : &plain;
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
                if (!parser.finish()) return parser.result;
            } else {
                body.append(line.startsWith("..") ? line.mid(1) : line);
            }
            continue;
        }
        if (line.trimmed().isEmpty()) {
            if (!parser.finish()) return parser.result;
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
            if (!parser.hasContent) parser.blockLine = lineNumber;
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
