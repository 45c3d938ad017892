// The configuration texts: the INI reader on arbitrary file bytes, and the COM and Speed
// values it yields (and the raw input itself) through the port number and line settings
// parsers. No crash, no sanitizer report, values bounded and taken from the file, and
// accepted numbers that agree with the C library.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "Check.h"
#include "IniFile.h"
#include "LineSettings.h"
#include "PortNumber.h"

using namespace zorvel;
using fuzz::Require;

namespace {

const char* const kKeys[] = {"COM", "Speed", "Dest", "Key", "StartMinimised", "PDUmode"};

std::string Upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return s;
}

void CheckPortNumber(const std::string& text)
{
    const auto port = ParsePortNumber(text);
    // Blanks around the number never matter.
    Require(ParsePortNumber(" \t" + text + "\t ") == port, "blanks around the port number changed it");
    if (!port)
        return;
    Require(text.find_first_not_of(" \t+-.0123456789") == std::string::npos, "port number accepted odd bytes");
    // strtod and rounding to even agree while the text fits a double exactly enough.
    if (text.size() <= 15) {
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        Require(std::nearbyint(value) == double(*port), "port number disagrees with strtod");
    }
}

void CheckLineSettings(const std::string& text)
{
    const auto settings = ParseLineSettings(text);
    if (!settings)
        return;
    Require(settings->baud >= 50 && settings->baud <= 4000000 && settings->dataBits >= 4 && settings->dataBits <= 8,
            "line settings out of range");
    // What was accepted reads the same written plainly.
    const char parity = "neoms"[int(settings->parity)];
    const char* stop[] = {"1", "1.5", "2"};
    const std::string plain = std::to_string(settings->baud) + "," + parity + "," + std::to_string(settings->dataBits)
        + "," + stop[int(settings->stopBits)];
    const auto again = ParseLineSettings(plain);
    Require(again && again->baud == settings->baud && again->parity == settings->parity
                && again->dataBits == settings->dataBits && again->stopBits == settings->stopBits,
            "accepted line settings do not read back");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text = fuzz::Bytes(data, size);
    const IniFile ini = IniFile::FromText(text);
    for (const char* key : kKeys) {
        const auto value = ini.Value("Zorvel", key);
        Require(value == ini.Value("ZORVEL", Upper(key)), "names matched with regard to case");
        if (!value)
            continue;
        Require(ini.HasSection("zorvel"), "value found in a missing section");
        Require(value->size() <= IniFile::MaxValueLength, "value longer than 254 bytes");
        Require(value->find('\n') == std::string::npos && fuzz::Within(*value, text), "value not from one line");
    }
    if (const auto com = ini.Value("Zorvel", "COM"))
        CheckPortNumber(*com);
    if (const auto speed = ini.Value("Zorvel", "Speed"))
        CheckLineSettings(*speed);
    CheckPortNumber(text);
    CheckLineSettings(text);

    // A section in front of any text wins over whatever that text holds.
    const IniFile first = IniFile::FromText("[Zorvel]\nKey=k1\n" + text);
    Require(first.Value("Zorvel", "Key") == "k1", "first section lost to a later one");
    return 0;
}
