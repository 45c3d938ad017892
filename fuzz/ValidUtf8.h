#pragma once
// A check written apart from the decoders: strict UTF-8 (shortest forms, no surrogates,
// nothing above U+10FFFF), for the properties of the targets that write text.
#include <string>

namespace fuzz {

inline bool ValidUtf8(const std::string& s)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t length = 0;
        char32_t c = 0, least = 0;
        if (b < 0x80) { length = 1; c = b; }
        else if (b >= 0xC2 && b <= 0xDF) { length = 2; c = b & 0x1F; least = 0x80; }
        else if (b >= 0xE0 && b <= 0xEF) { length = 3; c = b & 0x0F; least = 0x800; }
        else if (b >= 0xF0 && b <= 0xF4) { length = 4; c = b & 0x07; least = 0x10000; }
        else return false;
        if (i + length > s.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(s[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            c = c << 6 | (next & 0x3F);
        }
        if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

} // namespace fuzz
