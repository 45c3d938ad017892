#pragma once
// General text helpers shared by the application shell.
#include <string>

namespace zorvel {

// The text before the first NUL character; the whole text when it holds none.
// Values that came through a fixed NUL-filled buffer end at the first NUL.
std::string TrimAtNull(const std::string& text);

} // namespace zorvel
