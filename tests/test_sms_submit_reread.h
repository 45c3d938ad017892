#pragma once
// Reads back an SMS-SUBMIT part as BuildSubmitParts writes it, for the submit test and
// the fuzz target: the header fields here, field by field, and the user data through the
// received-SMS decoder (the part's user data put into an SMS-DELIVER), so that septet
// packing, fill bits and UCS-2 are read by code that did not write them.
#include <optional>
#include <string>
#include <string_view>

#include "SmsDeliver.h"

namespace zorvel::reread {

struct SubmitRead {
    int firstOctet = 0;
    int messageReference = 0;
    int addressDigits = 0;
    int addressType = 0;
    std::string recipient;  // "+" and digits for type 0x91
    int pid = 0;
    int dcs = 0;
    int udl = 0;
    int userDataOctets = 0;
    int tpduLength = 0;     // octets after the SMSC length octet 00
    SmsDeliver decoded;     // units, coding and concatenation header
};

inline int HexNibble(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // lower case is not what the encoder writes
}

// Nothing, and `why` set, unless `hex` is upper-case hex of a whole SMS-SUBMIT with an
// empty SMSC part and no validity period, every octet accounted for.
inline std::optional<SubmitRead> ReadSubmitPart(std::string_view hex, std::string* why = nullptr)
{
    const auto fail = [why](const char* reason) -> std::optional<SubmitRead> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    if (hex.size() % 2 != 0)
        return fail("odd hex");
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexNibble(hex[i]), low = HexNibble(hex[i + 1]);
        if (high < 0 || low < 0)
            return fail("not upper-case hex");
        bytes += static_cast<char>(high << 4 | low);
    }
    const auto at = [&bytes](std::size_t i) { return static_cast<int>(static_cast<unsigned char>(bytes[i])); };
    if (bytes.size() < 8 || at(0) != 0)
        return fail("no empty SMSC part");
    SubmitRead read;
    read.tpduLength = static_cast<int>(bytes.size()) - 1;
    read.firstOctet = at(1);
    if ((read.firstOctet & 0x03) != 0x01)
        return fail("not an SMS-SUBMIT");
    if ((read.firstOctet & 0x18) != 0)
        return fail("a validity period");
    read.messageReference = at(2);
    read.addressDigits = at(3);
    read.addressType = at(4);
    const std::size_t addressOctets = static_cast<std::size_t>(read.addressDigits + 1) / 2;
    if (bytes.size() < 5 + addressOctets + 3)
        return fail("cut short");
    for (int i = 0; i < read.addressDigits; ++i) {
        const int octet = at(5 + static_cast<std::size_t>(i) / 2);
        const int digit = i % 2 == 0 ? octet & 0x0F : octet >> 4;
        if (digit > 9)
            return fail("not a digit in the address");
        read.recipient += static_cast<char>('0' + digit);
    }
    if (read.addressDigits % 2 == 1 && (at(5 + addressOctets - 1) >> 4) != 0x0F)
        return fail("no F filler after an odd digit count");
    if (read.addressType == 0x91)
        read.recipient.insert(0, "+");
    std::size_t pos = 5 + addressOctets;
    read.pid = at(pos++);
    read.dcs = at(pos++);
    read.udl = at(pos++);
    read.userDataOctets = static_cast<int>(bytes.size() - pos);
    const std::size_t expected = read.dcs == 0 ? (static_cast<std::size_t>(read.udl) * 7 + 7) / 8
                                               : static_cast<std::size_t>(read.udl);
    if (bytes.size() - pos != expected)
        return fail("user data length does not match TP-UDL");

    // The same user data in an SMS-DELIVER: TP-UDHI kept, the address as it is, a zero
    // time stamp.
    std::string deliver("\x00", 1);
    deliver += static_cast<char>(read.firstOctet & 0x40);
    deliver += bytes.substr(3, 2 + addressOctets);
    deliver += static_cast<char>(read.pid);
    deliver += static_cast<char>(read.dcs);
    deliver += std::string(7, '\0');
    deliver += bytes.substr(pos - 1);
    std::string whyNot;
    std::optional<SmsDeliver> decoded = DecodeSmsDeliver(HexDigits(deliver), &whyNot);
    if (!decoded) {
        if (why)
            *why = "the user data does not decode: " + whyNot;
        return std::nullopt;
    }
    read.decoded = std::move(*decoded);
    return read;
}

} // namespace zorvel::reread
