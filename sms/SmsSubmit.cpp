#include "SmsSubmit.h"

#include <algorithm>
#include <array>

#include "Gsm7Tables.h"
#include "SmsDeliver.h"

namespace zorvel {

namespace {

constexpr int kMaxRecipientDigits = 20;
// One part alone: 160 septets or 70 UCS-2 units (140 octets). With the 6 octets of the
// concatenation header (7 septets with the fill bit): 153 septets or 67 units.
constexpr int kSingleSeptets = 160;
constexpr int kPartSeptets = 153;
constexpr int kSingleUnits = 70;
constexpr int kPartUnits = 67;
// The concatenation header counts parts in one octet.
constexpr int kMaxConcatParts = 255;
constexpr unsigned char kEscape = 0x1B;

// Strict UTF-8 to UTF-16: shortest forms only, no surrogates, nothing above U+10FFFF.
std::optional<std::u16string> Utf8ToUtf16(std::string_view s)
{
    std::u16string units;
    units.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t length = 0;
        char32_t c = 0, least = 0;
        if (b < 0x80) { length = 1; c = b; }
        else if (b >= 0xC2 && b <= 0xDF) { length = 2; c = b & 0x1F; least = 0x80; }
        else if (b >= 0xE0 && b <= 0xEF) { length = 3; c = b & 0x0F; least = 0x800; }
        else if (b >= 0xF0 && b <= 0xF4) { length = 4; c = b & 0x07; least = 0x10000; }
        else return std::nullopt;
        if (length > s.size() - i)
            return std::nullopt;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(s[i + k]);
            if ((next & 0xC0) != 0x80)
                return std::nullopt;
            c = c << 6 | (next & 0x3F);
        }
        if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return std::nullopt;
        i += length;
        if (c >= 0x10000) {
            c -= 0x10000;
            units += static_cast<char16_t>(0xD800 + (c >> 10));
            units += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            units += static_cast<char16_t>(c);
        }
    }
    return units;
}

// The default alphabet backwards: for each UTF-16 unit below U+2100 (the euro sign is
// handled on its own), the septet, or 0x80 | code for the extension table, or 0xFF.
// The escape 0x1B (which the table shows as a space) is never a character's septet.
class ReverseAlphabet {
public:
    ReverseAlphabet()
    {
        septet_.fill(0xFF);
        for (unsigned code = 0x7F;; --code) {  // downwards: the lowest code wins
            if (const char16_t c = SingleShiftCharacter(0, static_cast<unsigned char>(code)); c != 0)
                Set(c, 0x80 | code);
            if (code == 0)
                break;
        }
        const char16_t* locking = LockingShiftTable(0);
        for (unsigned code = 0x7F;; --code) {  // the locking table wins over the extension
            if (code != kEscape)
                Set(locking[code], code);
            if (code == 0)
                break;
        }
        // The table shows the escape as a space too; a space is 0x20.
        Set(u' ', 0x20);
    }

    // The septets of one UTF-16 unit: 1, 2 (escape first) or 0 when it has none.
    int Septets(char16_t c, unsigned char out[2]) const
    {
        unsigned value = 0xFF;
        if (c == 0x20AC)
            value = euro_;
        else if (c < septet_.size())
            value = septet_[c];
        if (value == 0xFF)
            return 0;
        if (value & 0x80) {
            out[0] = kEscape;
            out[1] = static_cast<unsigned char>(value & 0x7F);
            return 2;
        }
        out[0] = static_cast<unsigned char>(value);
        return 1;
    }

private:
    void Set(char16_t c, unsigned value)
    {
        if (c == 0x20AC)
            euro_ = static_cast<unsigned char>(value);
        else if (c < septet_.size())
            septet_[c] = static_cast<unsigned char>(value);
    }
    std::array<unsigned char, 0x400> septet_{};
    unsigned char euro_ = 0xFF;
};

const ReverseAlphabet& Alphabet()
{
    static const ReverseAlphabet alphabet;
    return alphabet;
}

// The text as the pieces that must stay together in one part: a character's one or two
// septets (7-bit), or a character's one or two UTF-16 units (UCS-2).
struct Pieces {
    SubmitCoding coding = SubmitCoding::Gsm7;
    std::u16string units;   // the whole text, UTF-16
    std::string septets;    // the whole text, septets (7-bit only)
    // Where each piece starts, in septets or units; the size of the text at the end.
    std::vector<std::size_t> starts;
};

Pieces Split(std::u16string units)
{
    Pieces pieces;
    const ReverseAlphabet& alphabet = Alphabet();
    for (std::size_t i = 0; i < units.size(); ++i) {
        unsigned char septets[2];
        const int count = alphabet.Septets(units[i], septets);
        if (count == 0) {
            pieces.coding = SubmitCoding::Ucs2;
            pieces.septets.clear();
            break;
        }
        pieces.starts.push_back(pieces.septets.size());
        pieces.septets.append(reinterpret_cast<const char*>(septets), static_cast<std::size_t>(count));
    }
    if (pieces.coding == SubmitCoding::Gsm7) {
        pieces.starts.push_back(pieces.septets.size());
    } else {
        pieces.starts.clear();
        for (std::size_t i = 0; i < units.size(); ++i) {
            pieces.starts.push_back(i);
            if (units[i] >= 0xD800 && units[i] <= 0xDBFF && i + 1 < units.size())
                ++i;  // a surrogate pair (only whole pairs come from UTF-8)
        }
        pieces.starts.push_back(units.size());
    }
    pieces.units = std::move(units);
    return pieces;
}

// [begin, end) in septets or units of each part: all in one when it fits, otherwise
// as much as fits in a part with the header, never cutting a piece.
std::vector<std::pair<std::size_t, std::size_t>> Parts(const Pieces& pieces)
{
    const bool gsm7 = pieces.coding == SubmitCoding::Gsm7;
    const std::size_t total = pieces.starts.back();
    std::vector<std::pair<std::size_t, std::size_t>> parts;
    if (total <= static_cast<std::size_t>(gsm7 ? kSingleSeptets : kSingleUnits)) {
        parts.emplace_back(0, total);
        return parts;
    }
    const std::size_t room = gsm7 ? kPartSeptets : kPartUnits;
    std::size_t begin = 0, last = begin;  // `last`: the last piece boundary that fits
    for (std::size_t start : pieces.starts) {
        if (start - begin > room) {
            parts.emplace_back(begin, last);
            begin = last;
        }
        last = start;
    }
    if (last > begin)
        parts.emplace_back(begin, last);
    return parts;
}

// Septets packed least significant bit first after the header already in `octets`, the
// first at septet position `first` (the header's bits and fill bits before it).
void PackSeptets(std::string_view septets, std::size_t first, std::string& octets)
{
    octets.resize(((first + septets.size()) * 7 + 7) / 8, '\0');
    for (std::size_t i = 0; i < septets.size(); ++i) {
        const std::size_t bit = (first + i) * 7;
        const std::size_t byte = bit / 8;
        const unsigned shift = bit % 8;
        const unsigned value = static_cast<unsigned char>(septets[i]) & 0x7F;
        octets[byte] = static_cast<char>(static_cast<unsigned char>(octets[byte]) | (value << shift & 0xFF));
        if (shift > 1)
            octets[byte + 1] = static_cast<char>(static_cast<unsigned char>(octets[byte + 1]) | value >> (8 - shift));
    }
}

struct Counted {
    Pieces pieces;
    std::vector<std::pair<std::size_t, std::size_t>> parts;
};

// The common checks of counting and building; `plan` gets coding, count or whyNot.
std::optional<Counted> Count(std::string_view utf8Text, int maxParts, SubmitPlan& plan)
{
    if (utf8Text.empty()) {
        plan.whyNot = "the text is empty";
        return std::nullopt;
    }
    std::optional<std::u16string> units = Utf8ToUtf16(utf8Text);
    if (!units) {
        plan.whyNot = "the text is not valid UTF-8";
        return std::nullopt;
    }
    Counted counted;
    counted.pieces = Split(std::move(*units));
    counted.parts = Parts(counted.pieces);
    plan.coding = counted.pieces.coding;
    const int needed = static_cast<int>(counted.parts.size());
    const int allowed = std::min(maxParts, kMaxConcatParts);
    if (needed > allowed) {
        plan.whyNot = "the text needs " + std::to_string(needed) + (needed == 1 ? " part" : " parts")
            + ", at most " + std::to_string(std::max(allowed, 0))
            + (allowed == 1 ? " is allowed" : " are allowed");
        return std::nullopt;
    }
    plan.partCount = needed;
    return counted;
}

bool IsSeparator(char c)
{
    return c == ' ' || c == '-' || c == '.' || c == '(' || c == ')';
}

} // namespace

SubmitPlan CountSubmitParts(std::string_view utf8Text, int maxParts)
{
    SubmitPlan plan;
    Count(utf8Text, maxParts, plan);
    return plan;
}

SubmitPlan BuildSubmitParts(std::string_view recipient, std::string_view utf8Text, int maxParts,
                            int reference)
{
    SubmitPlan plan;
    std::string whyNot;
    const std::optional<std::string> number = CheckRecipient(recipient, &whyNot);
    if (!number) {
        plan.whyNot = whyNot;
        return plan;
    }
    std::optional<Counted> counted = Count(utf8Text, maxParts, plan);
    if (!counted)
        return plan;

    // TP-DA: digit count, type, semi-octets with an F filler.
    const bool international = number->front() == '+';
    const std::string digits = international ? number->substr(1) : *number;
    std::string address;
    address += static_cast<char>(digits.size());
    address += static_cast<char>(international ? 0x91 : 0x81);
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const unsigned low = static_cast<unsigned>(digits[i] - '0');
        const unsigned high = i + 1 < digits.size() ? static_cast<unsigned>(digits[i + 1] - '0') : 0x0F;
        address += static_cast<char>(high << 4 | low);
    }

    const Pieces& pieces = counted->pieces;
    const bool gsm7 = pieces.coding == SubmitCoding::Gsm7;
    const bool concatenated = counted->parts.size() > 1;
    const int count = static_cast<int>(counted->parts.size());
    for (int index = 0; index < count; ++index) {
        const auto [begin, end] = counted->parts[static_cast<std::size_t>(index)];
        std::string header;
        if (concatenated) {
            header = std::string("\x05\x00\x03", 3);
            header += static_cast<char>(reference & 0xFF);
            header += static_cast<char>(count);
            header += static_cast<char>(index + 1);
        }
        std::string userData = header;
        std::size_t udl = 0;
        if (gsm7) {
            const std::size_t headerSeptets = (header.size() * 8 + 6) / 7;
            const std::string_view septets = std::string_view(pieces.septets).substr(begin, end - begin);
            PackSeptets(septets, headerSeptets, userData);
            udl = headerSeptets + septets.size();
        } else {
            for (std::size_t i = begin; i < end; ++i) {
                userData += static_cast<char>(pieces.units[i] >> 8);
                userData += static_cast<char>(pieces.units[i] & 0xFF);
            }
            udl = userData.size();
        }

        std::string tpdu;
        tpdu += static_cast<char>(0x01 | 0x20 | (concatenated ? 0x40 : 0x00));  // MTI, SRR, UDHI
        tpdu += '\0';  // TP-MR: the modem sets it
        tpdu += address;
        tpdu += '\0';  // TP-PID
        tpdu += static_cast<char>(gsm7 ? 0x00 : 0x08);
        tpdu += static_cast<char>(udl);
        tpdu += userData;
        plan.parts.push_back({"00" + HexDigits(tpdu), static_cast<int>(tpdu.size())});
    }
    return plan;
}

std::optional<std::string> CheckRecipient(std::string_view typed, std::string* whyNot)
{
    const auto fail = [whyNot](std::string reason) -> std::optional<std::string> {
        if (whyNot)
            *whyNot = std::move(reason);
        return std::nullopt;
    };
    while (!typed.empty() && typed.front() == ' ')
        typed.remove_prefix(1);
    while (!typed.empty() && typed.back() == ' ')
        typed.remove_suffix(1);
    if (typed.empty())
        return fail("no recipient given");
    std::string number;
    if (typed.front() == '+') {
        number += '+';
        typed.remove_prefix(1);
    }
    int digits = 0;
    for (char c : typed) {
        if (c >= '0' && c <= '9') {
            number += c;
            ++digits;
        } else if (c == '+') {
            return fail("a \"+\" may only come first in the recipient");
        } else if (!IsSeparator(c)) {
            return fail("the recipient may hold only digits, a leading \"+\", spaces, dashes, dots and brackets");
        }
    }
    if (digits == 0)
        return fail("the recipient has no digits");
    if (digits > kMaxRecipientDigits)
        return fail("the recipient has " + std::to_string(digits) + " digits, at most "
                    + std::to_string(kMaxRecipientDigits) + " are allowed");
    return number;
}

} // namespace zorvel
