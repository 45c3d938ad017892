#include "TypedLatin1.h"

#include <QList>

namespace zorvel {

std::string TypedLatin1(const QString& typed)
{
    std::string latin1;
    for (const char32_t c : typed.toUcs4()) // a lone UTF-16 half arrives as U+FFFD
        latin1 += c <= 0xFF ? static_cast<char>(c) : '?';
    return latin1;
}

} // namespace zorvel
