#include "OutgoingMessage.h"

namespace zorvel {

OutgoingCommands BuildOutgoingCommands(const std::string& number, const std::string& text)
{
    return {"AT+CMGF=1\r\n", "AT+CMGS=\"" + number + "\"\r\n", text + '\x1a'};
}

namespace {

bool continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the well-formed sequence starting at i (RFC 3629: no overlong forms, no
// surrogates, nothing above U+10FFFF), and its code point; 0 when there is none.
std::size_t sequenceAt(const std::string& s, std::size_t i, char32_t& codePoint)
{
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const unsigned char lead = at(0);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > s.size() || at(1) < low || at(1) > high)
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if (!continuation(at(k)))
            return 0;
        codePoint = (codePoint << 6) | (at(k) & 0x3F);
    }
    return length;
}

} // namespace

std::string Utf8ToLatin1(const std::string& utf8)
{
    std::string latin1;
    latin1.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t codePoint = 0;
        const std::size_t length = sequenceAt(utf8, i, codePoint);
        if (length == 0) {
            latin1 += '?';
            ++i;
            continue;
        }
        latin1 += codePoint <= 0xFF ? static_cast<char>(codePoint) : '?';
        i += length;
    }
    return latin1;
}

} // namespace zorvel
