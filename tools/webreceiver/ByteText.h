#pragma once
// Parameter bytes as something a person can read. The modem hands the gateway Latin-1 or
// UTF-8 bytes without saying which, so the bytes are shown as UTF-8 when they are valid
// UTF-8 and as Latin-1 otherwise; the log always keeps the exact bytes in hex beside that.
#include <QByteArray>
#include <QString>

namespace zorvel::web {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(const QByteArray& bytes);

struct ReadableText {
    QString text;
    bool utf8 = true;  // false: read as Latin-1
};

ReadableText readBytes(const QByteArray& bytes);

// The text between double quotes, one line: '"' and '\' get a backslash, CR LF TAB become
// \r \n \t, other control characters (C0, DEL, C1) become \xHH or \u{HHHH}.
QString quoteForDisplay(const QString& text);

// `name="value"`, with a "latin-1:" mark before the quote when the bytes were not UTF-8.
QString displayParameter(const QByteArray& name, const QByteArray& value);

} // namespace zorvel::web
