#pragma once
// What the operator typed, as the serial line takes it: one Latin-1 byte per character,
// '?' for a character outside Latin-1 ("café €" -> "caf\xE9 ?"). A character beyond
// U+FFFF is one '?', not two as QString::toLatin1() gives for its UTF-16 halves.
#include <QString>
#include <string>

namespace zorvel {

std::string TypedLatin1(const QString& typed);

} // namespace zorvel
