#pragma once
// Whether a modem had finished its reply when an exchange ended, the same for the reply
// window and the held link: a modem drops lines of its own ("RING", "+CMTI: ...") in at
// any moment, so those and empty lines say nothing about the reply; any other line, or
// part of one, is the reply still coming.
#include <cstdint>
#include <string>

namespace zorvel {

// The quiet a reply is given before its exchange ends: what arrived within it may only
// be lines of the modem's own for the reply to count as settled.
inline constexpr std::int64_t settleQuietMs = 200;

// Every line of `bytes` is empty or the modem's own. The piece after the last LF counts
// as a line: a line still coming is not the modem's own yet.
bool OnlyOwnLines(const std::string& bytes);

// `bytes` up to and with its last LF; empty without one.
std::string WholeLines(const std::string& bytes);

} // namespace zorvel
