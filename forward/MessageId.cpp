#include "MessageId.h"

#include <array>
#include <cstdint>
#include <random>

namespace zorvel {

std::string NewMessageId()
{
    // random_device reads the kernel's random source (getrandom) on Linux.
    static std::random_device source;
    std::array<std::uint8_t, 16> bytes{};
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        const std::uint32_t word = source();
        for (std::size_t k = 0; k < 4; ++k)
            bytes[i + k] = static_cast<std::uint8_t>(word >> (8 * k));
    }
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40); // version 4
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80); // RFC 9562 variant
    static const char digits[] = "0123456789abcdef";
    std::string id;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            id += '-';
        id += digits[bytes[i] >> 4];
        id += digits[bytes[i] & 0x0F];
    }
    return id;
}

} // namespace zorvel
