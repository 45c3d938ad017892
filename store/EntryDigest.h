#pragma once
// What the store keeps of a modem entry's content (which holds the SMS text): enough to
// recognise the entry when it is listed again, nothing to read the text back from. A
// plain hash of sender, time and a short code is guessed in moments, so the digest is
// keyed with a random key that only the store holds.
#include <string>
#include <string_view>

namespace zorvel {

constexpr std::size_t contentKeySize = 32;

// A new random key, from the system's source.
std::string NewContentKey();
// HMAC-SHA256 of `content` under `key`; the plain SHA-256 when there is no key (a store
// from before keys, open for reading only).
std::string EntryDigest(const std::string& key, std::string_view content);
// The plain SHA-256: how stores from before keys recognise their entries.
std::string PlainDigest(std::string_view content);

} // namespace zorvel
