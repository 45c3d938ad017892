#pragma once
// What a forwarded message carries and shows, made from a decoded SMS: its text as UTF-8,
// the window's two labels, and what ties the parts of a long message together. Shared by
// forwarding straight from the modem and by the local store.
#include <cstddef>
#include <map>
#include <optional>
#include <string>

#include "ListedMessage.h"
#include "SmsDeliver.h"

namespace zorvel {

// Characters of UTF-8 text (code points; an emoji is one). Bytes that are not UTF-8
// (Latin-1 from a modem in text mode) count one each.
std::size_t Utf8Characters(const std::string& text);

// The first 30 characters and "...", never cutting a character in two.
std::string ShortenedForLabel(const std::string& text);

// A part of a long message: a concatenation header with a count above 1 and a sequence
// number within it.
bool IsLongMessagePart(const std::optional<SmsDeliver>& sms);

// The SMS's text; 8-bit data is no text: it goes out as its hexadecimal digits.
std::u16string TextUnits(const SmsDeliver& sms);


// The message as it goes out: `first`'s sender and time stamp, `units` as its text.
ListedMessage DecodedMessage(const SmsDeliver& first, const std::u16string& units);

// One long message out of its parts, each under its sequence number (at least one): the
// lowest one's sender and time stamp, the texts in sequence order with "[...]" for each
// of 1..count that is missing, the parts there counted. The same from a list and from
// the store, so a long message reads alike either way.
ListedMessage JoinedMessage(const std::map<int, SmsDeliver>& parts, int count);

} // namespace zorvel
