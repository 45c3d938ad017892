#pragma once
// V.250 verbose result layout: information text and final result codes framed by CR LF.
#include <QByteArray>
#include <QList>

namespace zorvel::sim::reply {

inline QByteArray ok() { return "\r\nOK\r\n"; }
inline QByteArray error() { return "\r\nERROR\r\n"; }
inline QByteArray cmsError(int code) { return "\r\n+CMS ERROR: " + QByteArray::number(code) + "\r\n"; }
inline QByteArray cmeError(int code) { return "\r\n+CME ERROR: " + QByteArray::number(code) + "\r\n"; }

// "\r\n<line>\r\n<line>\r\n" then "\r\nOK\r\n", the blank line before OK as modems print it.
inline QByteArray info(const QList<QByteArray>& lines)
{
    if (lines.isEmpty()) return ok();
    QByteArray out = "\r\n";
    for (const QByteArray& line : lines) out += line + "\r\n";
    return out + ok();
}

} // namespace zorvel::sim::reply
