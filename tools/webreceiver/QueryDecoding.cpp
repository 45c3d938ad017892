#include "QueryDecoding.h"

namespace zorvel::web {

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

} // namespace

DecodedBytes percentDecode(QByteArrayView text)
{
    DecodedBytes out;
    out.bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '%') {
            out.bytes += c;
            continue;
        }
        const int high = i + 1 < text.size() ? hexDigit(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? hexDigit(text[i + 2]) : -1;
        if (high < 0 || low < 0) {
            out.error = QStringLiteral("'%' at offset %1 is not followed by two hex digits").arg(i);
            return out;
        }
        out.bytes += char(high * 16 + low);
        i += 2;
    }
    return out;
}

DecodedQuery decodeQuery(QByteArrayView query)
{
    DecodedQuery out;
    qsizetype start = 0;
    while (start <= query.size()) {
        qsizetype end = query.indexOf('&', start);
        if (end < 0) end = query.size();
        const QByteArrayView piece = query.sliced(start, end - start);
        start = end + 1;
        if (piece.isEmpty()) continue;

        const qsizetype eq = piece.indexOf('=');
        const DecodedBytes name = percentDecode(eq < 0 ? piece : piece.first(eq));
        const DecodedBytes value = percentDecode(eq < 0 ? QByteArrayView() : piece.sliced(eq + 1));
        if (!name.ok() || !value.ok()) {
            const QString where = name.ok() ? QStringLiteral("value") : QStringLiteral("name");
            out.error = QStringLiteral("\"%1\", %2: %3")
                            .arg(QString::fromLatin1(piece), where, name.ok() ? value.error : name.error);
            return out;
        }
        out.parameters.append({name.bytes, value.bytes});
    }
    return out;
}

SplitTarget splitTarget(const QByteArray& target)
{
    const qsizetype mark = target.indexOf('?');
    if (mark < 0) return {target, {}, false};
    return {target.left(mark), target.mid(mark + 1), true};
}

} // namespace zorvel::web
