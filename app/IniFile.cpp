#include "IniFile.h"

#include <QFile>
#include <QString>

namespace zorvel {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// ASCII only: other bytes must be equal, whatever encoding the file uses.
bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}

std::string_view DropSurroundingQuotes(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')
        && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

std::string_view NextLine(std::string_view& text)
{
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

} // namespace

IniFile IniFile::Load(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    if (!file.exists()) {
        IniFile missing;
        missing.status_ = Status::Missing;
        missing.problem_ = "the file does not exist";
        return missing;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        IniFile unreadable;
        unreadable.status_ = Status::Unreadable;
        unreadable.problem_ = file.errorString().toStdString();
        return unreadable;
    }
    const QByteArray bytes = file.readAll();
    return FromText(std::string_view(bytes.constData(), std::size_t(bytes.size())));
}

IniFile IniFile::FromText(std::string_view text)
{
    constexpr std::string_view utf8Bom = "\xEF\xBB\xBF";
    if (text.starts_with(utf8Bom))
        text.remove_prefix(utf8Bom.size());

    IniFile ini;
    Section* current = nullptr; // key lines before the first header belong nowhere
    while (!text.empty()) {
        const std::string_view line = TrimBlanks(NextLine(text));
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            if (close == std::string_view::npos)
                continue;
            ini.sections_.push_back({std::string(TrimBlanks(line.substr(1, close - 1))), {}});
            current = &ini.sections_.back();
            continue;
        }
        const std::size_t equals = line.find('=');
        if (current == nullptr || equals == std::string_view::npos)
            continue;
        std::string_view value = DropSurroundingQuotes(TrimBlanks(line.substr(equals + 1)));
        value = value.substr(0, MaxValueLength);
        current->entries.push_back({std::string(TrimBlanks(line.substr(0, equals))), std::string(value)});
    }
    return ini;
}

bool IniFile::HasSection(std::string_view section) const
{
    for (const Section& s : sections_)
        if (SameName(s.name, section))
            return true;
    return false;
}

std::optional<std::string> IniFile::Value(std::string_view section, std::string_view key) const
{
    for (const Section& s : sections_) {
        if (!SameName(s.name, section))
            continue;
        for (const Entry& e : s.entries)
            if (SameName(e.key, key))
                return e.value;
        return std::nullopt; // only the first section of that name counts
    }
    return std::nullopt;
}

} // namespace zorvel
