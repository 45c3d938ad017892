#pragma once
// The serial line settings text of the classic serial control: "baud,parity,data,stop",
// for example "9600,n,8,1" (parity n/e/o/m/s, data bits 4 to 8, stop bits 1, 1.5 or 2).
#include <optional>
#include <string>

namespace zorvel {

struct LineSettings {
    enum class Parity { None, Even, Odd, Mark, Space };
    enum class StopBits { One, OneAndHalf, Two };

    int baud = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;
};

// Blanks around each field are allowed; anything else out of form gives nothing.
std::optional<LineSettings> ParseLineSettings(const std::string& text);

} // namespace zorvel
