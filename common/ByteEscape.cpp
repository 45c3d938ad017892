#include "ByteEscape.h"

namespace zorvel {

std::string EscapeBytes(std::string_view bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() + 8);
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        default:
            if (c >= 0x20 && c < 0x7F) {
                out += ch;
            } else {
                out += "\\x";
                out += hex[c >> 4];
                out += hex[c & 0xF];
            }
        }
    }
    return out;
}

} // namespace zorvel
