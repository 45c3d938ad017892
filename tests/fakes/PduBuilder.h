#pragma once
// Builds SMS-DELIVER PDUs in UCS2 or 8-bit for tests of what happens after decoding (the
// decoder's own tests use published PDUs instead). Numbers are made up.
#include <cstdint>
#include <string>

namespace zorvel::testing {

struct PduFields {
    std::string sender = "15550001234"; // international, without the '+'
    std::string alphanumericSender;     // a name instead (ASCII letters, digits, CR, LF)
    std::u16string text;                // UCS2 units; ignored when octets are set
    std::string octets;                 // 8-bit data instead of text
    int reference = -1;                 // concatenation reference; -1 for a single SMS
    int count = 0, sequence = 0;
    bool sixteenBitReference = false;
    std::string stampSemiOctets = "62217090510040"; // 26/12/07,09:15:00+04
};

inline std::string hexOctet(unsigned value)
{
    static const char digits[] = "0123456789ABCDEF";
    return {digits[(value >> 4) & 0xF], digits[value & 0xF]};
}

inline std::string BuildPdu(const PduFields& pdu)
{
    std::string header;
    if (pdu.reference >= 0) {
        header = pdu.sixteenBitReference
                     ? "0804" + hexOctet(pdu.reference >> 8) + hexOctet(pdu.reference & 0xFF)
                     : "0003" + hexOctet(pdu.reference);
        header += hexOctet(pdu.count) + hexOctet(pdu.sequence);
        header = hexOctet(header.size() / 2) + header;
    }
    std::string data;
    if (!pdu.octets.empty()) {
        for (unsigned char c : pdu.octets)
            data += hexOctet(c);
    } else {
        for (char16_t u : pdu.text)
            data += hexOctet(u >> 8) + hexOctet(u & 0xFF);
    }
    std::string address;
    if (!pdu.alphanumericSender.empty()) {
        // Packed 7-bit; these characters have the same codes in the GSM alphabet.
        unsigned bits = 0, pending = 0;
        for (char c : pdu.alphanumericSender) {
            pending |= static_cast<unsigned>(c & 0x7F) << bits;
            for (bits += 7; bits >= 8; bits -= 8, pending >>= 8)
                address += hexOctet(pending & 0xFF);
        }
        if (bits > 0)
            address += hexOctet(pending & 0xFF);
        address = hexOctet((pdu.alphanumericSender.size() * 7 + 3) / 4) + "D0" + address;
    } else {
        std::string digits = pdu.sender;
        if (digits.size() % 2)
            digits += 'F';
        for (std::size_t i = 0; i < digits.size(); i += 2)
            address += std::string{digits[i + 1], digits[i]};
        address = hexOctet(pdu.sender.size()) + "91" + address;
    }
    const std::size_t udl = (header.size() + data.size()) / 2;
    return "00" + std::string(pdu.reference >= 0 ? "44" : "04") + address + "00" +
           (pdu.octets.empty() ? "08" : "04") + pdu.stampSemiOctets + hexOctet(udl) + header + data;
}

} // namespace zorvel::testing
