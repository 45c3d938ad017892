#include "NotifyIconData.h"

#include <algorithm>

namespace zorvel {

QByteArray ToAnsi(const QString& text)
{
    // By code point, so a character beyond the 16-bit range is one "?" and not two.
    QByteArray bytes;
    for (char32_t c : text.toUcs4())
        bytes.append(c <= 0xFF ? static_cast<char>(c) : '?');
    return bytes;
}

void FillTextField(std::span<char> field, const QString& text)
{
    const QByteArray bytes = ToAnsi(text);
    const std::size_t length = std::min<std::size_t>(bytes.size(), field.size() - 1);
    std::copy_n(bytes.constData(), length, field.begin());
    field[length] = '\0';
    std::fill(field.begin() + length + 1, field.end(), ' ');
}

QString FieldText(std::span<const char> field)
{
    const auto end = std::find(field.begin(), field.end(), '\0');
    return QString::fromLatin1(field.data(), end - field.begin());
}

} // namespace zorvel
