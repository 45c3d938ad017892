#pragma once
// Bytes as one line of printable text, for logs: what the modem said, exactly, without
// a control byte that would break the line or the terminal.
#include <string>
#include <string_view>

namespace zorvel {

// Printable ASCII as it is; CR, LF, TAB as \r \n \t; '"' and '\' with a backslash;
// every other byte as \xHH (upper-case hex).
std::string EscapeBytes(std::string_view bytes);

} // namespace zorvel
