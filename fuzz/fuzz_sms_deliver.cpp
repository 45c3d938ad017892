// The received-SMS decoder on arbitrary input, read two ways: as the hex line a modem
// prints, and as PDU bytes written out in hex (so mutations reach the fields behind the
// hex check). No crash, no sanitizer report; the same result twice and for either case
// of the hex digits; a kind of coding fills either text or data, never more than one
// message holds; a concatenation has 1 <= sequence <= count; every text converts to valid
// UTF-8, and so does any run of UTF-16 units.
#include <cctype>
#include <cstdint>

#include "Check.h"
#include "ValidUtf8.h"
#include "SmsDeliver.h"

using namespace zorvel;
using fuzz::Require;
using fuzz::ValidUtf8;

namespace {

bool Same(const std::optional<SmsDeliver>& a, const std::optional<SmsDeliver>& b)
{
    if (a.has_value() != b.has_value())
        return false;
    if (!a)
        return true;
    const bool sameConcat = a->concat.has_value() == b->concat.has_value()
        && (!a->concat
            || (a->concat->reference == b->concat->reference && a->concat->count == b->concat->count
                && a->concat->sequence == b->concat->sequence && a->concat->sixteenBit == b->concat->sixteenBit));
    return sameConcat && a->sender == b->sender && a->stamp == b->stamp && a->coding == b->coding
        && a->units == b->units && a->octets == b->octets;
}

void Check(const std::string& hex)
{
    const std::optional<SmsDeliver> sms = DecodeSmsDeliver(hex);
    Require(Same(sms, DecodeSmsDeliver(hex)), "decoding the same line twice differs");
    std::string flipped = hex;
    for (char& c : flipped)
        c = std::isupper(static_cast<unsigned char>(c)) ? char(std::tolower(static_cast<unsigned char>(c)))
                                                        : char(std::toupper(static_cast<unsigned char>(c)));
    Require(Same(sms, DecodeSmsDeliver(flipped)), "the case of the hex digits changed the result");
    if (!sms)
        return;

    Require(hex.size() % 2 == 0 && hex.size() >= 2 * 13, "decoded a line too short for any SMS-DELIVER");
    Require(sms->stamp.size() == 20, "time stamp not of the yy/MM/dd,hh:mm:ss+zz shape");
    Require(ValidUtf8(sms->sender) && sms->sender.size() <= 3 * 11, "sender longer than 20 digits or 11 characters");
    Require(ValidUtf8(Utf16ToUtf8(sms->units)), "text not valid UTF-8");
    switch (sms->coding) {
    case SmsCoding::Gsm7:
        Require(sms->octets.empty() && sms->units.size() <= 160, "7-bit text longer than 160 septets");
        break;
    case SmsCoding::Ucs2:
        Require(sms->octets.empty() && sms->units.size() <= 70, "UCS2 text longer than 140 octets");
        break;
    case SmsCoding::EightBit:
        Require(sms->units.empty() && sms->octets.size() <= 140, "8-bit data longer than 140 octets");
        Require(HexDigits(sms->octets).size() == 2 * sms->octets.size(), "hex of the data has the wrong size");
        break;
    }
    if (sms->concat) {
        const ConcatInfo& c = *sms->concat;
        Require(c.count >= 1 && c.count <= 255 && c.sequence >= 1 && c.sequence <= c.count,
                "concatenation count or sequence out of range");
        Require(c.reference >= 0 && c.reference <= (c.sixteenBit ? 0xFFFF : 0xFF), "reference out of range");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input = fuzz::Bytes(data, size);
    Check(input);
    Check(HexDigits(input));

    // Any UTF-16 units at all, as the concatenated text of several parts may be.
    std::u16string units;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        units += static_cast<char16_t>(data[i] << 8 | data[i + 1]);
    Require(ValidUtf8(Utf16ToUtf8(units)), "UTF-16 units gave invalid UTF-8");
    return 0;
}
