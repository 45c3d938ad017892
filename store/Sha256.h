#pragma once
// SHA-256 of a byte string. The store keeps only this digest of a modem entry's content
// (which holds the SMS text), enough to recognise the entry when it is listed again.
#include <array>
#include <cstdint>
#include <string_view>

namespace zorvel {

std::array<std::uint8_t, 32> Sha256(std::string_view bytes);

} // namespace zorvel
