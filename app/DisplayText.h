#pragma once
#include <QString>
#include <string>

namespace zorvel {
// The modem's bytes as the window shows them: UTF-8 where the bytes are valid UTF-8,
// otherwise Latin-1 (every byte one character), so nothing is ever dropped.
QString DisplayText(const std::string& bytes);
} // namespace zorvel
