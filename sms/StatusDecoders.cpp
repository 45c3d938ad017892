#include "StatusDecoders.h"

#include <string_view>

#include "AnswerParsing.h"

namespace zorvel {

namespace {

struct Entry {
    std::string_view key;
    std::string_view shown;
};

// Whole-text, case-sensitive lookup; a text with no entry is shown unchanged.
template <std::size_t N>
std::string lookUp(const std::array<Entry, N>& table, const std::string& text)
{
    for (const Entry& e : table)
        if (e.key == text)
            return std::string(e.shown);
    return text;
}

constexpr std::array<Entry, 5> serviceStatus{{
    {"0", "No Service"}, {"1", "Restricted"}, {"2", "In Service"}, {"3", "Regional"},
    {"4", "Power Save"},
}};
constexpr std::array<Entry, 2> roaming{{{"0", "Home"}, {"1", "Roaming"}}};
constexpr std::array<Entry, 7> systemMode{{
    {"0", "No Service"}, {"1", "AMPS"}, {"2", "CDMA"}, {"3", "2G"}, {"4", "HDR"},
    {"5", "3G"}, {"6", "GPS"},
}};
constexpr std::array<Entry, 6> simState{{
    {"0", "SIM Locked/Missing"}, {"1", "SIM OK"}, {"2", "Invalid SIM CS"},
    {"3", "Invalid SIM PS"}, {"4", "Invalid SIM"}, {"255", "SIM Not Present"},
}};
constexpr std::array<Entry, 5> operators{{
    {"23410", "O2 UK"}, {"23415", "Vodafone UK"}, {"23420", "Three UK"}, {"23430", "EE"},
    {"23433", "EE (Orange)"},
}};

// The number a signal value spells as a table key: one or two digits without a leading
// zero ("0" itself included); anything else (" 5", "05", "100", "ERROR") gives -1.
int plainNumber(const std::string& value)
{
    if (value.empty() || value.size() > 2 || (value.size() == 2 && value[0] == '0'))
        return -1;
    int number = 0;
    for (char c : value) {
        if (c < '0' || c > '9')
            return -1;
        number = number * 10 + (c - '0');
    }
    return number;
}

std::string barText(const std::string& value)
{
    if (value.empty())
        return "ERROR";
    const int n = plainNumber(value);
    if (n == 99)
        return "N/A";
    if (n == 0)
        return "_____";
    if (n >= 1 && n <= 2)
        return "O____";
    if (n >= 3 && n <= 7)
        return "OO___";
    if (n >= 8 && n <= 12)
        return "OOO__";
    if (n >= 13 && n <= 18)
        return "OOOO_";
    if (n >= 19 && n <= 31)
        return "OOOOO";
    return value;
}

} // namespace

std::string DecodeCNUM(const std::string& answer)
{
    const std::string line = CutAnswerPrefix(GetAnswerLine(answer, 1));
    return StripQuotes(GetCommaField(line, 1));
}

std::string DecodeSYSINFO(const std::string& answer)
{
    // Seven fields: a colon (re)starts field 1, each comma moves on; nothing is trimmed,
    // so a blank after the colon stays in F1 and makes it match no code.
    std::array<std::string, 8> field; // index 0 is unused
    int f = 0;
    for (char c : GetAnswerLine(answer, 1)) {
        if (c == ':')
            f = 1;
        if (c == ',')
            ++f;
        if (f >= 1 && f <= 7 && c != ',' && c != ':')
            field[f] += c;
    }
    return lookUp(serviceStatus, field[1]) + " | " + lookUp(roaming, field[3]) + " | " +
           lookUp(systemMode, field[4]) + " | " + lookUp(simState, field[5]);
}

std::string DecodeGSN(const std::string& answer) { return GetAnswerLine(answer, 1); }

std::string DecodeCIMI(const std::string& answer) { return GetAnswerLine(answer, 1); }

SignalBars DecodeCSQ(const std::string& answer)
{
    // The prefix cut assumes "+CSQ: " with its blank; without it the first digit goes.
    const std::string value = GetCommaField(CutAnswerPrefix(GetAnswerLine(answer, 1)), 0);
    SignalBars result{barText(value), {}};
    // The boxes follow the text, whatever it holds ("ERROR" lights box 4).
    for (std::size_t k = 0; k < result.lit.size(); ++k)
        result.lit[k] = k < result.text.size() && result.text[k] == 'O';
    return result;
}

std::string DecodeCOPS(const std::string& answer)
{
    // The cut also eats the last byte: harmless before ",<AcT>", but a reply without
    // the access technology loses its closing quote and then the name's last letter.
    const std::string line = CutAnswerPrefix(GetAnswerLine(answer, 1));
    return lookUp(operators, StripQuotes(GetCommaField(line, 2)));
}

} // namespace zorvel
