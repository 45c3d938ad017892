#pragma once
// Message text in the one-line files of the outbox: the outbox file's text field and the
// states file's fields. A backslash starts an escape (\n \t \\ \uXXXX), so a text with line
// breaks or tabs still fits on one line between tabs.
#include <QByteArray>
#include <QString>

namespace zorvel::web {

struct UnescapedText {
    QString text;
    QString error;  // empty when the field was well-formed
    bool ok() const { return error.isEmpty(); }
};

// The field must be strict UTF-8. \uXXXX takes four hex digits; a surrogate pair written
// as two escapes makes one character (emoji), a lone surrogate is an error.
UnescapedText unescapeField(const QByteArray& field);

// The reverse for the states file: backslash, tab and line breaks escaped, other control
// characters as \uXXXX, everything else UTF-8.
QByteArray escapeField(const QString& text);

} // namespace zorvel::web
