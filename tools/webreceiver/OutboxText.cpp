#include "OutboxText.h"

#include "ByteText.h"

namespace zorvel::web {

namespace {

// The value of four hex digits at `at`, or -1.
int hex4(const QString& text, qsizetype at)
{
    if (at + 4 > text.size()) return -1;
    int value = 0;
    for (qsizetype i = at; i < at + 4; ++i) {
        const char16_t c = text[i].unicode();
        const int digit = c >= u'0' && c <= u'9'   ? c - u'0'
                          : c >= u'a' && c <= u'f' ? c - u'a' + 10
                          : c >= u'A' && c <= u'F' ? c - u'A' + 10
                                                   : -1;
        if (digit < 0) return -1;
        value = value * 16 + digit;
    }
    return value;
}

} // namespace

UnescapedText unescapeField(const QByteArray& field)
{
    UnescapedText out;
    if (!isValidUtf8(field)) {
        out.error = QStringLiteral("not UTF-8");
        return out;
    }
    const QString text = QString::fromUtf8(field);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\') {
            out.text += text[i];
            continue;
        }
        if (++i >= text.size()) {
            out.error = QStringLiteral("a backslash at the end");
            return out;
        }
        const QChar escape = text[i];
        if (escape == u'n') out.text += u'\n';
        else if (escape == u't') out.text += u'\t';
        else if (escape == u'\\') out.text += u'\\';
        else if (escape == u'u') {
            const int unit = hex4(text, i + 1);
            if (unit < 0) {
                out.error = QStringLiteral("\\u without four hex digits");
                return out;
            }
            i += 4;
            if (QChar::isLowSurrogate(char32_t(unit))) {
                out.error = QStringLiteral("a lone surrogate \\u%1").arg(unit, 4, 16, QLatin1Char('0'));
                return out;
            }
            if (QChar::isHighSurrogate(char32_t(unit))) {
                const int low = i + 2 < text.size() && text[i + 1] == u'\\' && text[i + 2] == u'u'
                                    ? hex4(text, i + 3)
                                    : -1;
                if (low < 0 || !QChar::isLowSurrogate(char32_t(low))) {
                    out.error = QStringLiteral("a lone surrogate \\u%1").arg(unit, 4, 16, QLatin1Char('0'));
                    return out;
                }
                out.text += QChar(char16_t(unit));
                out.text += QChar(char16_t(low));
                i += 6;
            } else {
                out.text += QChar(char16_t(unit));
            }
        } else {
            out.error = QStringLiteral("unknown escape \\%1").arg(escape);
            return out;
        }
    }
    return out;
}

QByteArray escapeField(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\\') out += QLatin1String("\\\\");
        else if (u == u'\n') out += QLatin1String("\\n");
        else if (u == u'\t') out += QLatin1String("\\t");
        else if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029)
            out += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
        else out += c;
    }
    return out.toUtf8();
}

} // namespace zorvel::web
