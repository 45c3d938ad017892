#include "ByteText.h"

namespace zorvel::web {

namespace {

QString upperHex(int value, int width)
{
    return QString::number(value, 16).toUpper().rightJustified(width, QLatin1Char('0'));
}

} // namespace

bool isValidUtf8(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char c = p[i];
        int extra = 0;
        char32_t code = 0;
        char32_t smallest = 0;
        if (c < 0x80) { ++i; continue; }
        if (c >= 0xC2 && c <= 0xDF) { extra = 1; code = c & 0x1F; smallest = 0x80; }
        else if (c >= 0xE0 && c <= 0xEF) { extra = 2; code = c & 0x0F; smallest = 0x800; }
        else if (c >= 0xF0 && c <= 0xF4) { extra = 3; code = c & 0x07; smallest = 0x10000; }
        else return false;  // continuation byte first, C0/C1 overlong lead, or F5..FF
        if (i + extra >= n) return false;  // cut short at the end
        for (int k = 1; k <= extra; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            code = (code << 6) | (p[i + k] & 0x3F);
        }
        if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

ReadableText readBytes(const QByteArray& bytes)
{
    if (isValidUtf8(bytes)) return {QString::fromUtf8(bytes), true};
    return {QString::fromLatin1(bytes), false};
}

QString quoteForDisplay(const QString& text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        switch (c) {
        case '"': out += QLatin1String("\\\""); break;
        case '\\': out += QLatin1String("\\\\"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        case '\t': out += QLatin1String("\\t"); break;
        default:
            if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
                out += QLatin1String("\\x") + upperHex(c, 2);
            else if (c == 0x2028 || c == 0x2029 || c == 0xFEFF)  // would break or hide in a terminal
                out += QLatin1String("\\u{") + upperHex(c, 4) + '}';
            else
                out += ch;
        }
    }
    return out;
}

QString displayParameter(const QByteArray& name, const QByteArray& value)
{
    const ReadableText readableValue = readBytes(value);
    QString out = quoteForDisplay(readBytes(name).text) + '=';
    if (!readableValue.utf8) out += QLatin1String("latin-1:");
    out += '"' + quoteForDisplay(readableValue.text) + '"';
    return out;
}

} // namespace zorvel::web
