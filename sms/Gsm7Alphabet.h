#pragma once
// Text in the GSM 7-bit alphabet: septets packed into octets, and septets turned into
// UTF-16 with the locking and single shift tables a message names.
#include <cstddef>
#include <string>
#include <string_view>

namespace zorvel {

// `count` septets (values 0..127), starting `first` septets into `octets`, packed least
// significant bit first. Septets past the end of `octets` are left out.
std::string UnpackSeptets(std::string_view octets, std::size_t first, std::size_t count);

// Septets to UTF-16: each septet through the locking shift table, the escape 0x1B plus
// the next septet through the single shift table.
std::u16string Gsm7ToUtf16(std::string_view septets, int lockingLanguage, int singleShiftLanguage);

} // namespace zorvel
