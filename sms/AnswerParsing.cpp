#include "AnswerParsing.h"

namespace zorvel {

namespace {
// Bytes above 30 are kept; compared unsigned so Latin-1 and UTF-8 bytes stay.
bool keptInLine(char c) { return static_cast<unsigned char>(c) > 30; }
} // namespace

std::string GetAnswerLine(const std::string& answer, int n)
{
    std::string line;
    int counter = 0;
    for (char c : answer) {
        if (counter == n && keptInLine(c))
            line += c;
        if (c == '\n')
            ++counter;
    }
    return line;
}

std::string CutAnswerPrefix(const std::string& line)
{
    if (line.size() <= 5)
        return line;
    // Length minus seven bytes from the seventh on. A line of exactly six bytes would
    // ask for minus one byte; we give it the empty text, like a line of seven.
    if (line.size() <= 7)
        return {};
    return line.substr(6, line.size() - 7);
}

std::string GetCommaField(const std::string& text, int k)
{
    std::string field;
    int commas = 0;
    for (char c : text) {
        if (c == ',')
            ++commas;
        if (commas == k)
            field += c;
    }
    return field;
}

std::string StripQuotes(const std::string& field)
{
    if (field.size() <= 3)
        return field;
    return field.substr(2, field.size() - 3);
}

} // namespace zorvel
