#include "MessageText.h"

#include <algorithm>

namespace zorvel {

namespace {

constexpr std::size_t shownCharacters = 30;
const std::u16string missingPart = u"[...]";

bool isContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

} // namespace

std::size_t Utf8Characters(const std::string& text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return !isContinuation(c); }));
}

std::string ShortenedForLabel(const std::string& text)
{
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isContinuation(text[i]))
            continue;
        if (seen++ == shownCharacters)
            return text.substr(0, i) + "...";
    }
    return text;
}

bool IsLongMessagePart(const std::optional<SmsDeliver>& sms)
{
    return sms && sms->concat && sms->concat->count > 1 && sms->concat->sequence >= 1 &&
           sms->concat->sequence <= sms->concat->count;
}

std::u16string TextUnits(const SmsDeliver& sms)
{
    if (sms.coding != SmsCoding::EightBit)
        return sms.units;
    const std::string hex = HexDigits(sms.octets);
    return std::u16string(hex.begin(), hex.end());
}

ListedMessage DecodedMessage(const SmsDeliver& first, const std::u16string& units)
{
    ListedMessage m;
    m.sender = first.sender;
    m.stamp = first.stamp;
    m.text = Utf16ToUtf8(units);
    m.shownStamp = m.sender + "    " + m.stamp;
    m.shownText = ShortenedForLabel(m.text);
    m.textLength = Utf8Characters(m.text);
    return m;
}

ListedMessage JoinedMessage(const std::map<int, SmsDeliver>& parts, int count)
{
    std::u16string units;
    for (int sequence = 1; sequence <= count; ++sequence) {
        const auto part = parts.find(sequence);
        units += part == parts.end() ? missingPart : TextUnits(part->second);
    }
    ListedMessage m = DecodedMessage(parts.begin()->second, units);
    m.parts = static_cast<int>(parts.size());
    return m;
}

} // namespace zorvel
