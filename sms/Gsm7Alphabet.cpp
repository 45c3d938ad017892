#include "Gsm7Alphabet.h"

#include "Gsm7Tables.h"

namespace zorvel {

namespace {

constexpr unsigned char kEscape = 0x1B;

} // namespace

std::string UnpackSeptets(std::string_view octets, std::size_t first, std::size_t count)
{
    std::string septets;
    const std::size_t available = octets.size() * 8 / 7;
    for (std::size_t i = first; i < first + count && i < available; ++i) {
        const std::size_t bit = i * 7;
        const std::size_t byte = bit / 8;
        const unsigned shift = bit % 8;
        unsigned value = static_cast<unsigned char>(octets[byte]) >> shift;
        if (shift > 1 && byte + 1 < octets.size())
            value |= static_cast<unsigned>(static_cast<unsigned char>(octets[byte + 1])) << (8 - shift);
        septets += static_cast<char>(value & 0x7F);
    }
    return septets;
}

std::u16string Gsm7ToUtf16(std::string_view septets, int lockingLanguage, int singleShiftLanguage)
{
    const char16_t* locking = LockingShiftTable(lockingLanguage);
    std::u16string text;
    text.reserve(septets.size());
    for (std::size_t i = 0; i < septets.size(); ++i) {
        const auto septet = static_cast<unsigned char>(septets[i] & 0x7F);
        if (septet != kEscape) {
            text += locking[septet];
            continue;
        }
        // An escape as the last septet has nothing to shift: it is dropped rather than
        // guessed at (a sender should never split a pair between two parts).
        if (++i == septets.size())
            break;
        const auto code = static_cast<unsigned char>(septets[i] & 0x7F);
        if (code == kEscape) {
            // Escape twice is kept for a further extension table; shown as a space.
            text += u' ';
        } else if (const char16_t shifted = SingleShiftCharacter(singleShiftLanguage, code)) {
            text += shifted;
        } else {
            // A code the single shift table leaves empty: the character of the locking
            // shift table, as receivers are told to show it, rather than a blank.
            text += locking[code];
        }
    }
    return text;
}

} // namespace zorvel
