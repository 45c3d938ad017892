#pragma once
// A received SMS as the modem lists it in PDU format: the hexadecimal SMS-DELIVER with
// the service centre part in front, decoded into sender, time stamp, text and the
// concatenation header that ties the parts of a long message together. Pure functions
// over the hex; anything that is not a whole, well-formed SMS-DELIVER gives nothing.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorvel {

// The parts of one long message share sender, reference and count.
struct ConcatInfo {
    int reference = 0;   // 0..255, or 0..65535 with a 16-bit reference
    int count = 0;       // 1..255
    int sequence = 0;    // 1..count
    bool sixteenBit = false;
};

enum class SmsCoding { Gsm7, EightBit, Ucs2 };

struct SmsDeliver {
    // As a modem in text mode prints it: "+4915550001234" (international), "12220"
    // (national or unknown type), "InternetSMS" (alphanumeric, packed 7-bit).
    std::string sender;
    // Service centre time stamp, "yy/MM/dd,hh:mm:ss+zz" with the zone in quarter hours
    // and its sign: "26/12/07,09:15:02+04", "26/12/07,09:15:02-20".
    std::string stamp;
    SmsCoding coding = SmsCoding::Gsm7;
    // The text as UTF-16 units (7-bit and UCS2 alike), header excluded. A long message
    // joins these before converting, so a surrogate pair split between parts survives.
    std::u16string units;
    // 8-bit data (coding EightBit): the user data after the header; units stay empty.
    std::string octets;
    std::optional<ConcatInfo> concat;
};

// `hex` is the line a modem prints after a "+CMGL: " header in PDU format (upper or lower
// case hex digits, SMSC length octet first). Nothing for an SMS-SUBMIT, a status report,
// odd or non-hex digits, a PDU cut short, or lengths that do not fit; then `whyNot`, when
// given, says which, in a few words.
std::optional<SmsDeliver> DecodeSmsDeliver(std::string_view hex, std::string* whyNot = nullptr);

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD, so the result is always valid UTF-8.
std::string Utf16ToUtf8(std::u16string_view units);

// "0A1B" for the bytes 0x0A 0x1B.
std::string HexDigits(std::string_view bytes);

} // namespace zorvel
