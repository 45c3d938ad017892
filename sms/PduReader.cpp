#include "PduReader.h"

#include "Gsm7Alphabet.h"
#include "SemiOctets.h"
#include "SmsDeliver.h"

namespace zorvel {

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

} // namespace

std::optional<std::string> HexToBytes(std::string_view hex)
{
    if (hex.empty() || hex.size() % 2 != 0)
        return std::nullopt;
    std::string bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexValue(hex[i]);
        const int low = HexValue(hex[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes += static_cast<char>(high << 4 | low);
    }
    return bytes;
}

std::string PduAddress(unsigned digits, unsigned type, std::string_view octets)
{
    const unsigned typeOfNumber = (type >> 4) & 0x07;
    if (typeOfNumber == 5)
        return Utf16ToUtf8(Gsm7ToUtf16(UnpackSeptets(octets, 0, digits * 4 / 7), 0, 0));
    const std::string number = SemiOctetDigits(octets, digits);
    return typeOfNumber == 1 && !number.empty() ? "+" + number : number;
}

} // namespace zorvel
