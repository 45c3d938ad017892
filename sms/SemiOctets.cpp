#include "SemiOctets.h"

namespace zorvel {

namespace {

constexpr char kAddressDigit[] = "0123456789*#abc";
constexpr char kHexDigit[] = "0123456789ABCDEF";

unsigned Nibble(std::string_view octets, std::size_t index)
{
    const auto octet = static_cast<unsigned char>(octets[index / 2]);
    return index % 2 == 0 ? octet & 0x0F : octet >> 4;
}

} // namespace

std::string SemiOctetDigits(std::string_view octets, std::size_t count)
{
    std::string digits;
    for (std::size_t i = 0; i < count && i / 2 < octets.size(); ++i) {
        const unsigned nibble = Nibble(octets, i);
        if (nibble != 0x0F)
            digits += kAddressDigit[nibble];
    }
    return digits;
}

std::string ServiceCentreStamp(std::string_view sevenOctets)
{
    if (sevenOctets.size() < 7)
        return {};
    std::string stamp;
    const char separators[] = "//,::";
    for (std::size_t field = 0; field < 6; ++field) {
        stamp += kHexDigit[Nibble(sevenOctets, field * 2)];
        stamp += kHexDigit[Nibble(sevenOctets, field * 2 + 1)];
        if (field < 5)
            stamp += separators[field];
    }
    const unsigned tens = Nibble(sevenOctets, 12);
    stamp += (tens & 0x08) ? '-' : '+';
    stamp += kHexDigit[tens & 0x07];
    stamp += kHexDigit[Nibble(sevenOctets, 13)];
    return stamp;
}

} // namespace zorvel
