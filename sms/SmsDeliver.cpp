#include "SmsDeliver.h"

#include "Gsm7Alphabet.h"
#include "PduReader.h"
#include "SemiOctets.h"

namespace zorvel {

namespace {

// The largest user data one message carries: 140 octets, 160 septets.
constexpr std::size_t kMaxOctets = 140;
constexpr std::size_t kMaxSeptets = 160;
constexpr unsigned kMaxAddressDigits = 20;

// How TP-DCS says to read the user data. Compressed text is kept as 8-bit data (the
// caller forwards it as hex, its length taken in octets): read as text it would only give
// garbage. A reserved alphabet or coding group is read as the 7-bit default alphabet, as
// a receiver is told to assume.
SmsCoding CodingOf(unsigned dcs)
{
    const unsigned group = dcs >> 4;
    if (group <= 0x07) {  // general data coding, also with automatic deletion (01xx)
        if (dcs & 0x20)   // compressed
            return SmsCoding::EightBit;
        switch ((dcs >> 2) & 0x03) {
        case 1: return SmsCoding::EightBit;
        case 2: return SmsCoding::Ucs2;
        default: return SmsCoding::Gsm7;  // the default alphabet, or reserved
        }
    }
    if (group == 0x0C || group == 0x0D)  // message waiting indication, discard or store
        return SmsCoding::Gsm7;
    if (group == 0x0E)  // message waiting indication, store, UCS2 text
        return SmsCoding::Ucs2;
    if (group == 0x0F)  // data coding / message class: bit 2 picks 8-bit data
        return (dcs & 0x04) ? SmsCoding::EightBit : SmsCoding::Gsm7;
    return SmsCoding::Gsm7;  // 1000..1011: reserved coding groups
}

struct UserDataHeader {
    std::optional<ConcatInfo> concat;
    int lockingLanguage = 0;
    int singleShiftLanguage = 0;
};

// The information elements after the header length octet. When the last element runs
// past the header the whole header is ignored (no elements, the text stays); elements
// not known here are skipped; a concatenation element with an impossible count or
// sequence is ignored (the part then stands alone). The last of repeated elements wins.
UserDataHeader ParseHeader(std::string_view elements)
{
    UserDataHeader header;
    while (!elements.empty()) {
        if (elements.size() < 2)
            return {};
        const auto id = static_cast<unsigned char>(elements[0]);
        const auto length = static_cast<unsigned char>(elements[1]);
        if (elements.size() - 2 < length)
            return {};
        const std::string_view data = elements.substr(2, length);
        elements.remove_prefix(2 + length);

        auto at = [&data](std::size_t i) { return static_cast<int>(static_cast<unsigned char>(data[i])); };
        if ((id == 0x00 && length == 3) || (id == 0x08 && length == 4)) {
            ConcatInfo concat;
            concat.sixteenBit = id == 0x08;
            concat.reference = concat.sixteenBit ? at(0) << 8 | at(1) : at(0);
            concat.count = at(length - 2);
            concat.sequence = at(length - 1);
            if (concat.count >= 1 && concat.sequence >= 1 && concat.sequence <= concat.count)
                header.concat = concat;
        } else if (id == 0x24 && length == 1) {
            header.singleShiftLanguage = at(0);
        } else if (id == 0x25 && length == 1) {
            header.lockingLanguage = at(0);
        }
    }
    return header;
}

} // namespace

std::optional<SmsDeliver> DecodeSmsDeliver(std::string_view hex, std::string* whyNot)
{
    const auto fail = [whyNot](const char* reason) -> std::optional<SmsDeliver> {
        if (whyNot)
            *whyNot = reason;
        return std::nullopt;
    };
    const std::optional<std::string> bytes = HexToBytes(hex);
    if (!bytes)
        return fail("not hexadecimal octets");
    PduReader pdu(*bytes);

    unsigned smscLength = 0, firstOctet = 0, digits = 0, type = 0, pid = 0, dcs = 0, udl = 0;
    std::string_view smsc, address, stamp;
    if (!pdu.Octet(smscLength) || !pdu.Take(smscLength, smsc) || !pdu.Octet(firstOctet))
        return fail("cut short in the service centre address");
    if ((firstOctet & 0x03) != 0)  // TP-MTI: only SMS-DELIVER
        return fail("not an SMS-DELIVER (a report or a sent message)");
    // TP-OA holds at most 10 octets: 20 digits, or 11 characters of an alphanumeric name.
    if (!pdu.Octet(digits) || digits > kMaxAddressDigits || !pdu.Octet(type)
        || !pdu.Take((digits + 1) / 2, address))
        return fail("sender address too long or cut short");
    if (!pdu.Octet(pid) || !pdu.Octet(dcs) || !pdu.Take(7, stamp) || !pdu.Octet(udl))
        return fail("cut short before the text");

    SmsDeliver sms;
    sms.sender = PduAddress(digits, type, address);
    sms.stamp = ServiceCentreStamp(stamp);
    sms.coding = CodingOf(dcs);
    const bool septets = sms.coding == SmsCoding::Gsm7;

    // TP-UDL counts septets in 7-bit (header included) and octets otherwise. Octets after
    // the user data are ignored; user data cut short is not.
    if (udl > (septets ? kMaxSeptets : kMaxOctets))
        return fail("text length beyond one SMS");
    std::string_view userData;
    if (!pdu.Take(septets ? (udl * 7 + 7) / 8 : udl, userData))
        return fail("text cut short");

    std::size_t headerOctets = 0;
    UserDataHeader header;
    if (firstOctet & 0x40) {  // TP-UDHI
        if (userData.empty())
            return fail("header announced but no text");
        headerOctets = 1 + static_cast<unsigned char>(userData[0]);
        if (septets ? headerOctets * 8 > udl * 7 : headerOctets > udl)
            return fail("header longer than the text");
        // A header that does not parse still takes its declared octets (and fill bits).
        header = ParseHeader(userData.substr(1, headerOctets - 1));
    }
    sms.concat = header.concat;

    switch (sms.coding) {
    case SmsCoding::Gsm7: {
        // The text starts at the first septet boundary after the header (fill bits), and
        // is exactly as many septets as TP-UDL says: a last septet 0 is an '@', spare
        // bits after the last septet are nothing.
        const std::size_t headerSeptets = (headerOctets * 8 + 6) / 7;
        sms.units = Gsm7ToUtf16(UnpackSeptets(userData, headerSeptets, udl - headerSeptets),
                                header.lockingLanguage, header.singleShiftLanguage);
        break;
    }
    case SmsCoding::Ucs2: {
        // Big-endian UTF-16 units; an odd last octet is dropped. Surrogate pairs stay as
        // they are: a long message may split one between two parts.
        const std::string_view text = userData.substr(headerOctets);
        for (std::size_t i = 0; i + 1 < text.size(); i += 2)
            sms.units += static_cast<char16_t>(static_cast<unsigned char>(text[i]) << 8
                                               | static_cast<unsigned char>(text[i + 1]));
        break;
    }
    case SmsCoding::EightBit:
        sms.octets = std::string(userData.substr(headerOctets));
        break;
    }
    return sms;
}

std::string Utf16ToUtf8(std::u16string_view units)
{
    std::string utf8;
    utf8.reserve(units.size() * 3);
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00
            && units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;  // a surrogate without its partner
        }
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | c >> 6);
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            utf8 += static_cast<char>(0xE0 | c >> 12);
            utf8 += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            utf8 += static_cast<char>(0xF0 | c >> 18);
            utf8 += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            utf8 += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

std::string HexDigits(std::string_view bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        hex += kDigits[value >> 4];
        hex += kDigits[value & 0x0F];
    }
    return hex;
}

} // namespace zorvel
