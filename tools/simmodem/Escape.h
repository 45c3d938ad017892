#pragma once
// Bytes as printable text and back: the log writes every byte this way, and options such
// as --junk and --reply take their bytes in the same notation.
#include <QByteArray>
#include <optional>

namespace zorvel::sim {

// Printable ASCII stays as it is, except '"' and '\' which get a backslash; CR, LF, TAB
// become \r \n \t; every other byte becomes \xHH (two upper-case hex digits).
QByteArray escapeBytes(const QByteArray& bytes);

// The reverse of escapeBytes, also accepting \e (ESC), \z (Ctrl-Z) and \0. Returns
// nothing for a dangling backslash, an unknown escape or a bad \x sequence.
std::optional<QByteArray> unescapeBytes(const QByteArray& text);

} // namespace zorvel::sim
