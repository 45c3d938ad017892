#pragma once
// Turns the "COM" setting into a serial port number.
#include <cstdint>
#include <optional>
#include <string>

namespace zorvel {

// Accepts blanks (spaces, tabs) around the number, an optional sign, one or more
// digits and an optional fraction of one or more digits ("3.", ".5" are refused).
// A fraction goes to the nearest whole number and an exact half to the even one
// (2.5 gives 2, 3.5 gives 4, -2.5 gives -2). The result must fit -32768..32767.
// Anything else ("COM3", "1e3", "0x3", "3,5", an empty text) gives nothing.
std::optional<std::int16_t> ParsePortNumber(const std::string& text);

} // namespace zorvel
